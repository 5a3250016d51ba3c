#include "app/ZorvikTestTool.h"

#include "protocol/atreplies.h"
#include "protocol/selectors.h"
#include "session/timing.h"

#include <functional>

namespace {

// What a reply may change: the window's widgets, the session record and the log.
struct ReplyTarget
{
    Ui::ZorvikTestToolClass &ui;
    SessionState &session;
    std::function<void(const QString &)> log;
};

bool takeDeviceSwitch(ReplyTarget &t, const QString &text)
{
    const std::optional<bool> open = replies::deviceOpen(text);
    if (!open)
        return false;
    t.session.setFlag(SessionState::devOpen, *open);
    t.ui.label_4->setText(*open ? QStringLiteral("开") : QStringLiteral("关"));
    t.log(QStringLiteral("设备状态为：") + t.ui.label_4->text());
    return true;
}

bool takeDeviceLog(ReplyTarget &t, const QString &text)
{
    const std::optional<bool> on = replies::deviceLogOn(text);
    if (!on)
        return false;
    t.session.setFlag(SessionState::logOn, *on);
    t.log(*on ? QStringLiteral("设备日志已打开") : QStringLiteral("设备日志已关闭"));
    return true;
}

// Any text is the version, an error answer included: the technician reads it.
bool takeVersion(ReplyTarget &t, const QString &text)
{
    t.log(QStringLiteral("设备软件版本信息:\r\n") + text);
    return true;
}

bool takeSerialNumber(ReplyTarget &t, const QString &text)
{
    const replies::Answer<QString> sn = replies::serialNumber(text);
    if (!sn.recognised)
        return false;
    if (!sn.value) {
        // Not consumed: the rest of the line may still be on its way, and the
        // buffer is looked at again when it comes.
        t.log(QStringLiteral("设备ID格式错误"));
        return false;
    }
    t.ui.lineEdit->setText(*sn.value);
    t.log(QStringLiteral("设备ID为：") + *sn.value);
    t.session.answered(WriteBit::serialNumber);
    return true;
}

bool takeBeat(ReplyTarget &t, const QString &text)
{
    const std::optional<replies::BeatSettings> beat = replies::beatSettings(text);
    if (!beat || beat->keyComing)
        return false;
    // What the reply does not carry is not read: the window keeps what it
    // showed, and a write of it is not confirmed by this answer.
    if (beat->interval) {
        t.session.devUpDataInterval = *beat->interval;
        t.ui.readAddress_4->setValue(*beat->interval);
        t.log(QStringLiteral("心跳间隔为：") + beat->intervalText);
        t.session.answered(WriteBit::upDataInterval);
    }
    if (beat->key) {
        t.session.devMqttCode = *beat->key;
        // Plain text, so that the key reads back exactly as the terminal sent it.
        t.ui.textBrowser_6->setPlainText(*beat->key);
        t.log(QStringLiteral("MQTT登录密钥为：") + *beat->key);
        t.session.answered(WriteBit::mqttCode);
    }
    return true;
}

// A "DOMAIN" without an address (an error line) is not an answer: the reply
// may still be on its way, and the step waits for it or gives up.
bool takeServerAddress(ReplyTarget &t, const QString &text)
{
    const replies::Answer<replies::ServerAddress> address = replies::serverAddress(text);
    if (!address.value)
        return false;
    t.session.devSrvAddr = address.value->host;
    t.ui.textBrowser->setPlainText(t.session.devSrvAddr);
    t.log(QStringLiteral("服务器地址为：") + address.value->host);
    t.session.answered(WriteBit::srvAddr);
    if (address.value->port) {
        t.session.devSrvPort = *address.value->port;
        const QString port = QString::number(t.session.devSrvPort);
        t.ui.textBrowser_5->setPlainText(port);
        t.log(QStringLiteral("服务器端口为：") + port);
        t.session.answered(WriteBit::srvPort);
    }
    return true;
}

// The terminal answers "PKEY?" with the name itself, bare or as its first
// line; an answer that holds no name is taken off the line all the same.
bool takeMqttName(ReplyTarget &t, const QString &text)
{
    const std::optional<QString> name = replies::mqttName(text);
    if (!name)
        return true;
    t.session.devMqttName = *name;
    t.ui.textBrowser_2->setPlainText(*name);
    t.log(QStringLiteral("MQTT用户名为：") + *name);
    t.session.answered(WriteBit::mqttName);
    return true;
}

// The keyword alone (an error line) is no answer and is not taken; an answer
// without a number is taken off the line but leaves the combo as it was. An
// index outside the combo's list leaves it without a current item, and the
// log line then ends after the colon: that is how a technician sees a value
// this tool does not know.
bool takeIndex(ReplyTarget &t, const QString &text, const QString &keyword, QComboBox *combo,
               const QString &logPrefix, quint16 bit)
{
    if (!text.contains(keyword + QLatin1Char(':')))
        return false;
    const replies::Answer<int> index = replies::indexAfter(text, keyword);
    if (index.value) {
        combo->setCurrentIndex(*index.value);
        t.log(logPrefix + combo->currentText());
        t.session.answered(bit);
    }
    return true;
}

// The terminal's own output: shown as it came while its log is on. A server
// report counts with a ".com" anywhere in the text; signal quality is read
// line by line, so that several reports that arrive together are each taken.
void takeUnsolicited(ReplyTarget &t, const QString &text)
{
    if (t.session.has(SessionState::logOn))
        t.log(text);
    const std::optional<bool> serverConnected = replies::unsolicitedReport(text).serverConnected;
    if (serverConnected) {
        t.session.setFlag(SessionState::srvConnected, *serverConnected);
        t.ui.label_Humidy->setText(*serverConnected ? QStringLiteral("已连接")
                                                    : QStringLiteral("未连接"));
        t.log(QStringLiteral("服务器状态为：") + t.ui.label_Humidy->text());
    }
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const std::optional<int> csq = replies::unsolicitedReport(line).signalQuality;
        if (!csq)
            continue;
        t.ui.label_Temp->setText(QString::number(*csq));
        t.log(QStringLiteral("CSQ=") + t.ui.label_Temp->text());
    }
}

// The awaited answer without the reports that came in among it: those are
// handled as reports, each once (unsolicitedFrom marks how far), however
// often the answer is looked at.
QString answerWithoutReports(ReplyTarget &t, const char *data, quint16 length, int &unsolicitedFrom)
{
    const replies::Interleaved parts = replies::separateReports(data, length);
    for (const QPair<int, int> &report : parts.reports) {
        if (report.second <= unsolicitedFrom)
            continue;
        takeUnsolicited(t, replies::unsolicitedText(data, report.first, report.second));
        unsolicitedFrom = report.second;
    }
    return replies::replyText(parts.answer.constData(), parts.answer.size());
}

// The rule of the selector awaited: whether it took the answer, or nothing
// for a selector without a rule of its own.
std::optional<bool> takeAnswer(ReplyTarget &t, int waited, const QString &text)
{
    switch (waited) {
    case selector::toggleDevice:
    case selector::readDeviceSwitch:
        return takeDeviceSwitch(t, text);
    case selector::deviceLogOn:
    case selector::deviceLogOff:
        return takeDeviceLog(t, text);
    case selector::readVersion:
        return takeVersion(t, text);
    case selector::readSerialNumber:
        return takeSerialNumber(t, text);
    case selector::readInterval:
    case selector::readMqttKey:
        return takeBeat(t, text);
    case selector::readServerAddress:
        return takeServerAddress(t, text);
    case selector::readMqttName:
        return takeMqttName(t, text);
    case selector::readServerProtocol:
        return takeIndex(t, text, QStringLiteral("SRVPRO"), t.ui.BraudRate_5,
                         QStringLiteral("服务器通信协议为："), WriteBit::srvProtocol);
    case selector::readDeviceType:
        return takeIndex(t, text, QStringLiteral("DEVTYPE"), t.ui.BraudRate_9,
                         QStringLiteral("设备类型为："), WriteBit::devType);
    default:
        return std::nullopt;
    }
}

} // namespace

bool ZorvikTestTool::parseAtReply(const char *data, quint16 length)
{
    ReplyTarget target{ui, session, [this](const QString &message) { appendLog(message); }};
    // Only an awaited answer is read as a whole. The terminal's own output piles
    // up to kilobytes while it streams in, and only its new part is read below.
    QString text;
    if (selector::hasAtReplyRule(waitSelector))
        text = answerWithoutReports(target, data, length, rxUnsolicitedFrom);
    if (const std::optional<bool> taken = takeAnswer(target, waitSelector, text))
        return *taken;

    // Output nobody asked for is never consumed: it stays in rxBuffer and is
    // offered again with every byte that arrives after it. Only the part not
    // looked at before is handled, so each report is shown and logged once,
    // and only up to its last line end: a report cut by the line waits for its
    // rest, and is taken as it stands only once the line has stayed quiet.
    const int from = qBound(0, rxUnsolicitedFrom, int(length));
    const int end = replies::unsolicitedEnd(data, length, from,
                                            rxQuietTicks >= timing::kUnterminatedQuietTicks);
    rxUnsolicitedFrom = end;
    if (end == from)
        return false; // nothing new since the last look
    takeUnsolicited(target, replies::unsolicitedText(data, from, end));
    return false;
}

// The terminal's "OK" or "ERROR" to a write ends the write's step; "ERROR"
// names what it refused. Whatever came in with it is the terminal's own
// output and is handled as such, once; what came after it stays in the
// buffer, where a report still on its way finds the rest of itself.
bool ZorvikTestTool::takeResultCode()
{
    const replies::FinalResult verdict =
        replies::finalResult(rxBuffer.constData(), rxBuffer.size());
    if (verdict.code == replies::ResultCode::none)
        return false;
    parseAtReply(rxBuffer.constData(), quint16(rxBuffer.size()));
    if (verdict.code == replies::ResultCode::error)
        writeRefused(waitSelector);
    waitSelector = selector::none;
    dropReceivedFront(verdict.end);
    return true;
}
