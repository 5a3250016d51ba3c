// The session against the simulated terminal: test_session (the connected
// terminal at work) and, built with SESSION_CONNECT, test_session_connect.

#include "PtyPair.h"
#include "SimFixture.h"
#include "protocol/modbus.h"

#include <QStatusBar>
#include <QtTest>

#include <memory>

namespace {

const QString kReadDone = QStringLiteral("已发完批量读取命令\r\n");
const QString kConnected = QStringLiteral("设备连接成功\r\n");
const QString kAsksToEnable =
    QStringLiteral("设备还未允许使用AT指令,正在自动要求设备允许使用AT指令\r\n");
const QString kChecks =
    QStringLiteral("1.检查设备与USB工具连接是否正确\r\n2.检查串口是否选择正确\r\n");
const QString kFailed = QStringLiteral(" 连接失败,请检查线路连接及串口编号是否正确");
const QString kDisconnected = QStringLiteral(" 设备已断开 请重新连接");
const QByteArray kAnswer("ENATCMD:1:1\r\nOK\r\n");

QString sentAt(const QString &body)
{
    return QStringLiteral("发送AT指令:AT+") + body + QStringLiteral("\r\n");
}

// The requests the terminal received: AT without "AT+" and line end, Modbus in hex.
QStringList lineRequests(const TerminalSimulator &sim, const QString &prefix = QString())
{
    QStringList lines;
    for (const TerminalSimulator::Request &request : sim.requests()) {
        const QString line = request.text.mid(request.text.startsWith("AT+") ? 3 : 0);
        if (line.startsWith(prefix))
            lines << line;
    }
    return lines;
}

QStringList attempts(int queries)
{
    QStringList log;
    for (int i = 0; i < queries; ++i)
        log << QStringLiteral("正在连接设备……\r\n") << sentAt("ENATCMD?");
    return log;
}

// The status bar, the port and the controls that follow the connection.
void expectState(SimFixture &f, const QString &status)
{
    const bool connected = status == QStringLiteral(" 设备连接成功");
    QCOMPARE(f.window->statusBar()->currentMessage(), status);
    QCOMPARE(f.probe->serialPort().isOpen(), connected);
    QCOMPARE(f.ui().readButton->isEnabled(), connected);
    QCOMPARE(f.ui().connectButton->isEnabled(), !connected);
}

// The batch read of station 7, step by step: its request, then the results
// the log shows. With the interval ticked, "BEAT?" is asked once.
QList<QStringList> readSteps(const TerminalSimulator::State &t, Ui::ZorvikTestToolClass &ui,
                             const QString &rate, bool intervalTicked)
{
    const QStringList beat{"BEAT?", "心跳间隔为：60", "MQTT登录密钥为：" + t.mqttKey};
    QList<QStringList> steps{
        {"VER", "设备软件版本信息:\r\n" + t.softwareVersion + "\r\nOK\r\n"},
        {"00 03 01 00 00 01 84 27", "设备地址为：7\r\n"}, // address 0: any station
        {"07 03 01 01 00 01 D4 50", "设备波特率为：" + rate + "\r\n"},
        {"SN?", "设备ID为：" + t.serialNumber},
        {"OPENDEV?", "设备状态为：开"},
        beat,
        {"DOMAIN?", "服务器地址为：" + t.serverHost, "服务器端口为：3999"},
        {"PKEY?", "MQTT用户名为：" + t.mqttLoginName},
        beat,
        {"SRVPRO?", "服务器通信协议为：" + ui.BraudRate_5->itemText(3)},
        {"DEVTYPE?", "设备类型为：" + ui.BraudRate_9->itemText(4)}};
    if (intervalTicked)
        steps.removeAt(8);
    return steps;
}

} // namespace

class SessionTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimFixture> f;

private slots:
    void init() { f = std::make_unique<SimFixture>(); }
    void cleanup() { f.reset(); }
    // Each piece, with the reports it holds, is taken once, on the `tick`th tick
    // after its last byte. The command drops the unended report left before it.
    void anAnswerIsTakenWholeOnTheTickItsEndAllows_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<int>("tick");
        QTest::addColumn<QStringList>("log"); // what each piece brings, entries separated by '|'
        const QByteArray serial(140, '7');
        QTest::newRow("a short one after 5 quiet ticks")
            << "readSNbutton" << QByteArrayList{"+SN:ABCDEF\r\n"} << 6
            << QStringList{"设备ID为：ABCDEF"};
        QTest::newRow("one over 100 bytes as soon as it is whole")
            << "readSNbutton" << QByteArrayList{"+SN:" + serial + "\r\nOK\r\n"} << 1
            << QStringList{"设备ID为：" + serial};
        QTest::newRow("one cut short, then whole with its rest")
            << "readSNbutton" << QByteArrayList{"+SN:AB12", "34\r\nOK\r\n"} << 6
            << QStringList{"设备ID格式错误", "设备ID为：AB1234"};
        QTest::newRow("one behind a report, the report too")
            << "readSNbutton" << QByteArrayList{"+CSQ: 8,99\r\n+SN:ABCDEF\r\n"} << 6
            << QStringList{"CSQ=8|设备ID为：ABCDEF"};
        QTest::newRow("a write's verdict at once")
            << "writeSNbutton" << QByteArrayList{"ERROR\r\n"} << 1 << QStringList{"SN写入被拒绝"};
    }

    void anAnswerIsTakenWholeOnTheTickItsEndAllows()
    {
        QFETCH(QString, button);
        QFETCH(QByteArrayList, pieces);
        QFETCH(int, tick);
        QFETCH(QStringList, log);
        QVERIFY(f->connectManually() && f->waitIdle());
        f->sim.sendGarbage("+CSQ: 5,99\r\n+CSQ: 1");
        QVERIFY(f->waitForLog(QStringLiteral("CSQ=5")));
        f->sim.setSilent(true);
        f->ui().SNlineEdit->setText(QStringLiteral("TV2400002"));
        f->click(f->window->findChild<QPushButton *>(button));
        QVERIFY(f->drainLine());
        QVERIFY(lineRequests(f->sim).last().startsWith(QStringLiteral("SN")));
        const int before = f->logMessages().size();
        QStringList expected;
        for (const QString &brought : log) {
            f->sim.sendGarbage(pieces.at(expected.size() ? 1 : 0));
            expected << brought.split(QLatin1Char('|'));
            QVERIFY(f->runUntil([&] { return f->logSince(before).size() >= expected.size(); }));
            QCOMPARE(f->ticks - f->lastArrival, tick);
            f->runTicks(100);
            QCOMPARE(f->logSince(before), expected);
        }
    }

    // Step by step, against terminals and adapters as they come; an unanswered
    // step is given up on its 21st beat. The status bar counts the 13 steps,
    // full as the read ends, gone a beat later.
    void aBatchReadAsksEveryParameterInTurnAndShowsEachAnswer_data()
    {
        QTest::addColumn<bool>("echo");
        QTest::addColumn<bool>("zeroBefore");     // a zero byte before each text answer
        QTest::addColumn<QByteArray>("nameEnd");  // after the bare login name
        QTest::addColumn<QString>("rate");        // the terminal's; 19200 stands for code 4 on
        QTest::addColumn<bool>("atEnabled");      // when the connection asks
        QTest::addColumn<bool>("intervalTicked"); // in "修改参数"
        QTest::addColumn<QString>("unanswered");  // the request the terminal does not answer
        QTest::addColumn<bool>("late");           // answers 300 ms late, in 3 pieces 30 ms apart
        QTest::addColumn<bool>("longValues");     // SN, version and login name over 100 bytes
        const auto row = [](const char *name, bool echo, bool zero, const QByteArray &nameEnd,
                            const char *rate, bool at, bool interval, const char *unanswered,
                            bool late, bool longValues) {
            QTest::newRow(name) << echo << zero << nameEnd << QString(rate) << at << interval
                                << QString(unanswered) << late << longValues;
        };
        row("as it comes", false, false, "", "9600", true, false, "", false, false);
        row("behind an echo", true, false, "\r\nOK\r\n", "9600", true, false, "", false, false);
        row("behind a zero byte", false, true, "\r\n", "9600", true, false, "", false, false);
        row("the interval ticked", false, false, "", "9600", true, true, "", false, false);
        row("DOMAIN? given up", false, false, "", "9600", true, false, "DOMAIN?", false, false);
        row("AT off at 19200", false, false, "", "19200", false, false, "", false, false);
        row("late and in pieces", false, false, "", "9600", true, false, "", true, false);
        row("over 100 bytes", false, false, "", "9600", true, false, "", false, true);
    }

    void aBatchReadAsksEveryParameterInTurnAndShowsEachAnswer()
    {
        QFETCH(bool, echo);
        QFETCH(bool, zeroBefore);
        QFETCH(QByteArray, nameEnd);
        QFETCH(QString, rate);
        QFETCH(bool, atEnabled);
        QFETCH(bool, intervalTicked);
        QFETCH(QString, unanswered);
        QFETCH(bool, late);
        QFETCH(bool, longValues);
        f->sim.setEchoRequests(echo);
        f->sim.setZeroBeforeAnswers(zeroBefore);
        f->sim.setLoginNameEnd(nameEnd);
        TerminalSimulator::State &t = f->sim.state();
        t.address = 7;
        t.baudCode = modbus::codeFromBaud(rate.toInt());
        t.deviceType = 4;
        t.atEnabled = atEnabled;
        if (longValues) {
            t.serialNumber = QStringLiteral("TV2400001").repeated(14).left(120);
            t.softwareVersion = t.softwareVersion.repeated(5).left(124); // 130 bytes with "OK"
            t.mqttLoginName = t.mqttLoginName.repeated(12).left(105);    // bare, no line end
        }
        auto &ui = f->ui();
        ui.BraudRate_1->setCurrentText(rate);
        QList<QStringList> steps = readSteps(t, ui, rate, intervalTicked);
        if (!atEnabled)
            steps = QList<QStringList>{{"ENATCMD=7,1"}, {"GSMLOG=0", "设备日志已关闭"}} + steps;
        QStringList requests;
        QStringList log{QStringLiteral("批量读取参数开始")};
        for (QStringList &step : steps) {
            if (step.first() == unanswered)
                step = QStringList{unanswered};
            requests << step.first();
            log << (step.first().contains(' ') ? QStringLiteral("发送RS485指令:3")
                                               : sentAt(step.first()))
                << step.mid(1);
        }

        QMap<QString, int> arrived;   // the tick each request arrived on
        QMap<QString, QString> shown; // the status bar's count as it went out
        int received = -1;            // requests of the read, once it began
        QObject::connect(&f->sim, &TerminalSimulator::requestReceived, &f->sim,
                         [&](const TerminalSimulator::Request &request) {
                             arrived[request.text] = f->ticks;
                             shown[request.text] = f->progress();
                             // Said on the request before: an answer is made as its request comes.
                             if (received >= 0)
                                 f->sim.setSilent(++received < requests.size() &&
                                                  requests.at(received) == unanswered);
                             else if (!atEnabled && request.text == "AT+ENATCMD?")
                                 f->sim.setSilent(true); // AT stays off until the read asks
                         });
        QVERIFY(f->connectManually());
        f->runTicks(30);
        f->sim.setSilent(false);
        f->sim.clearRequests();
        f->sim.setReplyDelay(late ? 300 : 0);
        f->sim.setReplySplit(late ? 3 : 1, 30);
        if (intervalTicked)
            ui.checkBox_16->click(); // "上传间隔：" ticks "MQTT登录密钥：" as well
        const int logBefore = f->logMessages().size();
        QCOMPARE(f->progress(), QString());
        received = 0;
        f->click(ui.readButton);
        QVERIFY(f->waitForLog(kReadDone, 15000) && f->waitIdle());
        QCOMPARE(shown.value("AT+DEVTYPE?") + ' ' + f->progress(), QStringLiteral("12/13 13/13"));
        f->runTicks(10);
        QCOMPARE(f->progress(), QString());

        QCOMPARE(lineRequests(f->sim), requests);
        QCOMPARE(f->logSince(logBefore), log << kReadDone);
        const int givenUp = requests.indexOf(unanswered);
        if (givenUp >= 0) // on the 21st beat of its own
            QCOMPARE(arrived.value("AT+" + requests.at(givenUp + 1)) -
                         arrived.value("AT+" + unanswered),
                     210);
        QCOMPARE(ui.readAddress_2->value(), 7); // "设备参数" shows the values
        QCOMPARE(ui.textBrowser_2->toPlainText(), t.mqttLoginName);
    }

    // Each caption names what the next click does (any without "打开" switches
    // off); "设备状态" follows the device.
    void eachRelayAndTheDeviceSwitchOnThenOff()
    {
        QVERIFY(f->connectManually() && f->waitIdle());
        auto &ui = f->ui();
        f->sim.clearRequests();
        const QList<QPair<QPushButton *, const char *>> toggles{{ui.pushButton_3, "继电器1"},
                                                                {ui.pushButton_2, "继电器2"},
                                                                {ui.pushButton, "继电器3"},
                                                                {ui.pushButton_4, "设备"}};
        for (const bool off : {false, true}) {
            ui.pushButton_4->setText(off ? QStringLiteral("设备") : ui.pushButton_4->text());
            for (const auto &[button, what] : toggles) {
                f->click(button);
                f->runTicks(20);
                QCOMPARE(button->text(), QString::fromUtf8(off ? "打开" : "关闭") + what);
            }
            const TerminalSimulator::State &t = f->sim.state();
            QCOMPARE(QVector<bool>({t.relays[0], t.relays[1], t.relays[2], t.switchOpen}),
                     QVector<bool>(4, !off));
            QCOMPARE(ui.label_4->text(), QString::fromUtf8(off ? "关" : "开"));
        }
        QCOMPARE(lineRequests(f->sim),
                 QStringList({"01 06 01 06 00 01 A9 F7", "01 06 01 0C 00 01 89 F5",
                              "01 06 01 0D 00 01 D8 35", "OPENDEV=1", "01 06 01 06 00 00 68 37",
                              "01 06 01 0C 00 00 48 35", "01 06 01 0D 00 00 19 F5", "OPENDEV=0"}));
        QCOMPARE(f->logCount(QStringLiteral("发送RS485指令:6")), 6);
    }

    // A few bytes a tick as the line brings it: a register reply goes unseen; a
    // report is read once the size rule allows or after the quiet, one without
    // its line end as it stands after half a second.
    void outputNobodyAskedForIsReadWholeAndOnce()
    {
        QVERIFY(f->connectManually() && f->waitIdle());
        const int before = f->logMessages().size();
        // Sent, then the ticks until `done`, counted from its last byte.
        const auto send = [this](const QByteArray &bytes, const std::function<bool()> &done) {
            f->sim.sendGarbage(bytes);
            return f->runUntil(done) ? f->ticks - f->lastArrival : -1;
        };
        const auto logged = [this, before](int count) {
            return [this, before, count] { return f->logSince(before).size() == count; };
        };
        f->sim.sendGarbage(QByteArray::fromHex("0103020005 7847"));
        QVERIFY(f->drainLine());
        f->runTicks(10);
        // Two reports pass the size rule before their end: the whole lines are read
        // at once, the rest after the quiet. One report alone waits for the quiet.
        const QByteArray report("+CSQ: 23,99\r\n+CMQTTCONNECT: 0,\"tcp://a.example.com:3999\"\r\n");
        f->sim.sendGarbage(report + QByteArray(1, '\0') + report);
        QVERIFY(f->runUntil(logged(3)) && f->sim.lineBusy());
        QVERIFY(f->runUntil(logged(4)) && f->ticks - f->lastArrival == 6);
        QCOMPARE(send(report, logged(6)), 6);
        // Paused longer than a reply's silence; a log line, not shown (log off).
        f->sim.sendGarbage("+CSQ: 1");
        f->runTicks(10);
        QCOMPARE(send("7,99\r\n+CMQTTCONNECT: 0,1\r\n[LOG] heartbeat sent\r\n", logged(8)), 6);
        QCOMPARE(send("+CSQ: 9", [this] { return f->ui().label_Temp->text() == "9"; }), 50);
        f->runTicks(300);
        QCOMPARE(f->logSince(before),
                 QStringList({"服务器状态为：已连接", "CSQ=23", "CSQ=23", "服务器状态为：已连接",
                              "服务器状态为：已连接", "CSQ=23", "服务器状态为：未连接", "CSQ=17",
                              "CSQ=9"}));
    }

    // The command goes out while the terminal's log differs, never while a
    // read's answer is awaited; the log's lines are shown while it is on.
    void theDeviceLogFollowsItsBoxEveryTwoSecondsButNeverCutsAnAnswer()
    {
        QVERIFY(f->connectManually() && f->waitIdle());
        f->probe->tick2s() = 0;
        const int start = f->ticks;
        const auto toSync = [&] { f->runTicks(199 - (f->ticks - start) % 200); }; // the tick before
        // The sync's tick sends the command; the terminal's answer is then read.
        const auto sync = [&](const char *command, const char *logLine) {
            f->runTicks(1);
            QCOMPARE(f->logMessages().last(), sentAt(QString::fromLatin1(command)));
            QVERIFY(
                f->runUntil([&] { return f->logMessages().last() == QString::fromUtf8(logLine); }));
        };
        f->sim.setIgnoredWrites({QStringLiteral("GSMLOG")}); // answers, keeps its log off
        f->ui().checkBox_5->click();
        toSync();
        QCOMPARE(lineRequests(f->sim, "GSMLOG=").size(), 1);
        sync("GSMLOG=1", "设备日志已关闭");
        // While the serial number is awaited, the sync waits.
        f->sim.setSilent(true);
        f->click(f->ui().readSNbutton);
        f->runTicks(300);
        f->sim.setSilent(false);
        f->sim.setIgnoredWrites({});
        f->sim.sendGarbage("+SN:TV2400001\r\nOK\r\n");
        QVERIFY(f->runUntil([this] { return f->ticks - f->lastArrival == 5; }));
        QCOMPARE(lineRequests(f->sim, "GSMLOG=").size(), 2);
        sync("GSMLOG=1", "设备日志已打开");
        f->sim.sendGarbage("[LOG] heartbeat sent\r\n"); // shown now, once
        f->runTicks(600);
        QCOMPARE(f->logCount(QStringLiteral("[LOG] heartbeat sent\r\n")), 1);
        f->ui().checkBox_5->click();
        toSync();
        sync("GSMLOG=0", "设备日志已关闭");
        f->runTicks(600);
        QCOMPARE(lineRequests(f->sim, "GSMLOG="),
                 QStringList({"GSMLOG=0", "GSMLOG=1", "GSMLOG=1", "GSMLOG=0"}));
    }
};

class SessionConnectTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimFixture> f;

private slots:
    void init() { f = std::make_unique<SimFixture>(); }
    void cleanup() { f.reset(); }
    // Station 3: its log off, nothing read. Off again before the port closes; a
    // second "断开连接" sends and fails nothing. The "打开日志" wish ends too.
    void aTerminalIsAskedToEnableATOnConnectingAndToDisableItOnDisconnecting()
    {
        f->sim.state().address = 3;
        f->sim.state().atEnabled = false;
        QVERIFY(f->connectManually() && f->waitIdle());
        QCOMPARE(f->logMessages(), attempts(1)
                                       << kConnected << kAsksToEnable << sentAt("ENATCMD=3,1")
                                       << sentAt("GSMLOG=0") << QStringLiteral("设备日志已关闭"));
        f->ui().checkBox_5->click();
        const int count = f->logMessages().size();
        f->click(f->ui().disConnectButton);
        expectState(*f, kDisconnected);
        QVERIFY(f->drainLine() && !f->sim.state().atEnabled);
        f->click(f->ui().disConnectButton);
        QCOMPARE(f->logSince(count),
                 QStringList({sentAt("ENATCMD=3,0"), "设备已经断开", "设备已经断开"}));
        f->sim.clearRequests();
        QVERIFY(f->connectManually());
        f->runTicks(400); // two device-log syncs
        QCOMPARE(lineRequests(f->sim), QStringList({"ENATCMD?", "ENATCMD=3,1", "GSMLOG=0"}));
    }

    void withoutAPortEitherConnectButtonAsksForARefresh()
    {
        const QSignalBlocker quiet(f->ui().SerialComNum); // choosing it rebuilds the list
        f->ui().SerialComNum->setCurrentText(QStringLiteral("刷新串口"));
        f->click(f->ui().connectButton);
        f->click(f->ui().autoConnectButton);
        QCOMPARE(f->boxes.count(), 2);
        QCOMPARE(f->boxes.last().title + f->boxes.last().text,
                 QStringLiteral("无可用串口请刷新串口"));
    }

    // By hand at the rate chosen, or over every rate, 9600 in a window of its own
    // first: two queries each; an answer in the last beat is too late. The checks
    // are logged as the box opens. The connect buttons do nothing meanwhile.
    void aQuietTerminalIsGivenUpAfterItsLastQuery_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("how");      // what the status bar, the log and the box say
        QTest::addColumn<int>("lastBeat");     // its tick
        QTest::addColumn<QString>("progress"); // shown then
        QTest::addColumn<QString>("checks");
        QTest::addColumn<QList<int>>("rates"); // of the queries
        QTest::newRow("by hand") << "connectButton"
                                 << "手动连接" << 57 << QString()
                                 << kChecks + "3.波特率是否选择正确\r\n4.站号是否选择正确\r\n"
                                 << QList<int>({115200, 115200});
        QTest::newRow("automatically")
            << "autoConnectButton"
            << "自动连接" << 107 << "1/8" << kChecks
            << QList<int>({9600, 9600, 9600, 9600, 115200, 115200, 1200, 1200, 2400, 2400, 4800,
                           4800, 19200, 19200, 57600, 57600});
    }
    void aQuietTerminalIsGivenUpAfterItsLastQuery()
    {
        QFETCH(QString, button);
        QFETCH(QString, how);
        QFETCH(int, lastBeat);
        QFETCH(QString, progress);
        QFETCH(QString, checks);
        QFETCH(QList<int>, rates);
        f->sim.setSilent(true);
        f->ui().BraudRate_1->setCurrentText(QStringLiteral("115200"));
        f->choosePort();
        f->click(f->window->findChild<QPushButton *>(button));
        f->click(f->ui().connectButton);
        f->click(f->ui().autoConnectButton);
        QCOMPARE(f->window->statusBar()->currentMessage(), ' ' + how + "设备中，请等待");
        f->runTicks(lastBeat);
        QCOMPARE(f->progress(), progress);
        f->sim.sendGarbage(kAnswer);
        QVERIFY(f->runUntil([this] { return f->boxes.count() == 1; }, 20000));
        const QStringList log = attempts(rates.size()) << how + "超时\r\n\r\n" + checks;
        QCOMPARE(f->boxes.last().title + f->boxes.last().text, how + "超时" + checks);
        QCOMPARE(f->boxes.last().log, log);
        QCOMPARE(f->logMessages(), log);
        QList<int> queried; // the rate of each query
        for (const TerminalSimulator::Request &request : f->sim.requests())
            queried << request.lineBaudRate;
        QCOMPARE(queried, rates);
        expectState(*f, kFailed);
        QCOMPARE(f->progress(), QString());
    }

    // At 115200, AT off: found in the third window and read; again after "断开连接".
    void theAutomaticWalkFindsTheTerminalAndEnablesItsAT()
    {
        f->sim.state().atEnabled = false;
        f->sim.state().baudCode = 3;
        QVERIFY(f->connectAutomatically() && f->waitForLog(kReadDone) && f->waitIdle());
        QCOMPARE(f->logMessages().mid(0, 15),
                 attempts(5) << kConnected << kAsksToEnable << sentAt("ENATCMD=1,1")
                             << QStringLiteral("设备已允许使用AT指令,正在读取设备参数\r\n")
                             << sentAt("GSMLOG=0"));
        f->click(f->ui().disConnectButton);
        QVERIFY(f->connectAutomatically());
    }

    void anAnswerCutByAPulledAdapterDoesNotConnect()
    {
        f->sim.setSilent(true);
        f->choosePort();
        f->click(f->ui().connectButton);
        f->runTicks(20);
        f->sim.sendGarbage(kAnswer);
        QVERIFY(f->drainLine()); // in, not yet complete
        f->sim.dropLine();
        QVERIFY(f->runUntil([this] { return f->boxes.count() == 1; }));
        QCOMPARE(f->boxes.last().title, QStringLiteral("串口操作错误"));
        f->runTicks(30);
        expectState(*f, kFailed);
        QVERIFY(!f->logContains(kConnected));
    }

    // Odd answers to "ENATCMD?", station 7 chosen.
    void theConnectionAnswerGivesTheAddressAndWhetherATIsOn_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("address");
        QTest::addColumn<bool>("atEnabled");
        QTest::newRow("behind a zero byte")
            << QByteArray("\0ENATCMD:3:1\r\nOK\r\n", 18) << 3 << true;
        QTest::newRow("cut after the address, AT off") << QByteArray("ENATCMD:3\r\n") << 3 << false;
        QTest::newRow("255 is no address") << QByteArray("ENATCMD:255:1\r\nOK\r\n") << 7 << true;
        QTest::newRow("a letter is no address") << QByteArray("ENATCMD:x:1\r\nOK\r\n") << 7 << true;
        QTest::newRow("blanks around it") << QByteArray("ENATCMD: 5 :1\r\nOK\r\n") << 5 << true;
        QTest::newRow("hex is no address") << QByteArray("ENATCMD:0x10:1\r\nOK\r\n") << 7 << true;
    }

    void theConnectionAnswerGivesTheAddressAndWhetherATIsOn()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, address);
        QFETCH(bool, atEnabled);
        f->sim.setSilent(true);
        QObject::connect(&f->sim, &TerminalSimulator::requestReceived, &f->sim,
                         [this, answer](const TerminalSimulator::Request &request) {
                             if (request.text == "AT+ENATCMD?")
                                 f->sim.sendGarbage(answer);
                         });
        f->ui().readAddress_1->setValue(7);
        QVERIFY(f->connectManually());
        f->click(f->ui().readButton); // reads a terminal with AT on, asks one without first
        f->runTicks(230);
        QCOMPARE(f->ui().readAddress_1->value(), address);
        QCOMPARE(lineRequests(f->sim).mid(1),
                 (atEnabled ? QStringList{"GSMLOG=0", "VER"}
                            : QStringList{"ENATCMD=3,1", "ENATCMD=3,1"}));
        f->click(f->ui().disConnectButton);
        QVERIFY(f->drainLine());
        QCOMPARE(lineRequests(f->sim).last(), QStringLiteral("ENATCMD=%1,0").arg(address));
    }

    // Counted with the connection's request; then AT commands off, port closed.
    // Connected again, the requests are counted afresh.
    void anUnansweredEnableIsAskedEvery21BeatsElevenTimesAtMost()
    {
        f->sim.state().atEnabled = false;
        int clicked = -1;
        QList<int> requestBeats; // the beat on which each further request to enable arrived
        QObject::connect(&f->sim, &TerminalSimulator::requestReceived, &f->sim,
                         [&](const TerminalSimulator::Request &request) {
                             if (request.text == "AT+ENATCMD?")
                                 f->sim.setSilent(true); // from the next request on
                             else if (clicked >= 0 && request.text.startsWith("AT+ENATCMD="))
                                 requestBeats << (f->ticks - clicked) / 10;
                         });
        QVERIFY(f->connectManually() && f->drainLine());
        f->probe->tick100ms() = 0;
        clicked = f->ticks;
        f->click(f->ui().readButton);
        f->runTicks(2500);
        QCOMPARE(requestBeats, QList<int>({21, 42, 63, 84, 105, 126, 147, 168, 189, 210, 231}));
        expectState(*f, kDisconnected);
        QCOMPARE(f->logMessages().last(), QStringLiteral("设备使能AT指令超时"));
        QCOMPARE(lineRequests(f->sim).last(), QStringLiteral("ENATCMD=1,0"));
        QCOMPARE(f->boxes.count(), 0);
        clicked = -1;
        f->sim.setSilent(false);
        QVERIFY(f->connectManually());
        f->runTicks(10);
        QCOMPARE(lineRequests(f->sim).last(), QStringLiteral("ENATCMD=1,1"));
        expectState(*f, QStringLiteral(" 设备连接成功"));
    }

    void disconnectingAStalledLineRaisesNoPortError()
    {
        PtyPair stalled; // nobody reads its other end
        f->choosePort(stalled.slavePath());
        f->click(f->ui().connectButton);
        f->probe->serialPort().write(QByteArray(512 * 1024, 'x'));
        QTest::qWait(200);
        QVERIFY(f->probe->serialPort().bytesToWrite() > 0);
        f->click(f->ui().disConnectButton);
        QTest::qWait(200);
        expectState(*f, kDisconnected);
        QCOMPARE(f->boxes.count(), 0);
    }
};

#ifdef SESSION_CONNECT
QTEST_MAIN(SessionConnectTest)
#else
QTEST_MAIN(SessionTest)
#endif
#include "test_session.moc"
