// The connected terminal at work: the tick that decides when a reply is
// complete, the batch read of every parameter, the relay, device and SN
// buttons, the device-log switch, and a line that carries reports, log output
// and floods the terminal sends without being asked.

#include "SessionChecks.h"

#include "protocol/selectors.h"

#include <QSignalSpy>
#include <QtTest>

using namespace sessioncheck;

namespace {

const QString kReadStart = QStringLiteral("批量读取参数开始");
const QString kReadDone = QStringLiteral("已发完批量读取命令\r\n");

// A terminal whose every parameter differs from the tool's start values.
void giveDistinctParameters(TerminalSimulator::State &terminal)
{
    terminal.address = 7;
    terminal.baudCode = 4; // 19200
    terminal.serialNumber = QStringLiteral("TV2409999");
    terminal.softwareVersion = QStringLiteral("TV2400 SIM V2.3.4 2024-09-30");
    terminal.switchOpen = false;
    terminal.uploadInterval = 45;
    terminal.mqttKey = QStringLiteral("Zq81nRt0Vb6c");
    terminal.serverHost = QStringLiteral("mqtt.tavrin.example.com");
    terminal.serverPort = 1883;
    terminal.mqttLoginName = QStringLiteral("dev0007");
    terminal.serverProtocol = 1;
    terminal.deviceType = 4;
}

QStringList plainReadRequests(quint8 station, bool beatTwice)
{
    QStringList requests{QStringLiteral("VER"),
                         rtuText(rtuFrame(0, 3, 0x0100, 1)),
                         rtuText(rtuFrame(station, 3, 0x0101, 1)),
                         QStringLiteral("SN?"),
                         QStringLiteral("OPENDEV?"),
                         QStringLiteral("BEAT?"),
                         QStringLiteral("DOMAIN?"),
                         QStringLiteral("PKEY?")};
    if (beatTwice)
        requests << QStringLiteral("BEAT?");
    requests << QStringLiteral("SRVPRO?") << QStringLiteral("DEVTYPE?");
    return requests;
}

// Waits, without ticking, until the window has received this many bytes; the
// ticks that judge them are then driven by the test.
bool waitForBytes(SimFixture &f, int size)
{
    return QTest::qWaitFor([&] { return f.probe->rxBuffer().size() >= size; }, 5000);
}

// The terminal's outputs counted as they leave it: a report is one write.
struct SentCounter
{
    explicit SentCounter(TerminalSimulator &sim, const QByteArray &marker) : marker(marker)
    {
        // Counted on everything sent so far: a marker may be cut between two
        // writes of the terminal.
        QObject::connect(&sim, &TerminalSimulator::sent, &sim,
                         [this](const QByteArray &bytes) { sent += bytes; });
    }
    int count() const { return sent.count(marker); }
    QByteArray marker;
    QByteArray sent;
};

} // namespace

class SessionTest : public QObject
{
    Q_OBJECT

private slots:
    // The receive stage of the tick.
    void shortReplyCompleteOnSixthQuietTick();
    void longReplyCompleteOnNextTick();
    void splitReplyParsedOnceAfterLastPiece();
    void incompleteReplyParsedAgainWhenRestArrives();
    void registerReplyNobodyAwaitsIsTakenOffTheLine();

    // The batch read.
    void batchReadFetchesEveryParameter_data();
    void batchReadFetchesEveryParameter();
    void batchReadAsksBeatOnceWithIntervalChosen();
    void silentStepIsGivenUpAndReadGoesOn();
    void batchReadEnablesAtCommandsFirst();

    // The buttons.
    void relayButtonsSwitchRelays();
    void deviceButtonSwitchesDevice();
    void serialNumberButtons();

    // The device log and what the terminal says unasked.
    void deviceLogFollowsTheBox();
    void deviceLogWaitsForTheAwaitedReply();
    void deviceLogLinesShownOnce();
    void periodicReportsLoggedOnce();
    void reportsCutByTheLineAreReadWhole();
    void floodKeepsBufferBoundedAndWindowResponsive();
};

void SessionTest::shortReplyCompleteOnSixthQuietTick()
{
    SimFixture f;
    QVERIFY(awaitSerialNumberByHand(f));
    QCOMPARE(f.probe->waitSelector(), 16);

    const QString shownBefore = f.ui().lineEdit->text();
    const QByteArray reply("+SN:ABCDEF\r\n");
    QCOMPARE(reply.size(), 12);
    f.sim.sendGarbage(reply);
    QVERIFY(waitForBytes(f, reply.size()));
    for (int tick = 1; tick <= 5; ++tick) {
        tickOnce(f);
        QCOMPARE(f.probe->waitSelector(), 16);
        QCOMPARE(f.ui().lineEdit->text(), shownBefore);
    }
    tickOnce(f);
    QCOMPARE(f.ui().lineEdit->text(), QStringLiteral("ABCDEF"));
    QCOMPARE(f.probe->waitSelector(), 0);
    QVERIFY(f.probe->rxBuffer().isEmpty());
    QCOMPARE(f.logCount(QStringLiteral("设备ID为：ABCDEF")), 1);
}

void SessionTest::longReplyCompleteOnNextTick()
{
    SimFixture f;
    QVERIFY(awaitSerialNumberByHand(f));

    const QString serial(140, QLatin1Char('7'));
    const QByteArray reply = "+SN:" + serial.toLatin1() + "\r\nOK\r\n";
    QCOMPARE(reply.size(), 150);
    f.sim.sendGarbage(reply);
    QVERIFY(waitForBytes(f, reply.size()));
    tickOnce(f);
    QCOMPARE(f.ui().lineEdit->text(), serial);
    QCOMPARE(f.probe->waitSelector(), 0);
    QVERIFY(f.probe->rxBuffer().isEmpty());
}

// Pieces 30 ms apart keep the line from ever falling quiet for 5 ticks: the
// reply is looked at once, on the sixth tick after its last piece.
void SessionTest::splitReplyParsedOnceAfterLastPiece()
{
    SimFixture f;
    QVERIFY(connectAndSettle(f));
    takeOverTicks(f);
    f.sim.setReplySplit(4, 30);
    f.click(f.ui().readSNbutton);

    const QString shownBefore = f.ui().lineEdit->text();
    const QByteArray whole("+SN:TV2400001\r\nOK\r\n");
    int arrivals = 0;
    int ticksSinceArrival = 0;
    int seen = 0;
    for (int tick = 0; tick < 300 && f.probe->waitSelector() != 0; ++tick) {
        QTest::qWait(10); // never faster than the real tick
        const int size = f.probe->rxBuffer().size();
        if (size != seen) {
            ++arrivals;
            ticksSinceArrival = 0;
            seen = size;
        }
        // Until the last piece is in, nothing may be taken from the buffer.
        QVERIFY(f.probe->rxBuffer() == whole.left(size));
        if (size < whole.size())
            QCOMPARE(f.ui().lineEdit->text(), shownBefore);
        f.probe->tick();
        ++ticksSinceArrival;
    }
    QCOMPARE(f.probe->waitSelector(), 0);
    QCOMPARE(seen, whole.size());
    QVERIFY2(arrivals >= 2, "the reply came in one piece");
    QCOMPARE(ticksSinceArrival, 6);
    QCOMPARE(f.ui().lineEdit->text(), QStringLiteral("TV2400001"));
    QCOMPARE(f.logCount(QStringLiteral("设备ID为：TV2400001")), 1);
    QCOMPARE(f.logCount(QStringLiteral("设备ID格式错误")), 0);
}

// A reply cut short is looked at once, and once more when the rest comes in;
// the line falling quiet in between does not make it repeat itself.
void SessionTest::incompleteReplyParsedAgainWhenRestArrives()
{
    SimFixture f;
    QVERIFY(awaitSerialNumberByHand(f));

    f.sim.sendGarbage("+SN:AB12");
    QVERIFY(waitForBytes(f, 8));
    tickTimes(f, 6);
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备ID格式错误"));
    tickTimes(f, 100);
    QCOMPARE(f.logCount(QStringLiteral("设备ID格式错误")), 1);
    QCOMPARE(f.probe->waitSelector(), 16);

    f.sim.sendGarbage("34\r\nOK\r\n");
    QVERIFY(waitForBytes(f, 16));
    tickTimes(f, 6);
    QCOMPARE(f.ui().lineEdit->text(), QStringLiteral("AB1234"));
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备ID为：AB1234"));
    QCOMPARE(f.logCount(QStringLiteral("设备ID格式错误")), 1);
    QCOMPARE(f.probe->waitSelector(), 0);
}

void SessionTest::registerReplyNobodyAwaitsIsTakenOffTheLine()
{
    SimFixture f;
    QVERIFY(connectAndSettle(f));
    takeOverTicks(f);
    const QByteArray reply = rtuReadReply(1, 0x0005);
    f.sim.sendGarbage(reply);
    QVERIFY(waitForBytes(f, reply.size()));
    tickTimes(f, 6);
    QVERIFY(f.probe->rxBuffer().isEmpty());
    QCOMPARE(f.probe->waitSelector(), 0);
    QCOMPARE(f.session().devAddress, quint8(1)); // nobody asked: nothing taken from it
}

// The same read whatever the line does to the answers: an adapter that echoes
// every command, answers that come late, a zero byte in front of each, and a
// login name that ends with a line end or "OK".
void SessionTest::batchReadFetchesEveryParameter_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("zeroFirst");
    QTest::addColumn<QByteArray>("nameEnd");
    QTest::newRow("prompt") << false << 0 << false << QByteArray();
    QTest::newRow("echo, prompt") << true << 0 << false << QByteArray("\r\nOK\r\n");
    QTest::newRow("echo, 120 ms late") << true << 120 << false << QByteArray();
    QTest::newRow("zero byte first") << false << 0 << true << QByteArray("\r\n");
}

void SessionTest::batchReadFetchesEveryParameter()
{
    QFETCH(bool, echo);
    QFETCH(int, delayMs);
    QFETCH(bool, zeroFirst);
    QFETCH(QByteArray, nameEnd);
    SimFixture f;
    f.sim.setEchoRequests(echo);
    f.sim.setZeroBeforeAnswers(zeroFirst);
    f.sim.setLoginNameEnd(nameEnd);
    TerminalSimulator::State &terminal = f.sim.state();
    giveDistinctParameters(terminal);
    f.ui().BraudRate_1->setCurrentText(QStringLiteral("19200"));
    QVERIFY(connectAndSettle(f));
    // Late answers only now: the connect window is too short for them.
    f.sim.setReplyDelay(delayMs);
    f.sim.clearRequests();
    const int logBefore = f.logMessages().size();

    f.click(f.ui().readButton);
    QCOMPARE(f.logMessages().last(), kReadStart);
    QVERIFY(f.waitForLog(kReadDone, 15000));
    QVERIFY(f.waitIdle());
    QCOMPARE(lineRequests(f.sim), plainReadRequests(7, true));

    // "设备参数" shows the terminal's values.
    auto &ui = f.ui();
    QCOMPARE(ui.readAddress_2->value(), 7);
    QCOMPARE(ui.braudRate_2->itemText(0), QStringLiteral("19200"));
    QCOMPARE(ui.lineEdit->text(), terminal.serialNumber);
    QCOMPARE(ui.label_4->text(), QStringLiteral("关"));
    QCOMPARE(ui.readAddress_4->value(), terminal.uploadInterval);
    QCOMPARE(ui.textBrowser_6->toPlainText(), terminal.mqttKey);
    QCOMPARE(ui.textBrowser->toPlainText(), terminal.serverHost);
    QCOMPARE(ui.textBrowser_5->toPlainText(), QString::number(terminal.serverPort));
    QCOMPARE(ui.textBrowser_2->toPlainText(), terminal.mqttLoginName);
    QCOMPARE(ui.BraudRate_5->currentIndex(), terminal.serverProtocol);
    QCOMPARE(ui.BraudRate_9->currentIndex(), terminal.deviceType);
    const SessionState &s = f.session();
    QCOMPARE(s.devAddress, quint8(7));
    QCOMPARE(s.devBraudRate, 19200);
    QVERIFY(!s.has(SessionState::devOpen));
    QCOMPARE(int(s.devUpDataInterval), terminal.uploadInterval);
    QCOMPARE(s.devMqttCode, terminal.mqttKey);
    QCOMPARE(s.devSrvAddr, terminal.serverHost);
    QCOMPARE(s.devSrvPort, terminal.serverPort);
    QCOMPARE(s.devMqttName, terminal.mqttLoginName);

    // And the log tells the same, step by step.
    const QStringList log = f.logMessages().mid(logBefore);
    const QString key = QStringLiteral("MQTT登录密钥为：") + terminal.mqttKey;
    const QStringList results{
        QStringLiteral("设备软件版本信息:\r\n") + terminal.softwareVersion +
            QStringLiteral("\r\nOK\r\n"),
        QStringLiteral("设备地址为：7\r\n"),
        QStringLiteral("设备波特率为：19200\r\n"),
        QStringLiteral("设备ID为：") + terminal.serialNumber,
        QStringLiteral("设备状态为：关"),
        QStringLiteral("心跳间隔为：45"),
        key,
        QStringLiteral("服务器地址为：") + terminal.serverHost,
        QStringLiteral("服务器端口为：1883"),
        QStringLiteral("MQTT用户名为：") + terminal.mqttLoginName,
        QStringLiteral("服务器通信协议为：") + ui.BraudRate_5->itemText(terminal.serverProtocol),
        QStringLiteral("设备类型为：") + ui.BraudRate_9->itemText(terminal.deviceType),
    };
    int previous = -1;
    for (const QString &result : results) {
        const int at = log.indexOf(result, previous + 1);
        QVERIFY2(at > previous, qPrintable(result));
        previous = at;
    }
    QCOMPARE(log.count(key), 2); // "BEAT?" was asked twice
    QCOMPARE(log.last(), kReadDone);
    QCOMPARE(log.count(kReadDone), 1);
}

void SessionTest::batchReadAsksBeatOnceWithIntervalChosen()
{
    SimFixture f;
    QVERIFY(connectAndSettle(f));
    f.ui().checkBox_16->click(); // "上传间隔："
    QVERIFY(f.ui().checkBox_15->isChecked());
    QVERIFY(f.session().masked(WriteBit::upDataInterval));
    f.sim.clearRequests();

    f.click(f.ui().readButton);
    QVERIFY(f.waitForLog(kReadDone, 15000));
    QCOMPARE(lineRequests(f.sim), plainReadRequests(1, false));
    QCOMPARE(f.ui().textBrowser_6->toPlainText(), f.sim.state().mqttKey);
}

void SessionTest::silentStepIsGivenUpAndReadGoesOn()
{
    SimFixture f;
    QVERIFY(connectAndSettle(f));
    // The terminal does not answer "DOMAIN?"; it answers everything else.
    QObject::connect(&f.sim, &TerminalSimulator::requestReceived, &f.sim,
                     [&f](const TerminalSimulator::Request &request) {
                         if (request.text == QLatin1String("AT+BEAT?"))
                             f.sim.setSilent(true);
                         else if (request.text == QLatin1String("AT+DOMAIN?"))
                             f.sim.setSilent(false);
                     });
    f.sim.clearRequests();
    const QString hostBefore = f.ui().textBrowser->toPlainText();
    const QString portBefore = f.ui().textBrowser_5->toPlainText();

    f.click(f.ui().readButton);
    QVERIFY(f.waitForLog(kReadDone, 20000));
    QCOMPARE(lineRequests(f.sim), plainReadRequests(1, true));
    QCOMPARE(f.ui().textBrowser->toPlainText(), hostBefore);
    QCOMPARE(f.ui().textBrowser_5->toPlainText(), portBefore);
    QCOMPARE(countStartingWith(f.logMessages(), QStringLiteral("服务器地址为：")), 0);
    QCOMPARE(f.ui().textBrowser_2->toPlainText(), f.sim.state().mqttLoginName);
    QCOMPARE(f.ui().BraudRate_9->currentIndex(), f.sim.state().deviceType);
}

// The terminal answered the connection with AT commands disabled and ignored
// the first request to enable them: "批量读取" asks again instead of reading,
// and reads once they are enabled.
void SessionTest::batchReadEnablesAtCommandsFirst()
{
    SimFixture f;
    f.sim.state().atEnabled = false;
    QObject::connect(&f.sim, &TerminalSimulator::requestReceived, &f.sim,
                     [&f](const TerminalSimulator::Request &request) {
                         if (request.text == QLatin1String("AT+ENATCMD?"))
                             f.sim.setSilent(true);
                     });
    QVERIFY(f.connectManually());
    QTRY_COMPARE(lineRequests(f.sim).last(), QStringLiteral("ENATCMD=1,1"));
    f.sim.setSilent(false);
    f.sim.clearRequests();

    f.click(f.ui().readButton);
    QVERIFY(f.waitForLog(kReadDone, 20000));
    QStringList expected{QStringLiteral("ENATCMD=1,1"), QStringLiteral("GSMLOG=0")};
    expected << plainReadRequests(1, true);
    QCOMPARE(lineRequests(f.sim), expected);
    QVERIFY(f.session().has(SessionState::atEnabled));
    QCOMPARE(f.ui().lineEdit->text(), f.sim.state().serialNumber);
    QCOMPARE(f.session().connectState, qint32(Connected));
}

void SessionTest::relayButtonsSwitchRelays()
{
    struct Relay
    {
        QPushButton *button;
        quint16 reg;
        int index;
        QString name;
    };
    SimFixture f;
    QVERIFY(connectAndSettle(f));
    auto &ui = f.ui();

    // The frames as the terminal's manual gives them, and this test's own CRC.
    QCOMPARE(rtuFrame(1, 6, 0x0106, 1), QByteArray::fromHex("010601060001A9F7"));
    QCOMPARE(rtuFrame(1, 6, 0x0106, 0), QByteArray::fromHex("0106010600006837"));
    QCOMPARE(rtuFrame(0, 3, 0x0100, 1), QByteArray::fromHex("0003010000018427"));

    const Relay relays[] = {
        {ui.pushButton_3, 0x0106, 0, QStringLiteral("继电器1")},
        {ui.pushButton_2, 0x010C, 1, QStringLiteral("继电器2")},
        {ui.pushButton, 0x010D, 2, QStringLiteral("继电器3")},
    };
    for (const Relay &relay : relays) {
        QCOMPARE(relay.button->text(), QStringLiteral("打开") + relay.name);
        f.sim.clearRequests();
        f.click(relay.button);
        QCOMPARE(relay.button->text(), QStringLiteral("关闭") + relay.name);
        QCOMPARE(f.logMessages().last(), QStringLiteral("发送RS485指令:6"));
        QTRY_COMPARE(f.sim.modbusFrames(), QList<QByteArray>({rtuFrame(1, 6, relay.reg, 1)}));
        QVERIFY(f.sim.state().relays[relay.index]);

        f.sim.clearRequests();
        f.click(relay.button);
        QCOMPARE(relay.button->text(), QStringLiteral("打开") + relay.name);
        QTRY_COMPARE(f.sim.modbusFrames(), QList<QByteArray>({rtuFrame(1, 6, relay.reg, 0)}));
        QVERIFY(!f.sim.state().relays[relay.index]);
    }
    QCOMPARE(f.sim.requests().size(), 1); // nothing else went out
}

void SessionTest::deviceButtonSwitchesDevice()
{
    SimFixture f;
    f.sim.state().switchOpen = false;
    QVERIFY(connectAndSettle(f));
    QPushButton *device = f.ui().pushButton_4;
    QCOMPARE(device->text(), QStringLiteral("打开设备"));

    f.click(device);
    QCOMPARE(device->text(), QStringLiteral("关闭设备"));
    QVERIFY(f.waitForLog(QStringLiteral("设备状态为：开")));
    QCOMPARE(lineRequests(f.sim).last(), QStringLiteral("OPENDEV=1"));
    QCOMPARE(f.ui().label_4->text(), QStringLiteral("开"));
    QVERIFY(f.session().has(SessionState::devOpen));
    QVERIFY(f.sim.state().switchOpen);

    f.click(device);
    QCOMPARE(device->text(), QStringLiteral("打开设备"));
    QVERIFY(f.waitForLog(QStringLiteral("设备状态为：关")));
    QCOMPARE(lineRequests(f.sim).last(), QStringLiteral("OPENDEV=0"));
    QCOMPARE(f.ui().label_4->text(), QStringLiteral("关"));
    QVERIFY(!f.session().has(SessionState::devOpen));
    QVERIFY(!f.sim.state().switchOpen);
}

void SessionTest::serialNumberButtons()
{
    SimFixture f;
    QVERIFY(connectAndSettle(f));

    // A rate chosen while connected waits for the next connection.
    f.ui().BraudRate_1->setCurrentText(QStringLiteral("115200"));
    QCOMPARE(f.session().braudRate, 115200);

    f.click(f.ui().readSNbutton);
    QVERIFY(f.waitForLog(QStringLiteral("设备ID为：TV2400001")));
    QCOMPARE(f.ui().lineEdit->text(), QStringLiteral("TV2400001"));
    QCOMPARE(f.sim.requests().last().lineBaudRate, 9600);

    QTest::keyClicks(f.ui().SNlineEdit, QStringLiteral("TV2409876"));
    QCOMPARE(f.session().wSN, QStringLiteral("TV2409876"));
    f.click(f.ui().writeSNbutton);
    QCOMPARE(f.logMessages().last(), QStringLiteral("发送AT指令:AT+SN=TV2409876\r\n"));
    QTRY_COMPARE(f.sim.state().serialNumber, QStringLiteral("TV2409876"));

    f.click(f.ui().readSNbutton);
    QVERIFY(f.waitForLog(QStringLiteral("设备ID为：TV2409876")));
    QCOMPARE(f.ui().lineEdit->text(), QStringLiteral("TV2409876"));
    QCOMPARE(lineRequests(f.sim).mid(2),
             QStringList(
                 {QStringLiteral("SN?"), QStringLiteral("SN=TV2409876"), QStringLiteral("SN?")}));
}

// "打开日志" ticked while a slow terminal's answer is awaited: the read still
// gets every value, and the log is switched on soon after.
void SessionTest::deviceLogWaitsForTheAwaitedReply()
{
    SimFixture f;
    QVERIFY(connectAndSettle(f));
    f.sim.setReplyDelay(400);
    f.click(f.ui().readButton);
    QVERIFY(QTest::qWaitFor([&f] { return f.probe->waitSelector() == selector::readServerAddress; },
                            20000));
    f.click(f.ui().checkBox_5);
    QVERIFY(f.waitForLog(kReadDone, 30000));
    QCOMPARE(f.ui().textBrowser->toPlainText(), f.sim.state().serverHost);
    QCOMPARE(f.ui().textBrowser_2->toPlainText(), f.sim.state().mqttLoginName);
    QVERIFY(QTest::qWaitFor([&f] { return f.session().has(SessionState::logOn); }, 10000));
    QVERIFY(f.sim.state().deviceLog);
}

// "打开日志" is a wish; every 2 s the tick compares it with what the terminal
// last reported and sends the switch only while they differ.
void SessionTest::deviceLogFollowsTheBox()
{
    SimFixture f;
    QVERIFY(connectAndSettle(f));
    const auto gsmLogRequests = [&f] {
        return startingWith(lineRequests(f.sim), QStringLiteral("GSMLOG="));
    };
    QCOMPARE(gsmLogRequests(), QStringList({"GSMLOG=0"}));

    takeOverTicks(f);
    int ticks = 0;
    const auto run = [&](int count) {
        tickTimes(f, count);
        ticks += count;
    };
    const auto runToLastTickBeforeSync = [&] { run(199 - ticks % 200); };
    // The terminal's answer is in; it is taken on the sixth tick.
    const auto takeAnswer = [&] {
        QVERIFY(waitForBytes(f, 1));
        run(6);
        QVERIFY(f.probe->rxBuffer().isEmpty());
    };

    // Nothing to do while wish and report agree.
    run(400);
    QTest::qWait(50);
    QCOMPARE(gsmLogRequests().size(), 1);

    // The terminal answers but keeps its log off: asked again every 2 s.
    f.sim.setIgnoredWrites({QStringLiteral("GSMLOG")});
    f.ui().checkBox_5->click();
    QVERIFY(f.session().has(SessionState::logWanted));
    for (int round = 1; round <= 2; ++round) {
        runToLastTickBeforeSync();
        QTest::qWait(50);
        QCOMPARE(gsmLogRequests().size(), round);
        run(1);
        QTRY_COMPARE(gsmLogRequests().size(), round + 1);
        QCOMPARE(gsmLogRequests().last(), QStringLiteral("GSMLOG=1"));
        takeAnswer();
        QCOMPARE(f.logMessages().last(), QStringLiteral("设备日志已关闭"));
        QVERIFY(!f.session().has(SessionState::logOn));
    }

    // Now it switches its log on, and the asking stops.
    f.sim.setIgnoredWrites({});
    runToLastTickBeforeSync();
    run(1);
    QTRY_COMPARE(gsmLogRequests().size(), 4);
    takeAnswer();
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备日志已打开"));
    QVERIFY(f.session().has(SessionState::logOn));
    QVERIFY(f.sim.state().deviceLog);
    run(600);
    QTest::qWait(50);
    QCOMPARE(gsmLogRequests().size(), 4);

    // Unticked: switched off at the next 2 s beat, then quiet again.
    f.ui().checkBox_5->click();
    QVERIFY(!f.session().has(SessionState::logWanted));
    runToLastTickBeforeSync();
    run(1);
    QTRY_COMPARE(gsmLogRequests().size(), 5);
    QCOMPARE(gsmLogRequests().last(), QStringLiteral("GSMLOG=0"));
    takeAnswer();
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备日志已关闭"));
    QVERIFY(!f.sim.state().deviceLog);
    run(600);
    QTest::qWait(50);
    QCOMPARE(gsmLogRequests().size(), 5);
}

void SessionTest::deviceLogLinesShownOnce()
{
    SimFixture f;
    QVERIFY(connectAndSettle(f));
    f.ui().checkBox_5->click();
    QVERIFY(f.waitForLog(QStringLiteral("设备日志已打开"), 5000));
    QVERIFY(f.waitIdle(5000));

    QStringList sentLines;
    QObject::connect(&f.sim, &TerminalSimulator::sent, &f.sim,
                     [&sentLines](const QByteArray &bytes) {
                         if (bytes.startsWith("[LOG]"))
                             sentLines << QString::fromLatin1(bytes);
                     });
    f.sim.setLogLineInterval(150);
    QTRY_VERIFY_WITH_TIMEOUT(sentLines.size() >= 8, 5000);
    f.sim.setLogLineInterval(0);
    const int logged = sentLines.size();
    QTRY_COMPARE(countStartingWith(f.logMessages(), QStringLiteral("[LOG]")), logged);
    QTest::qWait(500);
    QCOMPARE(startingWith(f.logMessages(), QStringLiteral("[LOG]")), sentLines);
}

void SessionTest::periodicReportsLoggedOnce()
{
    SimFixture f;
    QVERIFY(connectAndSettle(f));
    SentCounter reports(f.sim, "+CSQ:");
    f.sim.state().signalQuality = 19;

    f.sim.setReportInterval(200);
    QTRY_VERIFY_WITH_TIMEOUT(reports.count() >= 10, 10000);
    f.sim.setReportInterval(0);
    const int sent = reports.count();
    QTRY_COMPARE(f.logCount(QStringLiteral("CSQ=19")), sent);
    QCOMPARE(f.logCount(QStringLiteral("服务器状态为：已连接")), sent);
    QCOMPARE(f.ui().label_Temp->text(), QStringLiteral("19"));
    QCOMPARE(f.ui().label_Humidy->text(), QStringLiteral("已连接"));
    QVERIFY(f.session().has(SessionState::srvConnected));

    // The reports stay in the buffer, and are not shown again.
    QTest::qWait(500);
    QCOMPARE(f.logCount(QStringLiteral("CSQ=19")), sent);
    QCOMPARE(countStartingWith(f.logMessages(), QStringLiteral("CSQ=")), sent);

    // A report that names no server means the connection is gone.
    f.sim.state().serverConnected = false;
    f.sim.state().signalQuality = 12;
    f.sim.setReportInterval(200);
    QTRY_VERIFY_WITH_TIMEOUT(reports.count() >= sent + 1, 5000);
    f.sim.setReportInterval(0);
    QTRY_COMPARE(f.logCount(QStringLiteral("CSQ=12")), reports.count() - sent);
    QCOMPARE(f.logCount(QStringLiteral("服务器状态为：未连接")), reports.count() - sent);
    QCOMPARE(f.ui().label_Humidy->text(), QStringLiteral("未连接"));
    QCOMPARE(f.ui().label_Temp->text(), QStringLiteral("12"));
    QVERIFY(!f.session().has(SessionState::srvConnected));
}

// On a real line a report comes in a few bytes at a time, and after the first
// reports the buffer is long enough to be looked at on every tick: a report
// cut in two must still be read as the terminal sent it.
void SessionTest::reportsCutByTheLineAreReadWhole()
{
    SimFixture f;
    QVERIFY(connectAndSettle(f));
    takeOverTicks(f);
    const QByteArray report(
        "+CSQ: 23,99\r\n+CMQTTCONNECT: 0,\"tcp://iot.tavrin.example.com:3999\"\r\n");
    f.sim.sendGarbage(report + report);
    QVERIFY(waitForBytes(f, 2 * report.size()));
    tickTimes(f, 6);
    // Each report's signal quality is taken; the server state once per arrival.
    QCOMPARE(f.logCount(QStringLiteral("CSQ=23")), 2);
    QCOMPARE(f.logCount(QStringLiteral("服务器状态为：已连接")), 1);

    // The next report, in pieces a tick apart.
    const int cuts[] = {6, 30, 55};
    int from = 0;
    for (const int cut : cuts) {
        f.sim.sendGarbage(report.mid(from, cut - from));
        QVERIFY(waitForBytes(f, 2 * report.size() + cut));
        tickOnce(f);
        from = cut;
    }
    f.sim.sendGarbage(report.mid(from));
    QVERIFY(waitForBytes(f, 3 * report.size()));
    tickTimes(f, 6);

    QCOMPARE(startingWith(f.logMessages(), QStringLiteral("CSQ=")),
             QStringList(
                 {QStringLiteral("CSQ=23"), QStringLiteral("CSQ=23"), QStringLiteral("CSQ=23")}));
    QCOMPARE(f.logCount(QStringLiteral("服务器状态为：已连接")), 2);
    QCOMPARE(countStartingWith(f.logMessages(), QStringLiteral("服务器状态为：")), 2);
    QCOMPARE(f.ui().label_Temp->text(), QStringLiteral("23"));

    // A report cut where the line paused for longer than a reply's silence:
    // its first piece waits for the rest.
    const int received = f.probe->rxBuffer().size();
    f.sim.sendGarbage("+CSQ: 1");
    QVERIFY(waitForBytes(f, received + 7));
    tickTimes(f, 10);
    f.sim.sendGarbage("7,99\r\n");
    QVERIFY(waitForBytes(f, received + 13));
    tickTimes(f, 6);
    QCOMPARE(f.ui().label_Temp->text(), QStringLiteral("17"));
    // One that never gets its line end is read as it stands after half a second.
    f.sim.sendGarbage("+CSQ: 9");
    QVERIFY(waitForBytes(f, received + 20));
    tickTimes(f, 49);
    QCOMPARE(f.ui().label_Temp->text(), QStringLiteral("17"));
    tickOnce(f);
    QCOMPARE(f.ui().label_Temp->text(), QStringLiteral("9"));
    QCOMPARE(startingWith(f.logMessages(), QStringLiteral("CSQ=")).mid(3),
             (QStringList{QStringLiteral("CSQ=17"), QStringLiteral("CSQ=9")}));
}

void SessionTest::floodKeepsBufferBoundedAndWindowResponsive()
{
    SimFixture f;
    f.sim.state().baudCode = 3; // 115200
    f.ui().BraudRate_1->setCurrentText(QStringLiteral("115200"));
    QVERIFY(connectAndSettle(f));

    int largest = 0;
    QObject::connect(&f.probe->serialPort(), &QSerialPort::readyRead, &f.sim,
                     [&] { largest = qMax(largest, f.probe->rxBuffer().size()); });
    SentCounter reports(f.sim, "+CSQ:");
    QSignalSpy finished(&f.sim, &TerminalSimulator::floodFinished);
    f.sim.startFlood(2000);
    QVERIFY(finished.wait(10000));
    QTRY_VERIFY(f.probe->serialPort().bytesAvailable() == 0);
    QTest::qWait(200);

    QVERIFY2(largest > 2048, "the flood never filled the buffer");
    QVERIFY(largest <= 4096);
    QVERIFY(f.probe->rxBuffer().size() <= 4096);
    const int shown = countStartingWith(f.logMessages(), QStringLiteral("CSQ="));
    QVERIFY(shown >= 1);
    QVERIFY2(shown <= reports.count(), qPrintable(QString::number(shown)));

    // The line is quiet again: what is left in the buffer is not shown again.
    QTest::qWait(500);
    QCOMPARE(countStartingWith(f.logMessages(), QStringLiteral("CSQ=")), shown);

    // The window still reads the terminal.
    f.click(f.ui().readButton);
    QVERIFY(f.waitForLog(kReadDone, 15000));
    QCOMPARE(f.ui().lineEdit->text(), f.sim.state().serialNumber);
    QCOMPARE(f.ui().textBrowser->toPlainText(), f.sim.state().serverHost);
}

QTEST_MAIN(SessionTest)
#include "test_session.moc"
