// Connecting to the terminal, as a technician does it: by hand at the chosen
// rate, automatically over every rate, with a terminal that answers, one that
// keeps quiet and one that will not enable its AT commands; disconnecting; and
// losing the adapter while connected.

#include "PtyPair.h"
#include "SessionChecks.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QtTest>

using namespace sessioncheck;

namespace {

const QString kConnecting = QStringLiteral("正在连接设备……\r\n");
const QString kConnected = QStringLiteral("设备连接成功\r\n");
const QString kAsksToEnable =
    QStringLiteral("设备还未允许使用AT指令,正在自动要求设备允许使用AT指令\r\n");
const QString kStartsReading = QStringLiteral("设备已允许使用AT指令,正在读取设备参数\r\n");
const QString kReadDone = QStringLiteral("已发完批量读取命令\r\n");

const QString kStatusManual = QStringLiteral(" 手动连接设备中，请等待");
const QString kStatusConnected = QStringLiteral(" 设备连接成功");
const QString kStatusFailed = QStringLiteral(" 连接失败,请检查线路连接及串口编号是否正确");
const QString kStatusDisconnected = QStringLiteral(" 设备已断开 请重新连接");

const QString kWiringChecks =
    QStringLiteral("1.检查设备与USB工具连接是否正确\r\n2.检查串口是否选择正确\r\n");
const QString kSettingChecks = QStringLiteral("3.波特率是否选择正确\r\n4.站号是否选择正确\r\n");

// The controls a technician may use while the terminal is connected, and
// those left when it is not.
void expectConnectedControls(SimFixture &f, bool connected)
{
    auto &ui = f.ui();
    QCOMPARE(ui.connectButton->isEnabled(), !connected);
    QCOMPARE(ui.autoConnectButton->isEnabled(), !connected);
    QCOMPARE(ui.SerialComNum->isEnabled(), !connected);
    QVERIFY(ui.disConnectButton->isEnabled());
    QCOMPARE(ui.readButton->isEnabled(), connected);
    QCOMPARE(ui.writeButton->isEnabled(), connected);
    QCOMPARE(ui.readSNbutton->isEnabled(), connected);
    QCOMPARE(ui.writeSNbutton->isEnabled(), connected);
    QCOMPARE(ui.pushButton_3->isEnabled(), connected);
    QCOMPARE(ui.pushButton_2->isEnabled(), connected);
    QCOMPARE(ui.pushButton->isEnabled(), connected);
    QVERIFY(ui.pushButton_4->isEnabled());
}

QStringList repeated(int count, const QString &item)
{
    QStringList items;
    for (int i = 0; i < count; ++i)
        items << item;
    return items;
}

// Makes the terminal answer "ENATCMD?" with the given bytes instead of its own
// answer, as a terminal with an odd firmware or a noisy adapter does.
void answerQueryWith(TerminalSimulator &sim, const QByteArray &answer)
{
    sim.setSilent(true);
    QObject::connect(&sim, &TerminalSimulator::requestReceived, &sim,
                     [&sim, answer](const TerminalSimulator::Request &request) {
                         if (request.text == QLatin1String("AT+ENATCMD?"))
                             sim.sendGarbage(answer);
                     });
}

} // namespace

class SessionConnectTest : public QObject
{
    Q_OBJECT

private slots:
    void manualConnectToStationThree();
    void manualConnectAsksToEnableAtCommands();
    void manualConnectTimesOut();
    void noPortChosen();
    void autoConnectIgnoredWhileManualRuns();
    void autoConnectFindsFastTerminalAndReadsIt();
    void autoConnectTriesEveryRateThenGivesUp();
    void autoConnectReadsOnceAtCommandsAreEnabled();
    void answerWithZeroByteIsRecognised();
    void lateAnswerAfterManualTimeoutIsIgnored();
    void lateAnswerAtOldRateDoesNotConnect();
    void answerBeforeLostAdapterDoesNotConnect();
    void addressOutsideStationRangeIsNotTaken_data();
    void addressOutsideStationRangeIsNotTaken();
    void refusingTerminalIsGivenUp();
    void enableRequestsOfBatchReadCountToo();
    void disconnectSwitchesAtCommandsOff();
    void disconnectOnStalledLine();
    void lostAdapterEndsConnection();
};

void SessionConnectTest::manualConnectToStationThree()
{
    SimFixture f;
    f.sim.state().address = 3;
    QCOMPARE(f.session().readStep, quint16(26)); // no batch read at start

    QVERIFY(f.connectManually());
    QCOMPARE(f.session().devAddress, quint8(3));
    QCOMPARE(f.ui().readAddress_1->value(), 3);
    QCOMPARE(statusText(f), kStatusConnected);
    expectConnectedControls(f, true);
    QVERIFY(f.probe->serialPort().isOpen());

    // The terminal's own log goes off right after the connection.
    QVERIFY(f.waitIdle(10000));
    QVERIFY(f.waitForLog(QStringLiteral("设备日志已关闭")));
    const QStringList sent = lineRequests(f.sim);
    QVERIFY(!sent.isEmpty());
    QCOMPARE(sent.last(), QStringLiteral("GSMLOG=0"));
    for (int i = 0; i < sent.size() - 1; ++i)
        QCOMPARE(sent.at(i), QStringLiteral("ENATCMD?"));

    // What the log shows: the attempt (query pairs), then the connection.
    const QStringList log = f.logMessages();
    const int connectedAt = log.indexOf(kConnected);
    QVERIFY(connectedAt >= 2);
    QCOMPARE(log.mid(connectedAt),
             QStringList({kConnected, QStringLiteral("发送AT指令:AT+GSMLOG=0\r\n"),
                          QStringLiteral("设备日志已关闭")}));
    for (int i = 0; i < connectedAt; i += 2) {
        QCOMPARE(log.at(i), kConnecting);
        QCOMPARE(log.at(i + 1), QStringLiteral("发送AT指令:AT+ENATCMD?\r\n"));
    }

    // A manual connection reads nothing by itself.
    QVERIFY(!f.logContains(kStartsReading));
    QCOMPARE(f.session().readStep, quint16(26));
    QTest::qWait(300);
    QCOMPARE(lineRequests(f.sim).size(), sent.size());
}

void SessionConnectTest::manualConnectAsksToEnableAtCommands()
{
    SimFixture f;
    f.sim.state().address = 3;
    f.sim.state().atEnabled = false;

    QVERIFY(f.connectManually());
    QVERIFY(f.waitForLog(kAsksToEnable));
    QTRY_VERIFY(lineRequests(f.sim).contains(QStringLiteral("ENATCMD=3,1")));

    // The terminal enables them and says so; the log goes off, nothing is read.
    QVERIFY(f.waitIdle(10000));
    QVERIFY(f.sim.state().atEnabled);
    QVERIFY(f.session().has(SessionState::atEnabled));
    const QStringList sent = lineRequests(f.sim);
    QCOMPARE(sent.mid(sent.indexOf(QStringLiteral("ENATCMD=3,1"))),
             QStringList({QStringLiteral("ENATCMD=3,1"), QStringLiteral("GSMLOG=0")}));
    QCOMPARE(f.logCount(kAsksToEnable), 1);
    QCOMPARE(f.logCount(kConnected), 1);
    QVERIFY(!f.logContains(kStartsReading));
    QCOMPARE(f.session().connectState, qint32(Connected));
}

void SessionConnectTest::manualConnectTimesOut()
{
    SimFixture f;
    f.sim.setSilent(true);
    f.choosePort();
    f.click(f.ui().connectButton);
    QCOMPARE(f.session().connectState, qint32(ManualConnecting));
    QCOMPARE(statusText(f), kStatusManual);

    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.count(), 1, 10000);
    QCOMPARE(f.boxes.last().title, QStringLiteral("手动连接超时"));
    QCOMPARE(f.boxes.last().text, kWiringChecks + kSettingChecks);
    QCOMPARE(f.session().connectState, qint32(ConnectFailed));
    QCOMPARE(statusText(f), kStatusFailed);
    QVERIFY(!f.probe->serialPort().isOpen());

    // Two queries, then the time-out with its check list, in the window as
    // soon as the box opens.
    QCOMPARE(lineRequests(f.sim), QStringList({"ENATCMD?", "ENATCMD?"}));
    QCOMPARE(f.boxes.last().log, f.logMessages());
    QCOMPARE(
        f.logMessages(),
        QStringList({kConnecting, QStringLiteral("发送AT指令:AT+ENATCMD?\r\n"), kConnecting,
                     QStringLiteral("发送AT指令:AT+ENATCMD?\r\n"),
                     QStringLiteral("手动连接超时\r\n\r\n") + kWiringChecks + kSettingChecks}));

    // Behind the closed box the failed state starts nothing.
    QTest::qWait(500);
    QCOMPARE(f.sim.requests().size(), 2);
    QCOMPARE(f.boxes.count(), 1);
}

void SessionConnectTest::noPortChosen()
{
    SimFixture f;
    QComboBox *ports = f.ui().SerialComNum;
    {
        // Made current without being chosen: choosing it would rebuild the list.
        const QSignalBlocker quiet(ports);
        ports->setCurrentIndex(ports->findText(QStringLiteral("刷新串口")));
    }
    QCOMPARE(ports->currentText(), QStringLiteral("刷新串口"));

    f.click(f.ui().connectButton);
    QTRY_COMPARE(f.boxes.count(), 1);
    f.click(f.ui().autoConnectButton);
    QTRY_COMPARE(f.boxes.count(), 2);
    for (const BoxCatcher::Box &box : f.boxes.boxes()) {
        QCOMPARE(box.title, QStringLiteral("无可用串口"));
        QCOMPARE(box.text, QStringLiteral("请刷新串口"));
    }
    QCOMPARE(f.session().connectState, qint32(Idle));
    QVERIFY(!f.probe->serialPort().isOpen());
    QVERIFY(f.logMessages().isEmpty());
}

void SessionConnectTest::autoConnectIgnoredWhileManualRuns()
{
    SimFixture f;
    f.sim.setSilent(true);
    f.ui().BraudRate_1->setCurrentText(QStringLiteral("115200"));
    f.choosePort();
    f.click(f.ui().connectButton);
    f.click(f.ui().autoConnectButton);
    f.click(f.ui().connectButton);

    QCOMPARE(f.session().connectState, qint32(ManualConnecting));
    QCOMPARE(f.ui().BraudRate_1->currentText(), QStringLiteral("115200"));
    QCOMPARE(f.session().braudRate, 115200);
    QCOMPARE(statusText(f), kStatusManual);

    // One manual attempt runs to its end, at the chosen rate only.
    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.count(), 1, 10000);
    QCOMPARE(f.boxes.last().title, QStringLiteral("手动连接超时"));
    QCOMPARE(ratesOf(f.sim, QStringLiteral("ENATCMD?")), QList<int>({115200, 115200}));
    QCOMPARE(f.logCount(kConnecting), 2);
}

void SessionConnectTest::autoConnectFindsFastTerminalAndReadsIt()
{
    SimFixture f;
    auto &terminal = f.sim.state();
    terminal.baudCode = 3; // 115200
    terminal.address = 9;
    terminal.serialNumber = QStringLiteral("TV2401234");
    terminal.uploadInterval = 90;
    terminal.serverPort = 8883;
    terminal.deviceType = 2;
    f.ui().BraudRate_1->setCurrentText(QStringLiteral("2400")); // the button starts over at 9600

    QVERIFY(f.connectAutomatically());
    QCOMPARE(f.ui().BraudRate_1->currentText(), QStringLiteral("115200"));
    QCOMPARE(f.session().braudRate, 115200);
    QCOMPARE(f.session().devAddress, quint8(9));
    QCOMPARE(f.ui().readAddress_1->value(), 9);

    // 9600 in two windows of two queries each, then 115200 answers.
    const QList<int> rates = ratesOf(f.sim, QStringLiteral("ENATCMD?"));
    QVERIFY(rates.size() >= 5);
    QCOMPARE(rates.mid(0, 5), QList<int>({9600, 9600, 9600, 9600, 115200}));
    QCOMPARE(f.logCount(kConnected), 1);

    // The connection goes straight on to read every parameter.
    QVERIFY(f.waitForLog(kStartsReading));
    QVERIFY(f.waitForLog(kReadDone, 15000));
    QVERIFY(f.waitIdle());
    QVERIFY(!f.session().has(SessionState::verifying));
    QStringList sent = lineRequests(f.sim);
    sent = sent.mid(sent.indexOf(QStringLiteral("GSMLOG=0")));
    QCOMPARE(sent, QStringList(
                       {QStringLiteral("GSMLOG=0"), QStringLiteral("VER"),
                        rtuText(rtuFrame(0, 3, 0x0100, 1)), rtuText(rtuFrame(9, 3, 0x0101, 1)),
                        QStringLiteral("SN?"), QStringLiteral("OPENDEV?"), QStringLiteral("BEAT?"),
                        QStringLiteral("DOMAIN?"), QStringLiteral("PKEY?"), QStringLiteral("BEAT?"),
                        QStringLiteral("SRVPRO?"), QStringLiteral("DEVTYPE?")}));
    QCOMPARE(f.ui().readAddress_2->value(), 9);
    QCOMPARE(f.ui().braudRate_2->itemText(0), QStringLiteral("115200"));
    QCOMPARE(f.ui().lineEdit->text(), terminal.serialNumber);
    QCOMPARE(f.ui().readAddress_4->value(), 90);
    QCOMPARE(f.ui().textBrowser_5->toPlainText(), QStringLiteral("8883"));
    QCOMPARE(f.ui().BraudRate_9->currentIndex(), 2);
}

void SessionConnectTest::autoConnectTriesEveryRateThenGivesUp()
{
    SimFixture f;
    f.sim.setSilent(true);
    f.choosePort();
    f.click(f.ui().autoConnectButton);
    QCOMPARE(f.session().connectState, qint32(AutoConnecting));
    QCOMPARE(statusText(f), QStringLiteral(" 自动连接设备中，请等待"));

    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.count(), 1, 20000);
    QCOMPARE(f.boxes.last().title, QStringLiteral("自动连接超时"));
    QCOMPARE(f.boxes.last().text, kWiringChecks);

    // Two queries at each rate, the first rate in two windows.
    QCOMPARE(ratesOf(f.sim, QStringLiteral("ENATCMD?")),
             QList<int>({9600, 9600, 9600, 9600, 115200, 115200, 1200, 1200, 2400, 2400, 4800, 4800,
                         19200, 19200, 57600, 57600}));
    QStringList expected;
    for (int i = 0; i < 16; ++i)
        expected << kConnecting << QStringLiteral("发送AT指令:AT+ENATCMD?\r\n");
    expected << QStringLiteral("自动连接超时\r\n\r\n") + kWiringChecks;
    QCOMPARE(f.logMessages(), expected);

    QCOMPARE(f.session().connectState, qint32(ConnectFailed));
    QCOMPARE(statusText(f), kStatusFailed);
    QVERIFY(!f.probe->serialPort().isOpen());
    QCOMPARE(f.ui().BraudRate_1->currentIndex(), f.ui().BraudRate_1->count() - 1);
    QCOMPARE(f.ui().BraudRate_1->currentText(), QStringLiteral("57600"));
    QCOMPARE(f.session().braudRate, 57600);

    QTest::qWait(500);
    QCOMPARE(f.sim.requests().size(), 16);
    QCOMPARE(f.boxes.count(), 1);
}

// The terminal answers the automatic connection with AT commands disabled:
// they are asked for, and the read starts only once they are enabled.
void SessionConnectTest::autoConnectReadsOnceAtCommandsAreEnabled()
{
    SimFixture f;
    f.sim.state().atEnabled = false;
    QVERIFY(f.connectAutomatically());
    QVERIFY(f.waitForLog(kReadDone, 15000));
    QVERIFY(f.waitIdle());
    QStringList sent = lineRequests(f.sim);
    sent = sent.mid(sent.indexOf(QStringLiteral("ENATCMD=1,1")), 3);
    QCOMPARE(sent, QStringList({"ENATCMD=1,1", "GSMLOG=0", "VER"}));

    QStringList log = f.logMessages();
    log = log.mid(log.indexOf(kConnected));
    QCOMPARE(
        log.mid(0, 5),
        QStringList({kConnected, kAsksToEnable, QStringLiteral("发送AT指令:AT+ENATCMD=1,1\r\n"),
                     kStartsReading, QStringLiteral("发送AT指令:AT+GSMLOG=0\r\n")}));
    QVERIFY(!f.session().has(SessionState::verifying));
    QCOMPARE(f.ui().lineEdit->text(), f.sim.state().serialNumber);
}

void SessionConnectTest::answerWithZeroByteIsRecognised()
{
    SimFixture f;
    answerQueryWith(f.sim, QByteArray("\0ENATCMD:3:1\r\nOK\r\n", 18));
    QVERIFY(f.connectManually());
    QCOMPARE(f.session().devAddress, quint8(3));
    QCOMPARE(f.ui().readAddress_1->value(), 3);
    QVERIFY(f.session().has(SessionState::atEnabled));
    QVERIFY(f.logContains(kConnected));
    QTRY_COMPARE(lineRequests(f.sim).last(), QStringLiteral("GSMLOG=0"));
}

// The answer comes in during the last beats of the manual window and is not
// yet complete when the window gives up: the attempt has failed, the port is
// closed, and the answer must not connect a terminal the box calls missing.
void SessionConnectTest::lateAnswerAfterManualTimeoutIsIgnored()
{
    SimFixture f;
    f.sim.setSilent(true);
    f.choosePort();
    takeOverTicks(f);
    f.click(f.ui().connectButton);
    tickTimes(f, 57); // the window gives up on its sixth beat, tick 60
    QCOMPARE(ratesOf(f.sim, QStringLiteral("ENATCMD?")).size(), 2);
    f.sim.sendGarbage("ENATCMD:1:1\r\nOK\r\n");
    QVERIFY(QTest::qWaitFor([&f] { return !f.probe->rxBuffer().isEmpty(); }, 5000));
    tickTimes(f, 3);
    QCOMPARE(f.boxes.count(), 1);
    QCOMPARE(f.boxes.last().title, QStringLiteral("手动连接超时"));

    tickTimes(f, 30);
    QCOMPARE(f.session().connectState, qint32(ConnectFailed));
    QCOMPARE(statusText(f), kStatusFailed);
    QVERIFY(!f.logContains(kConnected));
    expectConnectedControls(f, false);
}

// A slow terminal at 9600 answers just before the walk moves on to 115200:
// that answer belongs to the old rate and must not connect at the new one.
void SessionConnectTest::lateAnswerAtOldRateDoesNotConnect()
{
    SimFixture f;
    f.sim.setSilent(true);
    f.choosePort();
    takeOverTicks(f);
    f.click(f.ui().autoConnectButton);
    tickTimes(f, 107); // the second 9600 window ends at tick 110
    QCOMPARE(ratesOf(f.sim, QStringLiteral("ENATCMD?")), QList<int>({9600, 9600, 9600, 9600}));
    f.sim.sendGarbage("ENATCMD:1:1\r\nOK\r\n");
    QVERIFY(QTest::qWaitFor([&f] { return !f.probe->rxBuffer().isEmpty(); }, 5000));
    tickTimes(f, 3);
    QCOMPARE(f.session().braudRate, 115200);

    tickTimes(f, 30);
    QCOMPARE(f.session().connectState, qint32(AutoConnecting));
    QVERIFY(!f.logContains(kConnected));
    QTest::qWait(50);
    QCOMPARE(ratesOf(f.sim, QStringLiteral("ENATCMD?")),
             QList<int>({9600, 9600, 9600, 9600, 115200, 115200}));
}

// The answer is in, but the adapter is pulled before the line falls quiet:
// the error ends the attempt, and the answer must not connect the closed port.
void SessionConnectTest::answerBeforeLostAdapterDoesNotConnect()
{
    SimFixture f;
    f.sim.setSilent(true);
    f.choosePort();
    takeOverTicks(f);
    f.click(f.ui().connectButton);
    tickTimes(f, 20);
    QTRY_COMPARE(ratesOf(f.sim, QStringLiteral("ENATCMD?")).size(), 1);
    f.sim.sendGarbage("ENATCMD:1:1\r\nOK\r\n");
    QVERIFY(QTest::qWaitFor([&f] { return !f.probe->rxBuffer().isEmpty(); }, 5000));
    f.sim.dropLine();
    QTRY_COMPARE(f.boxes.count(), 1);
    QCOMPARE(f.boxes.last().title, QStringLiteral("串口操作错误"));

    tickTimes(f, 30);
    QCOMPARE(f.session().connectState, qint32(ConnectFailed));
    QVERIFY(!f.logContains(kConnected));
    expectConnectedControls(f, false);
}

void SessionConnectTest::addressOutsideStationRangeIsNotTaken_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("255") << QByteArray("ENATCMD:255:1\r\nOK\r\n");
    QTest::newRow("0") << QByteArray("ENATCMD:0:1\r\nOK\r\n");
    QTest::newRow("not a number") << QByteArray("ENATCMD:x:1\r\nOK\r\n");
}

// The address in use and the spin box showing it stay in step: an address no
// terminal can have is not taken, and the commands keep the chosen one.
void SessionConnectTest::addressOutsideStationRangeIsNotTaken()
{
    QFETCH(QByteArray, answer);
    SimFixture f;
    f.sim.state().address = 7;
    answerQueryWith(f.sim, answer);
    f.ui().readAddress_1->setValue(7);
    QVERIFY(f.connectManually());
    QCOMPARE(f.session().devAddress, quint8(7));
    QCOMPARE(f.ui().readAddress_1->value(), 7);
    QVERIFY(f.logContains(kConnected));

    f.click(f.ui().disConnectButton);
    QTRY_COMPARE(lineRequests(f.sim).last(), QStringLiteral("ENATCMD=7,0"));
}

void SessionConnectTest::refusingTerminalIsGivenUp()
{
    SimFixture f;
    f.sim.state().address = 5;
    f.sim.state().atEnabled = false;
    f.sim.setRefuseAtEnable(true);
    f.choosePort();
    f.click(f.ui().connectButton);

    QTRY_COMPARE_WITH_TIMEOUT(f.session().connectState, qint32(Disconnected), 15000);
    QVERIFY(!f.probe->serialPort().isOpen());
    QCOMPARE(statusText(f), kStatusDisconnected);
    expectConnectedControls(f, false);
    QVERIFY(f.logContains(kConnected));
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备使能AT指令超时"));

    // Eleven requests, then the terminal is told to drop AT commands, and
    // that last command reaches it although the port closed right after.
    QStringList expected = repeated(11, QStringLiteral("ENATCMD=5,1"));
    expected << QStringLiteral("ENATCMD=5,0");
    QTRY_COMPARE(startingWith(lineRequests(f.sim), QStringLiteral("ENATCMD=")), expected);
    QCOMPARE(f.boxes.count(), 0);

    QTest::qWait(500);
    QCOMPARE(startingWith(lineRequests(f.sim), QStringLiteral("ENATCMD=")), expected);
    QCOMPARE(f.logCount(QStringLiteral("设备使能AT指令超时")), 1);
}

// A terminal that keeps quiet when asked to enable its AT commands: the batch
// read asks again each time the step has waited 21 beats, and those requests
// count together with the one sent at the connection.
void SessionConnectTest::enableRequestsOfBatchReadCountToo()
{
    SimFixture f;
    f.sim.state().atEnabled = false;
    QObject::connect(&f.sim, &TerminalSimulator::requestReceived, &f.sim,
                     [&f](const TerminalSimulator::Request &request) {
                         if (request.text == QLatin1String("AT+ENATCMD?"))
                             f.sim.setSilent(true); // from the next request on
                     });
    QVERIFY(f.connectManually());
    QTRY_COMPARE(f.session().atEnableCount, quint16(1));
    QVERIFY(!f.session().has(SessionState::atEnabled));

    takeOverTicks(f);
    f.click(f.ui().readButton);
    QList<int> requestBeats; // the beat on which each further request went out
    int beat = 0;
    while (f.session().connectState == Connected && beat < 400) {
        const quint16 before = f.session().atEnableCount;
        tickTimes(f, 10);
        ++beat;
        if (f.session().atEnableCount != before)
            requestBeats << beat;
    }
    QCOMPARE(f.session().connectState, qint32(Disconnected));
    QCOMPARE(requestBeats.size(), 11); // ten more requests and the give-up
    for (int i = 0; i < requestBeats.size(); ++i)
        QCOMPARE(requestBeats.at(i), 21 * (i + 1));
    QVERIFY(!f.logContains(QStringLiteral("发送AT指令:AT+VER\r\n")));
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备使能AT指令超时"));

    QStringList expected = repeated(11, QStringLiteral("ENATCMD=1,1"));
    expected << QStringLiteral("ENATCMD=1,0");
    QTRY_COMPARE(startingWith(lineRequests(f.sim), QStringLiteral("ENATCMD=")), expected);
}

void SessionConnectTest::disconnectSwitchesAtCommandsOff()
{
    SimFixture f;
    f.sim.state().address = 4;
    QVERIFY(f.connectManually());
    QVERIFY(f.waitIdle(10000));

    f.click(f.ui().disConnectButton);
    QCOMPARE(f.session().connectState, qint32(Disconnected));
    QVERIFY(!f.probe->serialPort().isOpen());
    QCOMPARE(statusText(f), kStatusDisconnected);
    expectConnectedControls(f, false);
    QCOMPARE(f.logMessages().mid(f.logMessages().size() - 2),
             QStringList({QStringLiteral("发送AT指令:AT+ENATCMD=4,0\r\n"),
                          QStringLiteral("设备已经断开")}));

    // The command left before the port closed: the terminal got it and
    // switched its AT commands off.
    QTRY_COMPARE(lineRequests(f.sim).last(), QStringLiteral("ENATCMD=4,0"));
    QTRY_VERIFY(!f.sim.state().atEnabled);

    // Again with the port closed: nothing reaches the line, nothing fails.
    const int requests = f.sim.requests().size();
    f.click(f.ui().disConnectButton);
    QCOMPARE(f.session().connectState, qint32(Disconnected));
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备已经断开"));
    QTest::qWait(200);
    QCOMPARE(f.sim.requests().size(), requests);
    QCOMPARE(f.boxes.count(), 0);

    // And the terminal can be connected again (it answers with the flag clear
    // now and is asked to enable its AT commands).
    QVERIFY(f.connectManually());
    QTRY_COMPARE(lineRequests(f.sim).last(), QStringLiteral("GSMLOG=0"));
    QVERIFY(f.sim.state().atEnabled);
}

// An adapter that takes no more bytes (its buffer full, its line stalled):
// the last command cannot leave in time, and the disconnect still ends in the
// disconnected state, without an error about the port.
void SessionConnectTest::disconnectOnStalledLine()
{
    SimFixture f;
    PtyPair stalled; // nobody reads its other end
    QVERIFY(stalled.isValid());
    f.choosePort(stalled.slavePath());
    f.click(f.ui().connectButton);
    QVERIFY(f.probe->serialPort().isOpen());
    // Fills the line's buffers and leaves the rest waiting in the port.
    f.probe->serialPort().write(QByteArray(512 * 1024, 'x'));
    QTest::qWait(200);
    QVERIFY(f.probe->serialPort().bytesToWrite() > 0);

    f.click(f.ui().disConnectButton);
    QCOMPARE(f.session().connectState, qint32(Disconnected));
    QVERIFY(!f.probe->serialPort().isOpen());
    QCOMPARE(statusText(f), kStatusDisconnected);
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备已经断开"));
    QTest::qWait(200);
    QCOMPARE(f.boxes.count(), 0);
    QCOMPARE(f.session().connectState, qint32(Disconnected));
}

void SessionConnectTest::lostAdapterEndsConnection()
{
    SimFixture f;
    QVERIFY(f.connectManually());
    QVERIFY(f.waitIdle(10000));
    f.ui().checkBox_5->click(); // "打开日志"
    QVERIFY(f.session().has(SessionState::logWanted));

    f.sim.dropLine();
    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.count(), 1, 10000);
    QCOMPARE(f.boxes.last().title, QStringLiteral("串口操作错误"));
    QVERIFY2(
        f.boxes.last().text.startsWith(QStringLiteral("请检查当前选择的串口是否可用!\r\n\r\n")),
        qPrintable(f.boxes.last().text));
    QCOMPARE(f.session().connectState, qint32(ConnectFailed));
    QCOMPARE(statusText(f), kStatusFailed);
    QVERIFY(!f.probe->serialPort().isOpen());
    expectConnectedControls(f, false);
    QVERIFY(!f.ui().checkBox_5->isChecked());
    QVERIFY(!f.session().has(SessionState::logWanted));

    // A new adapter with another terminal: the next connection works, and the
    // log wish went with the old one.
    TerminalSimulator other;
    QVERIFY(other.openPty());
    other.state().address = 2;
    f.choosePort(other.slavePath());
    f.click(f.ui().connectButton);
    QTRY_COMPARE_WITH_TIMEOUT(f.session().connectState, qint32(Connected), 5000);
    QCOMPARE(f.session().devAddress, quint8(2));
    QVERIFY(f.waitIdle(10000));
    QCOMPARE(f.boxes.count(), 1);

    takeOverTicks(f);
    tickTimes(f, 400); // two device-log syncs
    QTest::qWait(100);
    QCOMPARE(lineRequests(other), QStringList({"ENATCMD?", "GSMLOG=0"}));
    QVERIFY(!other.state().deviceLog);
}

QTEST_MAIN(SessionConnectTest)
#include "test_session_connect.moc"
