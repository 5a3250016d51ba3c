// The connected terminal at work: the tick that decides when a reply is
// complete, the batch read of every parameter, the relay, device and SN
// buttons, the device-log switch, and what the terminal sends unasked.

#include "SessionChecks.h"

#include <QSignalSpy>
#include <QtTest>

using namespace sessioncheck;

class SessionTest : public QObject
{
    Q_OBJECT

private slots:
    void receiveStage_data();
    void receiveStage();
    void unsolicitedOutput();
    void batchRead_data();
    void batchRead();
    void buttons();
    void deviceLogFollowsTheBox();
    void lateEchoAndFlood();
};

// "读取SN号" clicked, the terminal quiet: the test plays its answer in pieces,
// each taken exactly `ticks` ticks after it came in, and never twice.
void SessionTest::receiveStage_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QStringList>("log"); // one entry per piece
    const QByteArray serial(140, '7');
    QTest::newRow("short: after 5 quiet ticks")
        << QByteArrayList{"+SN:ABCDEF\r\n"} << 6 << QStringList{"设备ID为：ABCDEF"};
    QTest::newRow("over 100 bytes: at once") << QByteArrayList{"+SN:" + serial + "\r\nOK\r\n"} << 1
                                             << QStringList{"设备ID为：" + serial};
    QTest::newRow("cut short, the rest later") << QByteArrayList{"+SN:AB12", "34\r\nOK\r\n"} << 6
                                               << QStringList{"设备ID格式错误", "设备ID为：AB1234"};
}

void SessionTest::receiveStage()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(int, ticks);
    QFETCH(QStringList, log);
    SimFixture f;
    QVERIFY(connectAndSettle(f));
    f.sim.setSilent(true);
    f.click(f.ui().readSNbutton);
    QTRY_COMPARE(lineRequests(f.sim).last(), QStringLiteral("SN?"));
    const int before = f.logMessages().size();
    for (int i = 0; i < pieces.size(); ++i) {
        f.sim.sendGarbage(pieces.at(i));
        f.runTicks(ticks - 1);
        QCOMPARE(f.logMessages().size(), before + i);
        f.runTicks(1);
        QCOMPARE(f.logMessages().last(), log.at(i));
        f.runTicks(100);
    }
    QCOMPARE(f.logMessages().mid(before), log);
    QCOMPARE(f.ui().lineEdit->text(), log.last().mid(6));
    QCOMPARE(f.probe->waitSelector(), 0);
    QVERIFY(f.probe->rxBuffer().isEmpty());
}

// Reports, log lines and frames nobody asked for, as a real line cuts them.
void SessionTest::unsolicitedOutput()
{
    SimFixture f;
    QVERIFY(connectAndSettle(f));
    const int before = f.logMessages().size();
    f.sim.sendGarbage(QByteArray::fromHex("0103020005 7847")); // a register reply
    f.runTicks(6);
    QVERIFY(f.probe->rxBuffer().isEmpty());
    QCOMPARE(f.session().devAddress, quint8(1));

    // After two reports the buffer is long enough to be looked at on every
    // tick: the third, cut in pieces a tick apart, is still read whole.
    const QByteArray report(
        "+CSQ: 23,99\r\n+CMQTTCONNECT: 0,\"tcp://iot.tavrin.example.com:3999\"\r\n");
    f.sim.sendGarbage(report + report);
    f.runTicks(6);
    int from = 0;
    for (const int cut : {6, 30, 55, int(report.size())}) {
        f.sim.sendGarbage(report.mid(from, cut - from));
        f.runTicks(1);
        from = cut;
    }
    f.runTicks(6);
    QCOMPARE(f.ui().label_Humidy->text(), QStringLiteral("已连接"));
    // Cut where the line paused longer than a reply's silence: the first
    // piece waits for the rest.
    f.sim.sendGarbage("+CSQ: 1");
    f.runTicks(10);
    f.sim.sendGarbage("7,99\r\n+CMQTTCONNECT: 0,1\r\n[LOG] heartbeat sent\r\n");
    f.runTicks(6);
    QCOMPARE(f.ui().label_Temp->text(), QStringLiteral("17"));
    QCOMPARE(f.ui().label_Humidy->text(), QStringLiteral("未连接"));
    QVERIFY(!f.session().has(SessionState::srvConnected));
    // One that never gets its line end is read as it stands after half a second.
    f.sim.sendGarbage("+CSQ: 9");
    f.runTicks(49);
    QCOMPARE(f.ui().label_Temp->text(), QStringLiteral("17"));
    f.runTicks(1);
    QCOMPARE(f.ui().label_Temp->text(), QStringLiteral("9"));
    f.runTicks(300);
    // The server state once per arrival, each report's signal quality; the
    // terminal's log line not shown, its log being off.
    QCOMPARE(f.logMessages().mid(before),
             QStringList({"服务器状态为：已连接", "CSQ=23", "CSQ=23", "服务器状态为：已连接",
                          "CSQ=23", "服务器状态为：未连接", "CSQ=17", "CSQ=9"}));
}

// The same read whatever the line does: an adapter that echoes every command,
// a zero byte in front of each answer, a login name that ends with a line end
// or "OK", an unanswered step, AT commands still off.
void SessionTest::batchRead_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<bool>("zeroFirst");
    QTest::addColumn<QByteArray>("nameEnd");
    QTest::addColumn<QString>("twist");
    QTest::newRow("plain") << false << false << QByteArray() << QString();
    QTest::newRow("echo") << true << false << QByteArray("\r\nOK\r\n") << QString();
    QTest::newRow("zero byte first") << false << true << QByteArray("\r\n") << QString();
    QTest::newRow("interval chosen") << false << false << QByteArray() << "interval";
    QTest::newRow("DOMAIN? unanswered") << false << false << QByteArray() << "silent";
    QTest::newRow("AT commands off") << false << false << QByteArray() << "at off";
}

void SessionTest::batchRead()
{
    QFETCH(bool, echo);
    QFETCH(bool, zeroFirst);
    QFETCH(QByteArray, nameEnd);
    QFETCH(QString, twist);
    SimFixture f;
    f.sim.setEchoRequests(echo);
    f.sim.setZeroBeforeAnswers(zeroFirst);
    f.sim.setLoginNameEnd(nameEnd);
    TerminalSimulator::State &t = f.sim.state();
    t.address = 7;
    t.baudCode = 4; // 19200
    t.serialNumber = QStringLiteral("TV2409999");
    t.softwareVersion = QStringLiteral("TV2400 SIM V2.3.4 2024-09-30");
    t.switchOpen = false;
    t.uploadInterval = 45;
    t.mqttKey = QStringLiteral("Zq81nRt0Vb6c");
    t.serverHost = QStringLiteral("mqtt.tavrin.example.com");
    t.serverPort = 1883;
    t.mqttLoginName = QStringLiteral("dev0007");
    t.serverProtocol = 1;
    t.deviceType = 4;
    t.atEnabled = twist != "at off";
    auto &ui = f.ui();
    ui.BraudRate_1->setCurrentText(QStringLiteral("19200"));
    // Silent from the first request to enable AT commands, or from "BEAT?" to
    // "DOMAIN?".
    QObject::connect(&f.sim, &TerminalSimulator::requestReceived, &f.sim,
                     [&f, twist](const TerminalSimulator::Request &request) {
                         if (twist == "at off" && request.text == QLatin1String("AT+ENATCMD?"))
                             f.sim.setSilent(true);
                         if (twist == "silent")
                             f.sim.setSilent(request.text == QLatin1String("AT+BEAT?") &&
                                             !lineRequests(f.sim).contains("DOMAIN?"));
                     });
    QVERIFY(f.connectManually());
    if (twist == "at off") // the first request to enable them goes unanswered
        QVERIFY(f.runUntil([&f] { return lineRequests(f.sim).last() == "ENATCMD=7,1"; }));
    else
        QVERIFY(f.waitIdle());
    f.sim.setSilent(false);
    f.sim.clearRequests();
    if (twist == "interval")
        ui.checkBox_16->click(); // "上传间隔：" ticks "MQTT登录密钥：" as well
    const QString hostBefore = ui.textBrowser->toPlainText();
    const int logBefore = f.logMessages().size();

    f.click(ui.readButton);
    QVERIFY(f.waitForLog(kReadDone, 15000));
    QVERIFY(f.waitIdle());
    QStringList requests{"VER",     kStationRead, "RTU 07 03 01 01 00 01 D4 50",
                         "SN?",     "OPENDEV?",   "BEAT?",
                         "DOMAIN?", "PKEY?",      "BEAT?",
                         "SRVPRO?", "DEVTYPE?"};
    if (twist == "interval")
        requests.removeAt(8);
    if (twist == "at off")
        requests = QStringList{"ENATCMD=7,1", "GSMLOG=0"} + requests;
    QCOMPARE(lineRequests(f.sim), requests);
    const bool answered = twist != "silent";
    const QString key = QStringLiteral("MQTT登录密钥为：") + t.mqttKey;
    QStringList log{QStringLiteral("批量读取参数开始")};
    if (twist == "at off")
        log << sentAt("ENATCMD=7,1") << sentAt("GSMLOG=0") << QStringLiteral("设备日志已关闭");
    log << sentAt("VER") << "设备软件版本信息:\r\n" + t.softwareVersion + "\r\nOK\r\n"
        << "发送RS485指令:3"
        << "设备地址为：7\r\n"
        << "发送RS485指令:3"
        << "设备波特率为：19200\r\n"
        << sentAt("SN?") << "设备ID为：" + t.serialNumber << sentAt("OPENDEV?") << "设备状态为：关"
        << sentAt("BEAT?") << "心跳间隔为：45" << key << sentAt("DOMAIN?");
    if (answered)
        log << "服务器地址为：" + t.serverHost << "服务器端口为：1883";
    log << sentAt("PKEY?") << "MQTT用户名为：" + t.mqttLoginName;
    if (twist != "interval")
        log << sentAt("BEAT?") << "心跳间隔为：45" << key;
    log << sentAt("SRVPRO?") << "服务器通信协议为：" + ui.BraudRate_5->itemText(1)
        << sentAt("DEVTYPE?") << "设备类型为：" + ui.BraudRate_9->itemText(4) << kReadDone;
    QCOMPARE(f.logMessages().mid(logBefore), log);
    QCOMPARE(ui.readAddress_2->value(), 7);
    QCOMPARE(ui.braudRate_2->itemText(0), QStringLiteral("19200"));
    QCOMPARE(ui.lineEdit->text(), t.serialNumber);
    QCOMPARE(ui.label_4->text(), QStringLiteral("关"));
    QCOMPARE(ui.readAddress_4->value(), t.uploadInterval);
    QCOMPARE(ui.textBrowser_6->toPlainText(), t.mqttKey);
    QCOMPARE(ui.textBrowser->toPlainText(), answered ? t.serverHost : hostBefore);
    QCOMPARE(ui.textBrowser_2->toPlainText(), t.mqttLoginName);
    QCOMPARE(ui.BraudRate_5->currentIndex(), t.serverProtocol);
    QCOMPARE(ui.BraudRate_9->currentIndex(), t.deviceType);
    const SessionState &s = f.session();
    QCOMPARE(s.devAddress, quint8(7));
    QCOMPARE(s.devBraudRate, 19200);
    QVERIFY(!s.has(SessionState::devOpen));
    QCOMPARE(int(s.devUpDataInterval), t.uploadInterval);
    QCOMPARE(s.devMqttCode, t.mqttKey);
    QCOMPARE(s.devSrvAddr, answered ? t.serverHost : QString());
    QCOMPARE(s.devMqttName, t.mqttLoginName);
}

// The relays, the device and the serial number, each switched and read back.
void SessionTest::buttons()
{
    SimFixture f;
    f.sim.state().switchOpen = false;
    QVERIFY(connectAndSettle(f));
    auto &ui = f.ui();
    f.sim.clearRequests();
    const int before = f.logMessages().size();
    QPushButton *const relays[] = {ui.pushButton_3, ui.pushButton_2, ui.pushButton};
    for (int i = 0; i < 3; ++i) {
        for (const bool on : {true, false}) {
            f.click(relays[i]);
            QCOMPARE(relays[i]->text(),
                     QString::fromUtf8(on ? "关闭继电器%1" : "打开继电器%1").arg(i + 1));
            QTRY_COMPARE(f.sim.state().relays[i], on);
        }
    }
    for (const bool on : {true, false}) {
        f.click(ui.pushButton_4);
        QCOMPARE(ui.pushButton_4->text(), QString::fromUtf8(on ? "关闭设备" : "打开设备"));
        QVERIFY(f.waitForLog(QStringLiteral("设备状态为：") + (on ? "开" : "关")));
        QCOMPARE(ui.label_4->text(), QString::fromUtf8(on ? "开" : "关"));
        QCOMPARE(f.session().has(SessionState::devOpen), on);
        QCOMPARE(f.sim.state().switchOpen, on);
    }
    // A rate chosen while connected waits for the next connection.
    ui.BraudRate_1->setCurrentText(QStringLiteral("115200"));
    QCOMPARE(f.session().braudRate, 115200);
    f.click(ui.readSNbutton);
    QVERIFY(f.waitIdle());
    QTest::keyClicks(ui.SNlineEdit, QStringLiteral("TV2409876"));
    f.click(ui.writeSNbutton);
    QTRY_COMPARE(f.sim.state().serialNumber, QStringLiteral("TV2409876"));
    f.click(ui.readSNbutton);
    QVERIFY(f.waitIdle());
    QCOMPARE(ui.lineEdit->text(), QStringLiteral("TV2409876"));
    QCOMPARE(f.sim.requests().last().lineBaudRate, 9600);

    QCOMPARE(lineRequests(f.sim),
             QStringList({"RTU 01 06 01 06 00 01 A9 F7", "RTU 01 06 01 06 00 00 68 37",
                          "RTU 01 06 01 0C 00 01 89 F5", "RTU 01 06 01 0C 00 00 48 35",
                          "RTU 01 06 01 0D 00 01 D8 35", "RTU 01 06 01 0D 00 00 19 F5", "OPENDEV=1",
                          "OPENDEV=0", "SN?", "SN=TV2409876", "SN?"}));
    QStringList log;
    for (int i = 0; i < 6; ++i)
        log << QStringLiteral("发送RS485指令:6");
    log << sentAt("OPENDEV=1") << "设备状态为：开" << sentAt("OPENDEV=0") << "设备状态为：关"
        << sentAt("SN?") << "设备ID为：TV2400001" << sentAt("SN=TV2409876") << sentAt("SN?")
        << "设备ID为：TV2409876";
    QCOMPARE(f.logMessages().mid(before), log);
}

// "打开日志" is a wish; every 2 s the tick compares it with what the terminal
// last reported and sends the switch only while they differ, never while a
// reply that is read is still awaited.
void SessionTest::deviceLogFollowsTheBox()
{
    SimFixture f;
    QVERIFY(connectAndSettle(f));
    const auto gsmLog = [&f] { return startingWith(lineRequests(f.sim), "GSMLOG="); };
    int ticks = 0;
    const auto run = [&](int count) {
        f.runTicks(count);
        ticks += count;
    };
    // Runs to the tick before the next sync, then through it.
    const auto toSync = [&] { run(199 - ticks % 200); };
    f.probe->tick2s() = 0;
    run(400);
    QCOMPARE(gsmLog(), QStringList{"GSMLOG=0"});

    // The terminal answers but keeps its log off: asked again every 2 s.
    f.sim.setIgnoredWrites({QStringLiteral("GSMLOG")});
    f.ui().checkBox_5->click();
    for (int round = 2; round <= 3; ++round) {
        toSync();
        QCOMPARE(gsmLog().size(), round - 1);
        run(1);
        QTRY_COMPARE(gsmLog().size(), round);
        QCOMPARE(gsmLog().last(), QStringLiteral("GSMLOG=1"));
        run(6);
        QCOMPARE(f.logMessages().last(), QStringLiteral("设备日志已关闭"));
    }
    // While the serial number is awaited the sync waits, and goes out on the
    // tick that takes the answer.
    f.sim.setSilent(true);
    f.click(f.ui().readSNbutton);
    run(300);
    QCOMPARE(gsmLog().size(), 3);
    f.sim.setSilent(false);
    f.sim.setIgnoredWrites({});
    f.sim.sendGarbage("+SN:TV2400001\r\nOK\r\n");
    run(5);
    QCOMPARE(gsmLog().size(), 3);
    run(1);
    QCOMPARE(f.ui().lineEdit->text(), QStringLiteral("TV2400001"));
    QTRY_COMPARE(gsmLog().size(), 4);
    run(6);
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备日志已打开"));
    QVERIFY(f.session().has(SessionState::logOn));
    QVERIFY(f.sim.state().deviceLog);
    // Its own log lines are shown now, each once.
    f.sim.sendGarbage("[LOG] heartbeat sent\r\n");
    run(600);
    QCOMPARE(f.logMessages().last(), QStringLiteral("[LOG] heartbeat sent\r\n"));
    QCOMPARE(gsmLog().size(), 4);

    // Unticked: switched off at the next sync, then quiet again.
    f.ui().checkBox_5->click();
    toSync();
    QCOMPARE(gsmLog().size(), 4);
    run(1);
    QTRY_COMPARE(gsmLog().size(), 5);
    run(6);
    QCOMPARE(gsmLog(), QStringList({"GSMLOG=0", "GSMLOG=1", "GSMLOG=1", "GSMLOG=1", "GSMLOG=0"}));
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备日志已关闭"));
    QVERIFY(!f.sim.state().deviceLog);
    run(600);
    QCOMPARE(gsmLog().size(), 5);
}

// By the terminal's clock: an echo that comes well before its answer, then a
// flood of reports that must not grow the buffer without bound.
void SessionTest::lateEchoAndFlood()
{
    SimFixture f;
    f.sim.state().baudCode = 3; // 115200
    f.ui().BraudRate_1->setCurrentText(QStringLiteral("115200"));
    QVERIFY(connectAndSettle(f));
    f.realTime();
    f.sim.setEchoRequests(true);
    f.sim.setReplyDelay(120);
    f.click(f.ui().readSNbutton);
    QVERIFY(f.waitForLog(QStringLiteral("设备ID为：TV2400001")));
    f.sim.setReplyDelay(0);

    int largest = 0;
    QObject::connect(&f.probe->serialPort(), &QSerialPort::readyRead, &f.sim,
                     [&] { largest = qMax(largest, f.probe->rxBuffer().size()); });
    QSignalSpy finished(&f.sim, &TerminalSimulator::floodFinished);
    f.sim.startFlood(400);
    QVERIFY(finished.wait(5000));
    QVERIFY(f.runUntil([&f] { return f.probe->serialPort().bytesAvailable() == 0; }));
    QTest::qWait(100);
    QVERIFY2(largest > 2048, "the flood never filled the buffer");
    QVERIFY(largest <= 4096);
    const int shown = startingWith(f.logMessages(), "CSQ=").size();
    QVERIFY(shown >= 1 && shown <= f.sim.bytesSent() / 13);
    // The line is quiet again: what is left in the buffer is not shown again.
    QTest::qWait(300);
    QCOMPARE(startingWith(f.logMessages(), "CSQ=").size(), shown);
}

QTEST_MAIN(SessionTest)
#include "test_session.moc"
