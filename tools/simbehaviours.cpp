// What the terminal puts on the line of its own accord, and the ways it (or
// its adapter) can fail: reports, its own log, garbage, floods, a lost line.

#include "SimLink.h"
#include "TerminalSimulator.h"

namespace {

// The flood is paced in small steps so that it keeps to the line rate without
// a timer per byte.
constexpr int kFloodStepMs = 10;
constexpr int kBitsPerByte = 10; // 8N1: start bit, 8 data bits, stop bit

const char *const kLogLines[] = {
    "[LOG] heartbeat sent",
    "[LOG] mqtt publish ok",
    "[LOG] csq checked",
};

} // namespace

void TerminalSimulator::setReportInterval(int ms)
{
    if (ms > 0)
        m_reportTimer.start(ms);
    else
        m_reportTimer.stop();
}

void TerminalSimulator::setLogLineInterval(int ms)
{
    if (ms > 0)
        m_logLineTimer.start(ms);
    else
        m_logLineTimer.stop();
}

void TerminalSimulator::sendReports()
{
    QByteArray reports = QStringLiteral("+CSQ: %1,99\r\n").arg(m_state.signalQuality).toLatin1();
    // The tool takes a report naming a ".com" server as connected, anything
    // else as not connected.
    if (m_state.serverConnected) {
        reports += QStringLiteral("+CMQTTCONNECT: 0,\"tcp://%1:%2\"\r\n")
                       .arg(m_state.serverHost)
                       .arg(m_state.serverPort)
                       .toLatin1();
    } else {
        reports += QByteArrayLiteral("+CMQTTCONNECT: 0,1\r\n");
    }
    writeToLine(reports);
}

void TerminalSimulator::sendLogLine()
{
    if (!m_state.deviceLog)
        return;
    const int count = static_cast<int>(sizeof kLogLines / sizeof kLogLines[0]);
    writeToLine(QByteArray(kLogLines[m_logLineIndex]) + "\r\n");
    m_logLineIndex = (m_logLineIndex + 1) % count;
}

void TerminalSimulator::sendGarbage(const QByteArray &bytes)
{
    writeToLine(bytes);
}

void TerminalSimulator::startFlood(int durationMs, const QByteArray &text)
{
    if (durationMs <= 0 || text.isEmpty())
        return;
    m_floodText = text;
    m_floodPosition = 0;
    m_floodSentBytes = 0;
    m_floodDurationMs = durationMs;
    m_floodClock.start();
    m_floodTimer.start(kFloodStepMs);
}

void TerminalSimulator::floodStep()
{
    const qint64 elapsedMs = qMin<qint64>(m_floodClock.elapsed(), m_floodDurationMs);
    const qint64 due = elapsedMs * ownBaudRate() / kBitsPerByte / 1000;
    QByteArray chunk;
    for (; m_floodSentBytes < due; ++m_floodSentBytes) {
        chunk.append(m_floodText.at(m_floodPosition));
        m_floodPosition = (m_floodPosition + 1) % m_floodText.size();
    }
    writeToLine(chunk);
    if (elapsedMs >= m_floodDurationMs) {
        m_floodTimer.stop();
        emit floodFinished();
    }
}

void TerminalSimulator::dropLine()
{
    m_reportTimer.stop();
    m_logLineTimer.stop();
    m_floodTimer.stop();
    m_outboxTimer.stop();
    m_outbox.clear();
    m_lineIn.clear();
    m_lineOut.clear();
    m_silenceTimer.stop();
    m_framer.takeLeftover();
    if (m_link)
        m_link->drop();
}
