// The terminal's AT side: "AT+<name>?" queries, "AT+<name>=<argument>" writes
// and "AT+<name>" actions, each line ended by "\r\n", all in Latin-1.

#include "TerminalSimulator.h"

namespace {

using State = TerminalSimulator::State;

const QByteArray kOk = QByteArrayLiteral("OK\r\n");
const QByteArray kError = QByteArrayLiteral("ERROR\r\n");
const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

constexpr char kAction = 0;
constexpr char kQuery = '?';
constexpr char kWrite = '=';

constexpr int kMaxPort = 65535;
constexpr int kMaxInterval = 65535;

struct AtCall
{
    char op = kAction;
    QString argument;
};

// "<line>\r\nOK\r\n", the shape of nearly every answer.
QByteArray lineThenOk(const QString &line)
{
    return line.toLatin1() + kLineEnd + kOk;
}

bool parseNumber(const QString &text, int min, int max, int *value)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < min || number > max)
        return false;
    *value = number;
    return true;
}

bool parseFlag(const QString &text, bool *flag)
{
    if (text != QLatin1String("0") && text != QLatin1String("1"))
        return false;
    *flag = text == QLatin1String("1");
    return true;
}

QByteArray serialNumber(State &state, const AtCall &call, bool apply)
{
    if (call.op == kQuery)
        return lineThenOk(QStringLiteral("+SN:") + state.serialNumber);
    if (call.op != kWrite || call.argument.isEmpty())
        return kError;
    if (apply)
        state.serialNumber = call.argument;
    return kOk;
}

QByteArray version(State &state, const AtCall &call, bool)
{
    return call.op == kAction ? lineThenOk(state.softwareVersion) : kError;
}

// Both the query and the switch answer with the switch's state.
QByteArray openDevice(State &state, const AtCall &call, bool apply)
{
    bool open = state.switchOpen;
    if (call.op == kAction || (call.op == kWrite && !parseFlag(call.argument, &open)))
        return kError;
    if (apply)
        state.switchOpen = open;
    return lineThenOk(state.switchOpen ? QStringLiteral("+OPENDEV:OPEN")
                                       : QStringLiteral("+OPENDEV:CLOSE"));
}

QByteArray deviceLog(State &state, const AtCall &call, bool apply)
{
    bool on = state.deviceLog;
    if (call.op == kAction || (call.op == kWrite && !parseFlag(call.argument, &on)))
        return kError;
    if (apply)
        state.deviceLog = on;
    return lineThenOk(QStringLiteral("+GSMLOG:(%1)").arg(state.deviceLog ? 1 : 0));
}

// BEAT carries two values: "BEAT=<key>,<interval>" writes both, "BEAT=<key>,"
// the key alone. The query answers the interval, OK, and then the key.
QByteArray beat(State &state, const AtCall &call, bool apply)
{
    if (call.op == kQuery) {
        return lineThenOk(QStringLiteral("+BEAT:%1").arg(state.uploadInterval)) +
               state.mqttKey.toLatin1() + kLineEnd;
    }
    const int comma = call.argument.lastIndexOf(QLatin1Char(','));
    if (call.op != kWrite || comma < 0)
        return kError;
    const QString intervalText = call.argument.mid(comma + 1);
    int interval = state.uploadInterval;
    if (!intervalText.isEmpty() && !parseNumber(intervalText, 1, kMaxInterval, &interval))
        return kError;
    if (apply) {
        state.mqttKey = call.argument.left(comma);
        state.uploadInterval = interval;
    }
    return kOk;
}

QByteArray domain(State &state, const AtCall &call, bool apply)
{
    if (call.op == kQuery)
        return lineThenOk(
            QStringLiteral("+DOMAIN:%1:%2").arg(state.serverHost).arg(state.serverPort));
    const int colon = call.argument.lastIndexOf(QLatin1Char(':'));
    int port = 0;
    if (call.op != kWrite || colon < 1 ||
        !parseNumber(call.argument.mid(colon + 1), 1, kMaxPort, &port))
        return kError;
    if (apply) {
        state.serverHost = call.argument.left(colon);
        state.serverPort = port;
    }
    return kOk;
}

// The login name is answered bare: no prefix, no line end, no OK.
QByteArray loginName(State &state, const AtCall &call, bool apply)
{
    if (call.op == kQuery)
        return state.mqttLoginName.toLatin1();
    if (call.op != kWrite)
        return kError;
    // "PKEY=<name>,": the comma closes the name and is not part of it.
    QString name = call.argument;
    if (name.endsWith(QLatin1Char(',')))
        name.chop(1);
    if (apply)
        state.mqttLoginName = name;
    return kOk;
}

QByteArray indexedSetting(const QString &name, const QStringList &names, int &index,
                          const AtCall &call, bool apply)
{
    if (call.op == kQuery)
        return lineThenOk(
            QStringLiteral("+%1:%2(%3)").arg(name).arg(index).arg(names.value(index)));
    int value = 0;
    if (call.op != kWrite || !parseNumber(call.argument, 0, names.size() - 1, &value))
        return kError;
    if (apply)
        index = value;
    return kOk;
}

QByteArray serverProtocol(State &state, const AtCall &call, bool apply)
{
    return indexedSetting(QStringLiteral("SRVPRO"), termsim::serverProtocolNames(),
                          state.serverProtocol, call, apply);
}

QByteArray deviceType(State &state, const AtCall &call, bool apply)
{
    return indexedSetting(QStringLiteral("DEVTYPE"), termsim::deviceTypeNames(), state.deviceType,
                          call, apply);
}

struct AtHandler
{
    const char *name;
    QByteArray (*answer)(State &state, const AtCall &call, bool apply);
    // A setting whose write is answered with the result code alone ("OK" or
    // "ERROR"); the switches answer a write with their new state instead.
    bool setting;
};

const AtHandler kHandlers[] = {
    {"SN", serialNumber, true},     {"VER", version, false},
    {"OPENDEV", openDevice, false}, {"GSMLOG", deviceLog, false},
    {"BEAT", beat, true},           {"DOMAIN", domain, true},
    {"PKEY", loginName, true},      {"SRVPRO", serverProtocol, true},
    {"DEVTYPE", deviceType, true},
};

// Splits "NAME?", "NAME=arg" or "NAME" into the name and the call.
QString splitCommand(const QString &body, AtCall *call)
{
    int opAt = 0;
    while (opAt < body.size() && body.at(opAt) != QLatin1Char(kQuery) &&
           body.at(opAt) != QLatin1Char(kWrite))
        ++opAt;
    if (opAt < body.size()) {
        call->op = body.at(opAt).toLatin1();
        call->argument = body.mid(opAt + 1);
    }
    return body.left(opAt);
}

} // namespace

QByteArray TerminalSimulator::answerAt(const QByteArray &line)
{
    const QString text = QString::fromLatin1(line.left(line.size() - kLineEnd.size()));
    // Unknown commands are refused only by a terminal that listens to AT
    // commands at all; a disabled one keeps quiet.
    const QByteArray refusal = m_state.atEnabled ? kError : QByteArray();
    if (text == QLatin1String("AT"))
        return m_state.atEnabled ? kOk : QByteArray();
    if (!text.startsWith(QLatin1String("AT+")))
        return refusal;

    AtCall call;
    const QString name = splitCommand(text.mid(3), &call);
    if (call.op == kQuery && !call.argument.isEmpty())
        return refusal;
    if (name == QLatin1String("ENATCMD"))
        return answerEnAtCmd(call.op, call.argument);
    if (!m_state.atEnabled)
        return {};
    for (const AtHandler &handler : kHandlers) {
        if (name != QLatin1String(handler.name))
            continue;
        const bool write = call.op == kWrite;
        // A refused write changes nothing and is answered "ERROR".
        const QByteArray answer = write && m_refusedWrites.contains(name)
                                      ? kError
                                      : handler.answer(m_state, call, !writeIgnored(name));
        // The name itself comes bare; some firmware ends it with a line end or "OK".
        if (handler.answer == loginName && call.op == kQuery)
            return answer + m_loginNameEnd;
        // A terminal that does not confirm its settings takes the write, or
        // refuses it, without a word.
        if (m_silentWrites && write && handler.setting)
            return {};
        return answer;
    }
    return kError;
}

QByteArray TerminalSimulator::answerEnAtCmd(char op, const QString &argument)
{
    const auto report = [this](bool enabled) {
        return lineThenOk(
            QStringLiteral("ENATCMD:%1:%2").arg(m_state.address).arg(enabled ? 1 : 0));
    };
    if (op == kQuery)
        return report(m_state.atEnabled);

    const QByteArray refusal = m_state.atEnabled ? kError : QByteArray();
    const QStringList parts = argument.split(QLatin1Char(','));
    int station = 0;
    bool enable = false;
    if (op != kWrite || parts.size() != 2 || !parseNumber(parts.at(0), 0, 255, &station) ||
        !parseFlag(parts.at(1), &enable))
        return refusal;
    // The address picks one terminal on a shared line; the others keep quiet.
    if (station != m_state.address && station != 0)
        return {};

    const bool apply = !writeIgnored(QStringLiteral("ENATCMD"));
    if (!enable) {
        if (apply)
            m_state.atEnabled = false;
        return kOk;
    }
    if (m_refuseAtEnable)
        return report(false);
    if (apply)
        m_state.atEnabled = true;
    return report(m_state.atEnabled);
}
