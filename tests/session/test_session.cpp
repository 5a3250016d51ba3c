// The session against the simulated terminal: test_session (the connected
// terminal at work) and, built with SESSION_CONNECT, test_session_connect.

#include "PtyPair.h"
#include "SimFixture.h"

#include <QProgressBar>
#include <QStatusBar>
#include <QtTest>

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

QList<int> queryRates(const TerminalSimulator &sim)
{
    QList<int> rates;
    for (const TerminalSimulator::Request &request : sim.requests())
        rates << (request.text == "AT+ENATCMD?" ? request.lineBaudRate : 0);
    rates.removeAll(0);
    return rates;
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

} // namespace

class SessionTest : public QObject
{
    Q_OBJECT

private slots:
    void receiveStage_data();
    void receiveStage();
    void batchRead_data();
    void batchRead();
    void buttons();
    void unsolicitedOutputAndDeviceLog();
};

// Each piece of the answer to "SN?" (or "SN=", "写入SN号") is taken once, on
// the `tick`th tick after its last byte.
void SessionTest::receiveStage_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<int>("tick");
    QTest::addColumn<QStringList>("log"); // one entry per piece
    const QByteArray serial(140, '7');
    QTest::newRow("short: after 5 quiet ticks")
        << "readSNbutton" << QByteArrayList{"+SN:ABCDEF\r\n"} << 6
        << QStringList{"设备ID为：ABCDEF"};
    QTest::newRow("over 100 bytes: once whole")
        << "readSNbutton" << QByteArrayList{"+SN:" + serial + "\r\nOK\r\n"} << 1
        << QStringList{"设备ID为：" + serial};
    QTest::newRow("cut short, the rest later")
        << "readSNbutton" << QByteArrayList{"+SN:AB12", "34\r\nOK\r\n"} << 6
        << QStringList{"设备ID格式错误", "设备ID为：AB1234"};
    QTest::newRow("a write's verdict: at once")
        << "writeSNbutton" << QByteArrayList{"ERROR\r\n"} << 1 << QStringList{"SN写入被拒绝"};
}

void SessionTest::receiveStage()
{
    QFETCH(QString, button);
    QFETCH(QByteArrayList, pieces);
    QFETCH(int, tick);
    QFETCH(QStringList, log);
    SimFixture f;
    QVERIFY(f.connectManually() && f.waitIdle());
    f.sim.setSilent(true);
    f.ui().SNlineEdit->setText(QStringLiteral("TV2400002"));
    f.click(f.window->findChild<QPushButton *>(button));
    QVERIFY(f.drainLine());
    QVERIFY(lineRequests(f.sim).last().startsWith(QStringLiteral("SN")));
    const int before = f.logMessages().size();
    for (int i = 0; i < pieces.size(); ++i) {
        f.sim.sendGarbage(pieces.at(i));
        QVERIFY(f.runUntil([&] { return f.logMessages().size() > before + i; }));
        QCOMPARE(f.ticks - f.lastArrival, tick);
        QCOMPARE(f.logMessages().last(), log.at(i));
        f.runTicks(100);
    }
    QCOMPARE(f.logMessages().mid(before), log);
    QVERIFY(f.probe->rxBuffer().isEmpty() && f.probe->waitSelector() == 0);
}

// The same read with an echoing adapter, a zero byte before each answer (and
// odd login name ends), the interval chosen (one "BEAT?"), "DOMAIN?"
// unanswered, AT commands still off, answers late and in pieces, answers
// longer than the size at which a reply is taken (read whole all the same).
void SessionTest::batchRead_data()
{
    QTest::addColumn<QString>("twist");
    for (const char *twist :
         {"plain", "echo", "zero", "interval", "silent", "at off", "late", "long"})
        QTest::newRow(twist) << QString::fromLatin1(twist);
}

void SessionTest::batchRead()
{
    QFETCH(QString, twist);
    SimFixture f;
    f.sim.setEchoRequests(twist == "echo");
    f.sim.setZeroBeforeAnswers(twist == "zero");
    f.sim.setLoginNameEnd(twist == "echo" ? "\r\nOK\r\n" : twist == "zero" ? "\r\n" : "");
    TerminalSimulator::State &t = f.sim.state();
    const QString rate = twist == "at off" ? "19200" : "9600"; // code 4 is the catch-all
    t.address = 7;
    t.baudCode = twist == "at off" ? 4 : 2;
    t.deviceType = 4;
    t.atEnabled = twist != "at off";
    if (twist == "long") {
        t.serialNumber = QStringLiteral("TV2400001").repeated(14).left(120);
        t.softwareVersion = t.softwareVersion.repeated(5).left(124); // 130 bytes with "OK"
        t.mqttLoginName = t.mqttLoginName.repeated(12).left(105);    // bare, no line end
    }
    auto &ui = f.ui();
    ui.BraudRate_1->setCurrentText(rate);
    QMap<QString, int> arrived;   // the tick each request arrived on
    QMap<QString, QString> shown; // the status bar's count as it went out
    const auto *bar = f.window->findChild<QProgressBar *>(QStringLiteral("progressBar"));
    QObject::connect(&f.sim, &TerminalSimulator::requestReceived, &f.sim,
                     [&, twist](const TerminalSimulator::Request &request) {
                         arrived[request.text] = f.ticks;
                         shown[request.text] =
                             QString("%1/%2").arg(bar->value()).arg(bar->maximum());
                         if (twist == "at off" && request.text == "AT+ENATCMD?")
                             f.sim.setSilent(true);
                         if (twist == "silent")
                             f.sim.setSilent(request.text == "AT+BEAT?" &&
                                             !lineRequests(f.sim).contains("DOMAIN?"));
                     });
    QVERIFY(f.connectManually());
    QVERIFY(twist == "at off" ? f.drainLine() : f.waitIdle()); // "ENATCMD=7,1" unanswered
    f.sim.setSilent(false);
    f.sim.clearRequests();
    f.sim.setReplyDelay(twist == "late" ? 300 : 0);
    f.sim.setReplySplit(twist == "late" ? 3 : 1, 30);
    if (twist == "interval")
        ui.checkBox_16->click(); // "上传间隔：" ticks "MQTT登录密钥：" as well
    const int logBefore = f.logMessages().size();
    QVERIFY(bar->isHidden());
    f.click(ui.readButton);
    QVERIFY(f.waitForLog(kReadDone, 15000) && f.waitIdle());
    // The bar counts the 13 steps, full as the read ends, gone a beat later.
    QCOMPARE(shown.value("AT+DEVTYPE?") + QString(" %1/%2").arg(bar->value()).arg(bar->maximum()),
             QStringLiteral("12/13 13/13"));
    f.runTicks(10);
    QVERIFY(bar->isHidden());

    // Each step: its request, then the results the log shows.
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
    if (twist == "interval")
        steps.removeAt(8);
    if (twist == "silent")
        steps[6] = QStringList{"DOMAIN?"};
    if (twist == "at off")
        steps = QList<QStringList>{{"ENATCMD=7,1"}, {"GSMLOG=0", "设备日志已关闭"}} + steps;
    QStringList requests;
    QStringList log{QStringLiteral("批量读取参数开始")};
    for (const QStringList &step : steps) {
        requests << step.first();
        log << (step.first().contains(' ') ? QStringLiteral("发送RS485指令:3")
                                           : sentAt(step.first()))
            << step.mid(1);
    }
    QCOMPARE(lineRequests(f.sim), requests);
    QCOMPARE(f.logMessages().mid(logBefore), log << kReadDone);
    if (twist == "silent") // given up on the 21st beat of its own
        QCOMPARE(arrived.value("AT+PKEY?") - arrived.value("AT+DOMAIN?"), 210);
    QCOMPARE(ui.readAddress_2->value(), 7); // "设备参数" shows the values
    QCOMPARE(ui.textBrowser_2->toPlainText(), t.mqttLoginName);
}

// Relays and device on and off; the serial number read, written, read back.
void SessionTest::buttons()
{
    SimFixture f;
    QVERIFY(f.connectManually() && f.waitIdle());
    auto &ui = f.ui();
    f.sim.clearRequests();
    QPushButton *const buttons[] = {ui.pushButton_3, ui.pushButton_2, ui.pushButton,
                                    ui.pushButton_4};
    for (const bool off : {false, true}) {
        for (QPushButton *button : buttons) {
            f.click(button);
            f.runTicks(20);
            QVERIFY(button->text().startsWith(QString::fromUtf8(off ? "打开" : "关闭")));
        }
        const TerminalSimulator::State &t = f.sim.state();
        QCOMPARE(QVector<bool>({t.relays[0], t.relays[1], t.relays[2], t.switchOpen}),
                 QVector<bool>(4, !off));
        QCOMPARE(ui.label_4->text(), QString::fromUtf8(off ? "关" : "开"));
        QCOMPARE(f.session().has(SessionState::devOpen), !off);
    }
    ui.BraudRate_1->setCurrentText(QStringLiteral("115200")); // for the next connection
    QTest::keyClicks(ui.SNlineEdit, QStringLiteral("TV2409876"));
    for (QPushButton *button : {ui.readSNbutton, ui.writeSNbutton, ui.readSNbutton}) {
        f.click(button);
        f.runTicks(20);
    }
    QCOMPARE(ui.lineEdit->text(), QStringLiteral("TV2409876"));
    QCOMPARE(f.sim.requests().last().lineBaudRate, 9600);
    QCOMPARE(lineRequests(f.sim),
             QStringList({"01 06 01 06 00 01 A9 F7", "01 06 01 0C 00 01 89 F5",
                          "01 06 01 0D 00 01 D8 35", "OPENDEV=1", "01 06 01 06 00 00 68 37",
                          "01 06 01 0C 00 00 48 35", "01 06 01 0D 00 00 19 F5", "OPENDEV=0", "SN?",
                          "SN=TV2409876", "SN?"}));
    QCOMPARE(f.logCount(QStringLiteral("发送RS485指令:6")), 6);
    QVERIFY(f.logContains(sentAt("SN=TV2409876")));
}

// Output nobody asked for, a few bytes a tick as the line brings it; then
// "打开日志", sent every 2 s while the terminal differs, never while a read
// reply is awaited.
void SessionTest::unsolicitedOutputAndDeviceLog()
{
    SimFixture f;
    QVERIFY(f.connectManually() && f.waitIdle());
    const int before = f.logMessages().size();
    // Sent, then the ticks until `done`, counted from its last byte.
    const auto send = [&f](const QByteArray &bytes, const std::function<bool()> &done) {
        f.sim.sendGarbage(bytes);
        return f.runUntil(done) ? f.ticks - f.lastArrival : -1;
    };
    // A register reply is taken after 5 quiet ticks.
    QCOMPARE(send(QByteArray::fromHex("0103020005 7847"),
                  [&f] { return f.probe->rxBuffer().isEmpty(); }),
             6);
    QCOMPARE(f.session().devAddress, quint8(1));
    // Two reports pass the size rule before their end: the whole lines are read
    // at once, the rest after the quiet. One report alone waits for the quiet.
    const QByteArray report("+CSQ: 23,99\r\n+CMQTTCONNECT: 0,\"tcp://a.example.com:3999\"\r\n");
    const auto logged = [&f, before](int count) {
        return [&f, before, count] { return f.logMessages().size() - before == count; };
    };
    f.sim.sendGarbage(report + report);
    QVERIFY(f.runUntil(logged(3)) && f.sim.lineBusy());
    QVERIFY(f.runUntil(logged(4)) && f.ticks - f.lastArrival == 6);
    QCOMPARE(send(report, logged(6)), 6);
    // Paused longer than a reply's silence; a log line, not shown (log off).
    f.sim.sendGarbage("+CSQ: 1");
    f.runTicks(10);
    QCOMPARE(send("7,99\r\n+CMQTTCONNECT: 0,1\r\n[LOG] heartbeat sent\r\n", logged(8)), 6);
    // Without its line end, read as it stands after half a second.
    QCOMPARE(send("+CSQ: 9", [&f] { return f.ui().label_Temp->text() == "9"; }), 50);
    f.runTicks(300);
    QCOMPARE(
        f.logMessages().mid(before),
        QStringList({"服务器状态为：已连接", "CSQ=23", "CSQ=23", "服务器状态为：已连接",
                     "服务器状态为：已连接", "CSQ=23", "服务器状态为：未连接", "CSQ=17", "CSQ=9"}));

    f.probe->tick2s() = 0;
    const int start = f.ticks;
    const auto toSync = [&] { f.runTicks(199 - (f.ticks - start) % 200); }; // the tick before
    // The sync's tick sends the command; the terminal's answer is then read.
    const auto sync = [&](const char *command, const char *logLine) {
        f.runTicks(1);
        QCOMPARE(f.logMessages().last(), sentAt(QString::fromLatin1(command)));
        QVERIFY(f.runUntil([&] { return f.logMessages().last() == QString::fromUtf8(logLine); }));
    };
    f.sim.setIgnoredWrites({QStringLiteral("GSMLOG")}); // answers, keeps its log off
    f.ui().checkBox_5->click();
    toSync();
    QCOMPARE(lineRequests(f.sim, "GSMLOG=").size(), 1);
    sync("GSMLOG=1", "设备日志已关闭");
    // While the serial number is awaited, the sync waits.
    f.sim.setSilent(true);
    f.click(f.ui().readSNbutton);
    f.runTicks(300);
    f.sim.setSilent(false);
    f.sim.setIgnoredWrites({});
    QCOMPARE(send("+SN:TV2400001\r\nOK\r\n", [&f] { return f.ticks - f.lastArrival == 5; }), 5);
    QCOMPARE(lineRequests(f.sim, "GSMLOG=").size(), 2);
    sync("GSMLOG=1", "设备日志已打开");
    f.sim.sendGarbage("[LOG] heartbeat sent\r\n"); // shown now, once
    f.runTicks(600);
    QCOMPARE(f.logCount(QStringLiteral("[LOG] heartbeat sent\r\n")), 1);
    f.ui().checkBox_5->click();
    toSync();
    sync("GSMLOG=0", "设备日志已关闭");
    f.runTicks(600);
    QCOMPARE(lineRequests(f.sim, "GSMLOG="),
             QStringList({"GSMLOG=0", "GSMLOG=1", "GSMLOG=1", "GSMLOG=0"}));
}

class SessionConnectTest : public QObject
{
    Q_OBJECT

private slots:
    void manualConnectDisconnectAndLoseAdapter();
    void quietTerminal();
    void connectionReply_data();
    void connectionReply();
    void enableRequestsAreCountedAndGivenUp();
    void disconnectOnStalledLine();
};

// Station 3, AT commands off: asked for, its log off, nothing read. The
// "打开日志" wish ends with the connection, by button or lost adapter.
void SessionConnectTest::manualConnectDisconnectAndLoseAdapter()
{
    SimFixture f;
    f.sim.state().address = 3;
    f.sim.state().atEnabled = false;
    QVERIFY(f.connectManually() && f.waitIdle());
    f.runTicks(300);
    expectState(f, QStringLiteral(" 设备连接成功"));
    const QStringList requests{"ENATCMD?", "ENATCMD=3,1", "GSMLOG=0"};
    QCOMPARE(lineRequests(f.sim), requests);
    const QStringList log = attempts(1) << kConnected << kAsksToEnable << sentAt("ENATCMD=3,1")
                                        << sentAt("GSMLOG=0") << QStringLiteral("设备日志已关闭");
    QCOMPARE(f.logMessages(), log);

    f.ui().checkBox_5->click();
    f.click(f.ui().disConnectButton);
    expectState(f, kDisconnected);
    QVERIFY(f.drainLine() && !f.sim.state().atEnabled); // the command left before the port closed
    f.click(f.ui().disConnectButton); // the port closed: nothing goes out, nothing fails
    QCOMPARE(f.logMessages().mid(log.size()),
             QStringList({sentAt("ENATCMD=3,0"), "设备已经断开", "设备已经断开"}));
    f.sim.clearRequests();
    QVERIFY(f.connectManually());
    f.runTicks(400); // two device-log syncs
    QCOMPARE(lineRequests(f.sim), requests);

    f.ui().checkBox_5->click();
    f.sim.dropLine();
    QVERIFY(f.runUntil([&f] { return f.boxes.count() == 1; }));
    QCOMPARE(f.boxes.last().title, QStringLiteral("串口操作错误"));
    QVERIFY(
        f.boxes.last().text.startsWith(QStringLiteral("请检查当前选择的串口是否可用!\r\n\r\n")));
    expectState(f, kFailed);
    QVERIFY(!f.ui().checkBox_5->isChecked() && !f.session().has(SessionState::logWanted));
}

// A quiet terminal: by hand, over every rate; an answer incomplete when the
// attempt, the rate or the adapter ends does not connect.
void SessionConnectTest::quietTerminal()
{
    SimFixture f;
    f.sim.setSilent(true);
    {
        const QSignalBlocker quiet(f.ui().SerialComNum); // choosing it rebuilds the list
        f.ui().SerialComNum->setCurrentText(QStringLiteral("刷新串口"));
    }
    f.click(f.ui().connectButton);
    f.click(f.ui().autoConnectButton);
    QCOMPARE(f.boxes.count(), 2);
    QCOMPARE(f.boxes.last().title + f.boxes.last().text, QStringLiteral("无可用串口请刷新串口"));

    f.ui().BraudRate_1->setCurrentText(QStringLiteral("115200"));
    f.choosePort();
    f.click(f.ui().connectButton);
    f.click(f.ui().autoConnectButton);
    f.click(f.ui().connectButton);
    QCOMPARE(f.window->statusBar()->currentMessage(), QStringLiteral(" 手动连接设备中，请等待"));
    f.runTicks(57); // the attempt ends on tick 60
    f.sim.sendGarbage(kAnswer);
    f.runTicks(3);
    const QString checks =
        kChecks + QStringLiteral("3.波特率是否选择正确\r\n4.站号是否选择正确\r\n");
    QStringList log = attempts(2) << QStringLiteral("手动连接超时\r\n\r\n") + checks;
    QCOMPARE(f.boxes.last().title + f.boxes.last().text, QStringLiteral("手动连接超时") + checks);
    QCOMPARE(f.boxes.last().log, log); // in the window as soon as the box opens
    QCOMPARE(queryRates(f.sim), QList<int>({115200, 115200}));

    f.sim.clearRequests();
    f.click(f.ui().autoConnectButton);
    QCOMPARE(f.window->statusBar()->currentMessage(), QStringLiteral(" 自动连接设备中，请等待"));
    f.runTicks(107); // the second 9600 window ends on tick 110
    const auto *bar = f.window->findChild<QProgressBar *>(QStringLiteral("progressBar"));
    QCOMPARE(QString("%1/%2").arg(bar->value()).arg(bar->maximum()), QStringLiteral("1/8"));
    f.sim.sendGarbage(kAnswer);
    QVERIFY(f.runUntil([&f] { return f.boxes.count() == 4; }, 20000));
    QCOMPARE(f.boxes.last().title + f.boxes.last().text, QStringLiteral("自动连接超时") + kChecks);
    QCOMPARE(queryRates(f.sim), QList<int>({9600, 9600, 9600, 9600, 115200, 115200, 1200, 1200,
                                            2400, 2400, 4800, 4800, 19200, 19200, 57600, 57600}));
    QCOMPARE(f.logMessages(),
             log << attempts(16) << QStringLiteral("自动连接超时\r\n\r\n") + kChecks);
    expectState(f, kFailed);
    QVERIFY(bar->isHidden());
    QCOMPARE(f.session().braudRate, 57600);
    // Answering at 115200, AT commands off: the walk starts over at 9600 and
    // finds it on the third window; enabled, everything read.
    f.sim.setSilent(false);
    f.sim.state().atEnabled = false;
    f.sim.state().baudCode = 3;
    f.click(f.ui().autoConnectButton);
    QVERIFY(f.waitForLog(kReadDone) && f.waitIdle());
    QCOMPARE(f.logMessages().mid(log.size(), 15),
             attempts(5) << kConnected << kAsksToEnable << sentAt("ENATCMD=1,1")
                         << QStringLiteral("设备已允许使用AT指令,正在读取设备参数\r\n")
                         << sentAt("GSMLOG=0"));
    f.click(f.ui().disConnectButton);
    f.sim.setSilent(true);

    f.click(f.ui().connectButton);
    f.runTicks(20);
    f.sim.sendGarbage(kAnswer);
    QVERIFY(f.drainLine()); // in, not yet complete
    f.sim.dropLine();
    QVERIFY(f.runUntil([&f] { return f.boxes.count() == 5; }));
    QCOMPARE(f.boxes.last().title, QStringLiteral("串口操作错误"));
    f.runTicks(30);
    QCOMPARE(f.session().connectState, qint32(ConnectFailed));
    QCOMPARE(f.logCount(kConnected), 1);
}

// Odd answers to "ENATCMD?", station 7 chosen: an impossible address is not
// taken; a reply cut after the address says nothing of AT commands.
void SessionConnectTest::connectionReply_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("atEnabled");
    QTest::newRow("zero byte first") << QByteArray("\0ENATCMD:3:1\r\nOK\r\n", 18) << 3 << true;
    QTest::newRow("cut after the address") << QByteArray("ENATCMD:3\r\n") << 3 << false;
    QTest::newRow("255") << QByteArray("ENATCMD:255:1\r\nOK\r\n") << 7 << true;
    QTest::newRow("not a number") << QByteArray("ENATCMD:x:1\r\nOK\r\n") << 7 << true;
    QTest::newRow("blanks around") << QByteArray("ENATCMD: 5 :1\r\nOK\r\n") << 5 << true;
    QTest::newRow("hex") << QByteArray("ENATCMD:0x10:1\r\nOK\r\n") << 7 << true;
}

void SessionConnectTest::connectionReply()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, address);
    QFETCH(bool, atEnabled);
    SimFixture f;
    f.sim.setSilent(true);
    QObject::connect(&f.sim, &TerminalSimulator::requestReceived, &f.sim,
                     [&f, answer](const TerminalSimulator::Request &request) {
                         if (request.text == "AT+ENATCMD?")
                             f.sim.sendGarbage(answer);
                     });
    f.ui().readAddress_1->setValue(7);
    QVERIFY(f.connectManually());
    f.runTicks(20);
    QCOMPARE(f.session().devAddress, quint8(address));
    QCOMPARE(f.ui().readAddress_1->value(), address);
    QCOMPARE(f.session().has(SessionState::atEnabled), atEnabled);
    QCOMPARE(lineRequests(f.sim).last(), QString(atEnabled ? "GSMLOG=0" : "ENATCMD=3,1"));
    f.click(f.ui().disConnectButton);
    QVERIFY(f.drainLine());
    QCOMPARE(lineRequests(f.sim).last(), QStringLiteral("ENATCMD=%1,0").arg(address));
}

// Not answering "ENATCMD=": the read asks again every 21 beats, counted with
// the connection's request; after the eleventh, AT commands off, port closed.
void SessionConnectTest::enableRequestsAreCountedAndGivenUp()
{
    SimFixture f;
    f.sim.state().atEnabled = false;
    QObject::connect(&f.sim, &TerminalSimulator::requestReceived, &f.sim,
                     [&f](const TerminalSimulator::Request &request) {
                         if (request.text == "AT+ENATCMD?")
                             f.sim.setSilent(true); // from the next request on
                     });
    QVERIFY(f.connectManually());
    f.probe->tick100ms() = 0;
    f.click(f.ui().readButton);
    QList<int> requestBeats; // the beat on which each further request went out
    for (int beat = 1; beat <= 400 && f.session().connectState == Connected; ++beat) {
        const quint16 before = f.session().atEnableCount;
        f.runTicks(10);
        if (f.session().atEnableCount != before)
            requestBeats << beat;
    }
    QCOMPARE(requestBeats, QList<int>({21, 42, 63, 84, 105, 126, 147, 168, 189, 210, 231}));
    expectState(f, kDisconnected);
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备使能AT指令超时"));
    QVERIFY(f.drainLine());
    QCOMPARE(lineRequests(f.sim).last(), QStringLiteral("ENATCMD=1,0"));
    QCOMPARE(f.boxes.count(), 0);
    f.sim.setSilent(false); // connected again, the requests are counted afresh
    QVERIFY(f.connectManually());
    f.runTicks(10);
    QCOMPARE(f.session().atEnableCount, quint16(1));
}

// A stalled adapter: the disconnect ends without a port error.
void SessionConnectTest::disconnectOnStalledLine()
{
    SimFixture f;
    PtyPair stalled; // nobody reads its other end
    f.choosePort(stalled.slavePath());
    f.click(f.ui().connectButton);
    f.probe->serialPort().write(QByteArray(512 * 1024, 'x'));
    QTest::qWait(200);
    QVERIFY(f.probe->serialPort().bytesToWrite() > 0);
    f.click(f.ui().disConnectButton);
    QTest::qWait(200);
    expectState(f, kDisconnected);
    QCOMPARE(f.boxes.count(), 0);
}

#ifdef SESSION_CONNECT
QTEST_MAIN(SessionConnectTest)
#else
QTEST_MAIN(SessionTest)
#endif
#include "test_session.moc"
