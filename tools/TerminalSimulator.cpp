#include "TerminalSimulator.h"

#include "SimLink.h"

namespace {

// A request cut short by this much silence on the line will not be completed:
// the terminal forgets it, as its UART driver does.
constexpr int kSilenceMs = 100;

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");
const QString kAtPrefix = QStringLiteral("AT+");

} // namespace

const QByteArray TerminalSimulator::kDefaultFloodText = QByteArrayLiteral("+CSQ: 17,99\r\n");

TerminalSimulator::TerminalSimulator(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<TerminalSimulator::Request>();

    m_silenceTimer.setSingleShot(true);
    m_silenceTimer.setInterval(kSilenceMs);
    connect(&m_silenceTimer, &QTimer::timeout, this, &TerminalSimulator::onSilence);
    m_outboxTimer.setSingleShot(true);
    connect(&m_outboxTimer, &QTimer::timeout, this, &TerminalSimulator::runOutbox);
    connect(&m_reportTimer, &QTimer::timeout, this, &TerminalSimulator::sendReports);
    connect(&m_logLineTimer, &QTimer::timeout, this, &TerminalSimulator::sendLogLine);
    connect(&m_floodTimer, &QTimer::timeout, this, &TerminalSimulator::floodStep);
}

TerminalSimulator::~TerminalSimulator()
{
    // Closed before the timers and the records go, so nothing arrives half-way.
    delete m_link;
}

bool TerminalSimulator::openPty()
{
#ifdef Q_OS_UNIX
    auto *link = new PtyLink(this);
    if (!link->open(&m_errorString)) {
        delete link;
        return false;
    }
    m_slavePath = link->slavePath();
    attachLink(link);
    return true;
#else
    m_errorString = QStringLiteral("pseudo-terminals are not available on this system");
    return false;
#endif
}

bool TerminalSimulator::openSerialPort(const QString &portName)
{
    auto *link = new SerialLink(this);
    if (!link->open(portName, ownBaudRate(), &m_errorString)) {
        delete link;
        return false;
    }
    m_slavePath.clear();
    attachLink(link);
    return true;
}

void TerminalSimulator::attachLink(SimLink *link)
{
    delete m_link;
    m_link = link;
    connect(link, &SimLink::received, this, &TerminalSimulator::onReceived);
    connect(link, &SimLink::failed, this, &TerminalSimulator::lineFailed);
}

bool TerminalSimulator::isOpen() const
{
    return m_link && m_link->isOpen();
}

QString TerminalSimulator::slavePath() const
{
    return m_slavePath;
}

int TerminalSimulator::ownBaudRate() const
{
    return termsim::baudRateForCode(m_state.baudCode);
}

void TerminalSimulator::setRefuseAtEnable(bool refuse)
{
    m_refuseAtEnable = refuse;
}

void TerminalSimulator::setSilent(bool silent)
{
    m_silent = silent;
}

void TerminalSimulator::setReplyDelay(int ms)
{
    m_replyDelayMs = qMax(0, ms);
}

void TerminalSimulator::setReplySplit(int pieces, int pauseMs)
{
    m_splitPieces = qMax(1, pieces);
    m_splitPauseMs = qMax(0, pauseMs);
}

void TerminalSimulator::setEchoRequests(bool echo)
{
    m_echoRequests = echo;
}

void TerminalSimulator::setZeroBeforeAnswers(bool zero)
{
    m_zeroBeforeAnswers = zero;
}

void TerminalSimulator::setLoginNameEnd(const QByteArray &end)
{
    m_loginNameEnd = end;
}

QSet<QString> TerminalSimulator::keywordSet(const QStringList &keywords)
{
    QSet<QString> set;
    for (const QString &keyword : keywords)
        set.insert(keyword.trimmed().toUpper());
    return set;
}

void TerminalSimulator::setIgnoredWrites(const QStringList &keywords)
{
    m_ignoredWrites = keywordSet(keywords);
}

void TerminalSimulator::setRefusedWrites(const QStringList &keywords)
{
    m_refusedWrites = keywordSet(keywords);
}

void TerminalSimulator::setSilentWrites(bool silent)
{
    m_silentWrites = silent;
}

QStringList TerminalSimulator::atCommands() const
{
    QStringList commands;
    for (const Request &request : m_requests) {
        if (request.kind != RequestKind::At)
            continue;
        commands << (request.text.startsWith(kAtPrefix) ? request.text.mid(kAtPrefix.size())
                                                        : request.text);
    }
    return commands;
}

QList<QByteArray> TerminalSimulator::modbusFrames() const
{
    QList<QByteArray> frames;
    for (const Request &request : m_requests) {
        if (request.kind == RequestKind::Modbus)
            frames << request.raw;
    }
    return frames;
}

void TerminalSimulator::onReceived(const QByteArray &bytes)
{
    m_bytesFromLink += bytes.size();
    if (m_stepped) {
        // The bytes cross the line in the terminal's own time (simclock.cpp).
        if (m_lineIn.isEmpty())
            m_lineInFreeAt = qMax(m_lineInFreeAt, m_nowMs);
        m_lineIn.append(bytes);
        return;
    }
    takeRequestBytes(bytes);
}

void TerminalSimulator::takeRequestBytes(const QByteArray &bytes)
{
    m_bytesReceived += bytes.size();
    // A half-duplex adapter's receiver hears its own transmitter: every byte
    // the tool sends comes straight back, whatever the terminal makes of it.
    if (m_echoRequests)
        writeToLine(bytes);

    m_framer.append(bytes);
    termsim::RequestFramer::Piece piece;
    while (m_framer.next(&piece))
        handleRequest(piece.kind, piece.bytes);
    if (m_stepped) {
        m_lastHeardAt = m_nowMs;
        m_silencePending = true;
    } else {
        m_silenceTimer.start();
    }
}

void TerminalSimulator::onSilence()
{
    const QByteArray leftover = m_framer.takeLeftover();
    if (!leftover.isEmpty())
        handleRequest(RequestKind::Noise, leftover);
}

void TerminalSimulator::handleRequest(RequestKind kind, const QByteArray &bytes)
{
    const LineSettings line = m_link ? m_link->lineSettings() : LineSettings{};
    Request request = describe(kind, bytes, line);
    Answer answer;
    if (kind != RequestKind::Noise && !m_silent && understands(line))
        answer = answerFor(kind, bytes);
    request.answered = !answer.bytes.isEmpty();

    m_requests.append(request);
    emit requestReceived(request);
    queueAnswer(answer);
}

TerminalSimulator::Request TerminalSimulator::describe(RequestKind kind, const QByteArray &bytes,
                                                       const LineSettings &line) const
{
    Request request;
    request.raw = bytes;
    request.kind = kind;
    request.lineBaudRate = line.baudRate;
    if (kind == RequestKind::At)
        request.text = QString::fromLatin1(bytes.left(bytes.size() - kLineEnd.size()));
    else
        request.text = termsim::hexBytes(bytes);
    return request;
}

bool TerminalSimulator::understands(const LineSettings &line) const
{
    // At another rate or framing the terminal's UART reads nothing but
    // garbage, so it has nothing to answer.
    return line.baudRate == ownBaudRate() && line.is8N1();
}

TerminalSimulator::Answer TerminalSimulator::answerFor(RequestKind kind, const QByteArray &bytes)
{
    switch (kind) {
    case RequestKind::At: {
        const QByteArray text = answerAt(bytes);
        if (m_zeroBeforeAnswers && !text.isEmpty())
            return Answer{QByteArray(1, '\0') + text, {}};
        return Answer{text, {}};
    }
    case RequestKind::Modbus:
        return answerModbus(bytes);
    case RequestKind::Noise:
        break;
    }
    return {};
}

void TerminalSimulator::queueAnswer(const Answer &answer)
{
    const QByteArray &bytes = answer.bytes;
    if (bytes.isEmpty())
        return;
    const int pieces = qMin(m_splitPieces, bytes.size());
    for (int i = 0; i < pieces; ++i) {
        const int from = i * bytes.size() / pieces;
        const int to = (i + 1) * bytes.size() / pieces;
        OutStep step;
        step.delayMs = i == 0 ? m_replyDelayMs : m_splitPauseMs;
        step.bytes = bytes.mid(from, to - from);
        if (i == pieces - 1)
            step.afterSent = answer.afterSent;
        if (m_stepped) {
            LineChunk chunk;
            chunk.bytes = step.bytes;
            chunk.queuedAt = m_nowMs;
            chunk.pauseMs = step.delayMs;
            chunk.afterSent = step.afterSent;
            m_lineOut.append(chunk);
            continue;
        }
        m_outbox.append(step);
    }
    if (m_stepped)
        return;
    // Answers leave in the order of their requests: while one waits out its
    // delay, the next queues behind it.
    if (!m_outboxTimer.isActive())
        runOutbox();
}

void TerminalSimulator::runOutbox()
{
    while (!m_outbox.isEmpty()) {
        OutStep &next = m_outbox.first();
        if (next.delayMs > 0) {
            m_outboxTimer.start(next.delayMs);
            next.delayMs = 0;
            return;
        }
        const OutStep step = m_outbox.takeFirst();
        writeToLine(step.bytes);
        if (step.afterSent)
            step.afterSent();
    }
}

void TerminalSimulator::writeToLine(const QByteArray &bytes)
{
    if (bytes.isEmpty() || !isOpen())
        return;
    if (m_stepped) {
        LineChunk chunk;
        chunk.bytes = bytes;
        chunk.queuedAt = m_nowMs;
        m_lineOut.append(chunk);
        return;
    }
    putOnLink(bytes);
}

void TerminalSimulator::putOnLink(const QByteArray &bytes)
{
    if (bytes.isEmpty() || !isOpen())
        return;
    m_link->write(bytes);
    m_bytesSent += bytes.size();
    emit sent(bytes);
}
