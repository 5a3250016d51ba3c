// terminal-sim: a field terminal on a serial line, for trying the tool out
// without one on the desk. Runs on a pseudo-terminal it creates (its path is
// printed on standard output) or on a named serial port; logs every request
// and answer on standard error.

#include "TerminalSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTime>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

struct Option
{
    const char *name;
    const char *valueName; // nullptr for a switch
    const char *description;
};

const Option kOptions[] = {
    {"pty", nullptr, "Create a pseudo-terminal and print its path (the default)."},
    {"port", "name", "Run on this serial port instead, at the terminal's own rate."},

    {"address", "n", "Station address, 1 to 254 (default 1)."},
    {"baud-code", "n",
     "Baud-rate code, the terminal's own rate: 0 = 2400, 1 = 4800, 2 = 9600, 3 = 115200, "
     "4 = 19200 (default 2)."},
    {"at-disabled", nullptr, "Start with AT commands disabled (only ENATCMD is answered)."},
    {"sn", "text", "Serial number (default TV2400001)."},
    {"sw-version", "text", "Software version line answered to VER."},
    {"switch", "open|closed", "State of the device switch (default open)."},
    {"device-log", nullptr, "Start with the device's own log on."},
    {"interval", "seconds", "Upload interval (default 60)."},
    {"mqtt-key", "text", "MQTT key."},
    {"host", "name", "Server host (default iot.tavrin.example.com)."},
    {"server-port", "n", "Server port (default 3999)."},
    {"login", "name", "MQTT login name."},
    {"server-protocol", "n", "Server protocol index, 0 to 4 (default 3, MQTT)."},
    {"device-type", "n", "Device type index, 0 to 8 (default 0)."},
    {"relay", "n", "Start with relay n (1 to 3) switched on; may be repeated."},
    {"csq", "n", "Signal quality given in +CSQ reports (default 23)."},
    {"server-disconnected", nullptr, "Report the server connection as lost in +CMQTTCONNECT."},

    {"refuse-at", nullptr, "Refuse to enable AT commands (ENATCMD=<a>,1 answers with 0)."},
    {"silent", nullptr, "Answer nothing at all."},
    {"delay", "ms", "Answer each request after this delay."},
    {"split", "n", "Send each answer in n pieces."},
    {"split-pause", "ms", "Pause between the pieces of a split answer (default 50)."},
    {"echo", nullptr, "Echo every byte received before answering, as half-duplex adapters do."},
    {"ignore-write", "keys",
     "Answer these writes but keep the old value, so that a batch write's verification fails. "
     "Comma-separated: SN, DEVTYPE, SRVPRO, BEAT, DOMAIN, PKEY, OPENDEV, GSMLOG, ENATCMD, or a "
     "register in hex (0100, 0101, 0106, 010C, 010D)."},
    {"refuse-write", "keys",
     "Answer these writes with ERROR and keep the old value, as for a value the terminal "
     "refuses. Comma-separated: SN, DEVTYPE, SRVPRO, BEAT, DOMAIN, PKEY."},
    {"silent-writes", nullptr,
     "Take the writes of settings (SN, DEVTYPE, SRVPRO, BEAT, DOMAIN, PKEY) without answering "
     "them, as a terminal that does not confirm writes; by default each is answered OK, or "
     "ERROR for a value refused."},
    {"reports", "ms", "Send +CSQ and +CMQTTCONNECT reports at this interval."},
    {"log-lines", "ms",
     "Send a line of the device's own log at this interval while its log is on."},
    {"garbage", "hex", "Send these bytes (hex) once, or repeatedly with --garbage-interval."},
    {"garbage-interval", "ms", "Repeat the garbage at this interval."},
    {"flood", "ms", "Flood the line at its full rate for this long."},
    {"flood-text", "text", "Text repeated by the flood; \\r and \\n are understood."},
    {"drop-after", "ms", "Close the line this long after the first request, as if unplugged."},
};

constexpr int kDefaultSplitPauseMs = 50;
constexpr int kMaxStationAddress = 254;
constexpr int kMaxPort = 65535;
constexpr int kMaxIntervalSeconds = 65535;
constexpr int kMaxMs = 3600 * 1000;
constexpr int kExitUsage = 2;
constexpr int kExitNoLine = 1;

[[noreturn]] void failUsage(const QString &message)
{
    std::fprintf(stderr, "terminal-sim: %s\n", qPrintable(message));
    std::exit(kExitUsage);
}

QByteArray unescaped(QString text)
{
    text.replace(QLatin1String("\\r"), QLatin1String("\r"));
    text.replace(QLatin1String("\\n"), QLatin1String("\n"));
    return text.toLatin1();
}

// The parsed command line; a value out of range ends the program with a
// usage error rather than starting a terminal no one asked for.
class Options
{
public:
    explicit Options(const QCommandLineParser &parser) : m_parser(parser) {}

    bool has(const char *name) const { return m_parser.isSet(QLatin1String(name)); }
    QString text(const char *name, const QString &fallback = QString()) const
    {
        return has(name) ? m_parser.value(QLatin1String(name)) : fallback;
    }
    QStringList texts(const char *name) const { return m_parser.values(QLatin1String(name)); }

    int number(const char *name, int min, int max, int fallback) const
    {
        if (!has(name))
            return fallback;
        bool ok = false;
        const int value = text(name).toInt(&ok);
        if (!ok || value < min || value > max)
            failUsage(QStringLiteral("--%1 takes a number from %2 to %3")
                          .arg(QLatin1String(name))
                          .arg(min)
                          .arg(max));
        return value;
    }

    QByteArray hexBytes(const char *name) const
    {
        if (!has(name))
            return {};
        QByteArray hex = text(name).toLatin1();
        hex.replace(' ', QByteArray());
        const bool allHex = std::all_of(hex.cbegin(), hex.cend(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c));
        });
        if (hex.isEmpty() || hex.size() % 2 != 0 || !allHex)
            failUsage(QStringLiteral("--%1 takes bytes in hex, for example \"01 FF 7E\"")
                          .arg(QLatin1String(name)));
        return QByteArray::fromHex(hex);
    }

private:
    const QCommandLineParser &m_parser;
};

void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "A simulated field terminal answering Modbus RTU and AT commands on a serial line.\n"
        "Timed behaviours (reports, log lines, garbage, flood, drop) start with the first\n"
        "request, when the tool has opened the line."));
    parser.addHelpOption();
    for (const Option &option : kOptions) {
        const QString name = QLatin1String(option.name);
        const QString description = QLatin1String(option.description);
        if (option.valueName)
            parser.addOption({name, description, QLatin1String(option.valueName)});
        else
            parser.addOption({name, description});
    }
}

void applyState(const Options &options, TerminalSimulator::State &state)
{
    state.address = options.number("address", 1, kMaxStationAddress, state.address);
    state.baudCode = options.number("baud-code", 0, termsim::kMaxBaudCode, state.baudCode);
    state.atEnabled = !options.has("at-disabled");
    state.serialNumber = options.text("sn", state.serialNumber);
    state.softwareVersion = options.text("sw-version", state.softwareVersion);
    if (options.has("switch")) {
        const QString value = options.text("switch");
        if (value != QLatin1String("open") && value != QLatin1String("closed"))
            failUsage(QStringLiteral("--switch takes open or closed"));
        state.switchOpen = value == QLatin1String("open");
    }
    state.deviceLog = options.has("device-log");
    state.uploadInterval = options.number("interval", 1, kMaxIntervalSeconds, state.uploadInterval);
    state.mqttKey = options.text("mqtt-key", state.mqttKey);
    state.serverHost = options.text("host", state.serverHost);
    state.serverPort = options.number("server-port", 1, kMaxPort, state.serverPort);
    state.mqttLoginName = options.text("login", state.mqttLoginName);
    state.serverProtocol = options.number(
        "server-protocol", 0, termsim::serverProtocolNames().size() - 1, state.serverProtocol);
    state.deviceType =
        options.number("device-type", 0, termsim::deviceTypeNames().size() - 1, state.deviceType);
    for (const QString &relay : options.texts("relay")) {
        const int n = relay.toInt();
        if (n < 1 || n > int(state.relays.size()))
            failUsage(QStringLiteral("--relay takes 1, 2 or 3"));
        state.relays[n - 1] = true;
    }
    state.signalQuality = options.number("csq", 0, 99, state.signalQuality);
    state.serverConnected = !options.has("server-disconnected");
}

void applyReplyBehaviours(const Options &options, TerminalSimulator &sim)
{
    sim.setRefuseAtEnable(options.has("refuse-at"));
    sim.setSilent(options.has("silent"));
    sim.setEchoRequests(options.has("echo"));
    sim.setReplyDelay(options.number("delay", 0, kMaxMs, 0));
    sim.setReplySplit(options.number("split", 1, 1000, 1),
                      options.number("split-pause", 0, kMaxMs, kDefaultSplitPauseMs));
    const auto keywords = [&options](const char *name) {
        QStringList all;
        for (const QString &keys : options.texts(name))
            all += keys.split(QLatin1Char(','), Qt::SkipEmptyParts);
        return all;
    };
    sim.setIgnoredWrites(keywords("ignore-write"));
    sim.setRefusedWrites(keywords("refuse-write"));
    sim.setSilentWrites(options.has("silent-writes"));
}

QString timestamp()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
}

void logLine(const QString &line)
{
    std::fprintf(stderr, "%s %s\n", qPrintable(timestamp()), qPrintable(line));
    std::fflush(stderr);
}

// Reports, floods and the like go out only once the tool is listening: on a
// pseudo-terminal, bytes sent before it opens the port would wait for it in
// the line's queue, which no real adapter does.
void scheduleTimedBehaviours(const Options &options, TerminalSimulator &sim)
{
    const int reportMs = options.number("reports", 1, kMaxMs, 0);
    const int logLineMs = options.number("log-lines", 1, kMaxMs, 0);
    const QByteArray garbage = options.hexBytes("garbage");
    const int garbageMs = options.number("garbage-interval", 1, kMaxMs, 0);
    const int floodMs = options.number("flood", 1, kMaxMs, 0);
    const QByteArray floodText = options.has("flood-text") ? unescaped(options.text("flood-text"))
                                                           : TerminalSimulator::kDefaultFloodText;
    const int dropMs = options.number("drop-after", 0, kMaxMs, -1);

    auto *firstRequest = new QMetaObject::Connection;
    *firstRequest = QObject::connect(&sim, &TerminalSimulator::requestReceived, &sim, [=, &sim] {
        QObject::disconnect(*firstRequest);
        delete firstRequest;
        sim.setReportInterval(reportMs);
        sim.setLogLineInterval(logLineMs);
        if (!garbage.isEmpty()) {
            sim.sendGarbage(garbage);
            if (garbageMs > 0) {
                auto *timer = new QTimer(&sim);
                QObject::connect(timer, &QTimer::timeout, &sim,
                                 [&sim, garbage] { sim.sendGarbage(garbage); });
                timer->start(garbageMs);
            }
        }
        if (floodMs > 0)
            sim.startFlood(floodMs, floodText);
        if (dropMs >= 0)
            QTimer::singleShot(dropMs, &sim, [&sim] {
                sim.dropLine();
                logLine(QStringLiteral("!! line dropped"));
            });
    });
}

QString describeRequest(const TerminalSimulator::Request &request)
{
    using Kind = TerminalSimulator::RequestKind;
    const QString kind = request.kind == Kind::At       ? QStringLiteral("AT    ")
                         : request.kind == Kind::Modbus ? QStringLiteral("RTU   ")
                                                        : QStringLiteral("NOISE ");
    const QString body = request.kind == Kind::At ? termsim::escapedText(request.raw)
                                                  : termsim::hexBytes(request.raw);
    const QString outcome = request.answered ? QString() : QStringLiteral("   [no answer]");
    return QStringLiteral("<- %1%2   @%3%4").arg(kind, body).arg(request.lineBaudRate).arg(outcome);
}

QString describeSent(const QByteArray &bytes)
{
    if (termsim::looksLikeText(bytes))
        return QStringLiteral("-> TEXT  ") + termsim::escapedText(bytes);
    return QStringLiteral("-> HEX   ") + termsim::hexBytes(bytes);
}

void logTraffic(TerminalSimulator &sim)
{
    QObject::connect(
        &sim, &TerminalSimulator::requestReceived, &sim,
        [](const TerminalSimulator::Request &request) { logLine(describeRequest(request)); });
    QObject::connect(&sim, &TerminalSimulator::sent, &sim,
                     [](const QByteArray &bytes) { logLine(describeSent(bytes)); });
    QObject::connect(&sim, &TerminalSimulator::lineFailed, &sim, [](const QString &reason) {
        logLine(QStringLiteral("!! line error: ") + reason);
    });
}

bool openLine(const Options &options, TerminalSimulator &sim)
{
    if (options.has("port")) {
        const QString port = options.text("port");
        if (!sim.openSerialPort(port))
            return false;
        logLine(QStringLiteral("listening on %1 at %2 8N1").arg(port).arg(sim.ownBaudRate()));
        return true;
    }
    if (!sim.openPty())
        return false;
    // The path is the one line on standard output, for scripts to pick up.
    std::printf("%s\n", qPrintable(sim.slavePath()));
    std::fflush(stdout);
    logLine(QStringLiteral("listening on %1, answering at %2 8N1")
                .arg(sim.slavePath())
                .arg(sim.ownBaudRate()));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("terminal-sim"));

    QCommandLineParser parser;
    addOptions(parser);
    parser.process(app);
    const Options options(parser);
    if (options.has("pty") && options.has("port"))
        failUsage(QStringLiteral("--pty and --port exclude each other"));

    TerminalSimulator sim;
    applyState(options, sim.state());
    applyReplyBehaviours(options, sim);
    scheduleTimedBehaviours(options, sim);
    logTraffic(sim);

    if (!openLine(options, sim)) {
        std::fprintf(stderr, "terminal-sim: cannot open the line: %s\n",
                     qPrintable(sim.errorString()));
        return kExitNoLine;
    }
    return app.exec();
}
