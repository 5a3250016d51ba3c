// Connecting to the terminal, as a technician does it: by hand at the chosen
// rate, automatically over every rate, with a terminal that answers, one that
// keeps quiet and one that will not enable its AT commands; disconnecting; and
// losing the adapter.

#include "PtyPair.h"
#include "SessionChecks.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QtTest>

using namespace sessioncheck;

namespace {

const QString kConnected = QStringLiteral("设备连接成功\r\n");
const QString kAsksToEnable =
    QStringLiteral("设备还未允许使用AT指令,正在自动要求设备允许使用AT指令\r\n");
const QString kStartsReading = QStringLiteral("设备已允许使用AT指令,正在读取设备参数\r\n");
const QString kWiringChecks =
    QStringLiteral("1.检查设备与USB工具连接是否正确\r\n2.检查串口是否选择正确\r\n");
const QString kSettingChecks = QStringLiteral("3.波特率是否选择正确\r\n4.站号是否选择正确\r\n");
const QString kStatusFailed = QStringLiteral(" 连接失败,请检查线路连接及串口编号是否正确");
const QString kStatusDisconnected = QStringLiteral(" 设备已断开 请重新连接");
const QString kAnswer = QStringLiteral("ENATCMD:1:1\r\nOK\r\n");

// The log of `count` queries of a connect attempt.
QStringList attempts(int count)
{
    QStringList log;
    for (int i = 0; i < count; ++i)
        log << QStringLiteral("正在连接设备……\r\n") << sentAt("ENATCMD?");
    return log;
}

// The controls a technician may use while the terminal is connected, and
// those left when it is not.
void expectControls(SimFixture &f, bool connected)
{
    auto &ui = f.ui();
    for (QWidget *w :
         {(QWidget *)ui.readButton, (QWidget *)ui.writeButton, (QWidget *)ui.readSNbutton,
          (QWidget *)ui.writeSNbutton, (QWidget *)ui.pushButton_3, (QWidget *)ui.pushButton_2,
          (QWidget *)ui.pushButton})
        QCOMPARE(w->isEnabled(), connected);
    for (QWidget *w :
         {(QWidget *)ui.connectButton, (QWidget *)ui.autoConnectButton, (QWidget *)ui.SerialComNum})
        QCOMPARE(w->isEnabled(), !connected);
    QVERIFY(ui.disConnectButton->isEnabled() && ui.pushButton_4->isEnabled());
}

} // namespace

class SessionConnectTest : public QObject
{
    Q_OBJECT

private slots:
    void manualConnectAndDisconnect();
    void manualConnectTimesOut();
    void autoConnectFindsTerminalAndReadsIt();
    void autoConnectTriesEveryRateThenGivesUp();
    void noPortChosen();
    void connectionReply_data();
    void connectionReply();
    void refusingTerminalIsGivenUp();
    void enableRequestsOfBatchReadCountToo();
    void disconnectOnStalledLine();
    void lostAdapter();
};

// Station 3 with AT commands off: they are asked for, the terminal's log goes
// off, nothing is read. Disconnected, the "打开日志" wish goes with the
// connection; connected again, nothing switches the log on.
void SessionConnectTest::manualConnectAndDisconnect()
{
    SimFixture f;
    f.sim.state().address = 3;
    f.sim.state().atEnabled = false;
    QVERIFY(f.connectManually());
    QVERIFY(f.waitIdle());
    f.runTicks(300);
    QCOMPARE(f.session().devAddress, quint8(3));
    QCOMPARE(f.ui().readAddress_1->value(), 3);
    QCOMPARE(statusText(f), QStringLiteral(" 设备连接成功"));
    QVERIFY(f.probe->serialPort().isOpen());
    expectControls(f, true);
    QCOMPARE(f.session().readStep, kReadStepIdle);
    const QStringList requests{"ENATCMD?", "ENATCMD=3,1", "GSMLOG=0"};
    QCOMPARE(lineRequests(f.sim), requests);
    const QStringList log = attempts(1) << kConnected << kAsksToEnable << sentAt("ENATCMD=3,1")
                                        << sentAt("GSMLOG=0") << QStringLiteral("设备日志已关闭");
    QCOMPARE(f.logMessages(), log);

    f.ui().checkBox_5->click();
    f.click(f.ui().disConnectButton);
    QCOMPARE(f.session().connectState, qint32(Disconnected));
    QVERIFY(!f.probe->serialPort().isOpen());
    QCOMPARE(statusText(f), kStatusDisconnected);
    expectControls(f, false);
    QVERIFY(!f.ui().checkBox_5->isChecked());
    QCOMPARE(f.logMessages().mid(log.size()),
             QStringList({sentAt("ENATCMD=3,0"), QStringLiteral("设备已经断开")}));
    // The command left before the port closed.
    QTRY_COMPARE(lineRequests(f.sim).last(), QStringLiteral("ENATCMD=3,0"));
    QVERIFY(!f.sim.state().atEnabled);
    // Again with the port closed: nothing reaches the line, nothing fails.
    f.click(f.ui().disConnectButton);
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备已经断开"));
    f.runTicks(20);
    QCOMPARE(f.sim.requests().size(), 4);
    QCOMPARE(f.boxes.count(), 0);

    f.sim.clearRequests();
    QVERIFY(f.connectManually());
    f.runTicks(400); // two device-log syncs
    QCOMPARE(lineRequests(f.sim), requests);
}

// A quiet terminal: two queries at the chosen rate, the other buttons ignored
// meanwhile, and an answer still incomplete when the attempt gives up on its
// sixth beat does not connect.
void SessionConnectTest::manualConnectTimesOut()
{
    SimFixture f;
    f.sim.setSilent(true);
    f.ui().BraudRate_1->setCurrentText(QStringLiteral("115200"));
    f.choosePort();
    f.click(f.ui().connectButton);
    f.click(f.ui().autoConnectButton);
    f.click(f.ui().connectButton);
    QCOMPARE(f.session().connectState, qint32(ManualConnecting));
    QCOMPARE(statusText(f), QStringLiteral(" 手动连接设备中，请等待"));
    QCOMPARE(f.ui().BraudRate_1->currentText(), QStringLiteral("115200"));
    f.runTicks(57);
    QCOMPARE(queryRates(f.sim), QList<int>({115200, 115200}));
    f.sim.sendGarbage(kAnswer.toLatin1());
    f.runTicks(2);
    QCOMPARE(f.boxes.count(), 0);
    f.runTicks(1);
    QCOMPARE(f.boxes.count(), 1);
    QCOMPARE(f.boxes.last().title, QStringLiteral("手动连接超时"));
    QCOMPARE(f.boxes.last().text, kWiringChecks + kSettingChecks);
    // In the window as soon as the box opens.
    const QStringList log =
        attempts(2) << QStringLiteral("手动连接超时\r\n\r\n") + kWiringChecks + kSettingChecks;
    QCOMPARE(f.boxes.last().log, log);

    f.runTicks(100);
    QCOMPARE(f.logMessages(), log);
    QCOMPARE(f.session().connectState, qint32(ConnectFailed));
    QCOMPARE(statusText(f), kStatusFailed);
    QVERIFY(!f.probe->serialPort().isOpen());
    expectControls(f, false);
    QCOMPARE(f.sim.requests().size(), 2);
    QCOMPARE(f.boxes.count(), 1);
}

// A terminal at 115200 with AT commands off: 9600 in two windows of two
// queries each, then 115200 answers, AT commands are asked for, and every
// parameter is read.
void SessionConnectTest::autoConnectFindsTerminalAndReadsIt()
{
    SimFixture f;
    TerminalSimulator::State &t = f.sim.state();
    t.baudCode = 3;
    t.address = 9;
    t.atEnabled = false;
    t.serialNumber = QStringLiteral("TV2401234");
    f.ui().BraudRate_1->setCurrentText(QStringLiteral("2400")); // the button starts over at 9600
    QVERIFY(f.connectAutomatically());
    QVERIFY(f.waitForLog(kReadDone));
    QVERIFY(f.waitIdle());
    QCOMPARE(f.ui().BraudRate_1->currentText(), QStringLiteral("115200"));
    QCOMPARE(f.session().braudRate, 115200);
    QCOMPARE(f.session().devAddress, quint8(9));
    QVERIFY(!f.session().has(SessionState::verifying));
    QCOMPARE(queryRates(f.sim), QList<int>({9600, 9600, 9600, 9600, 115200}));
    QCOMPARE(lineRequests(f.sim).mid(5),
             QStringList({"ENATCMD=9,1", "GSMLOG=0", "VER", kStationRead,
                          "RTU 09 03 01 01 00 01 D5 7E", "SN?", "OPENDEV?", "BEAT?", "DOMAIN?",
                          "PKEY?", "BEAT?", "SRVPRO?", "DEVTYPE?"}));
    QCOMPARE(f.logMessages().mid(0, 15), attempts(5)
                                             << kConnected << kAsksToEnable << sentAt("ENATCMD=9,1")
                                             << kStartsReading << sentAt("GSMLOG=0"));
    QCOMPARE(f.ui().readAddress_2->value(), 9);
    QCOMPARE(f.ui().lineEdit->text(), t.serialNumber);
}

// A quiet terminal: two queries at each rate, the first in two windows. An
// answer that comes in just before the walk leaves 9600 does not connect at
// 115200.
void SessionConnectTest::autoConnectTriesEveryRateThenGivesUp()
{
    SimFixture f;
    f.sim.setSilent(true);
    f.choosePort();
    f.click(f.ui().autoConnectButton);
    QCOMPARE(f.session().connectState, qint32(AutoConnecting));
    QCOMPARE(statusText(f), QStringLiteral(" 自动连接设备中，请等待"));
    f.runTicks(107);
    QCOMPARE(queryRates(f.sim), QList<int>({9600, 9600, 9600, 9600}));
    f.sim.sendGarbage(kAnswer.toLatin1());
    f.runTicks(2);
    QCOMPARE(f.session().braudRate, 9600);
    f.runTicks(1);
    QCOMPARE(f.session().braudRate, 115200);
    QVERIFY(f.runUntil([&f] { return f.boxes.count() == 1; }, 20000));
    QCOMPARE(f.boxes.last().title, QStringLiteral("自动连接超时"));
    QCOMPARE(f.boxes.last().text, kWiringChecks);
    QCOMPARE(queryRates(f.sim), QList<int>({9600, 9600, 9600, 9600, 115200, 115200, 1200, 1200,
                                            2400, 2400, 4800, 4800, 19200, 19200, 57600, 57600}));
    QCOMPARE(f.logMessages(), attempts(16)
                                  << QStringLiteral("自动连接超时\r\n\r\n") + kWiringChecks);
    QCOMPARE(f.session().connectState, qint32(ConnectFailed));
    QCOMPARE(statusText(f), kStatusFailed);
    QVERIFY(!f.probe->serialPort().isOpen());
    QCOMPARE(f.ui().BraudRate_1->currentText(), QStringLiteral("57600"));
    QCOMPARE(f.session().braudRate, 57600);
    f.runTicks(100);
    QCOMPARE(f.sim.requests().size(), 16);
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
    f.click(f.ui().connectButton);
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

// Odd answers to "ENATCMD?" (odd firmware, a noisy adapter) with station 7
// chosen: an address no terminal can have is not taken, and a reply cut short
// after the address says nothing of AT commands, so they are asked for.
void SessionConnectTest::connectionReply_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("atEnabled");
    QTest::newRow("zero byte first") << QByteArray("\0ENATCMD:3:1\r\nOK\r\n", 18) << 3 << true;
    QTest::newRow("cut after the address") << QByteArray("ENATCMD:3\r\n") << 3 << false;
    QTest::newRow("255") << QByteArray("ENATCMD:255:1\r\nOK\r\n") << 7 << true;
    QTest::newRow("0") << QByteArray("ENATCMD:0:1\r\nOK\r\n") << 7 << true;
    QTest::newRow("not a number") << QByteArray("ENATCMD:x:1\r\nOK\r\n") << 7 << true;
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
                         if (request.text == QLatin1String("AT+ENATCMD?"))
                             f.sim.sendGarbage(answer);
                     });
    f.ui().readAddress_1->setValue(7);
    QVERIFY(f.connectManually());
    f.runTicks(20);
    QCOMPARE(f.session().devAddress, quint8(address));
    QCOMPARE(f.ui().readAddress_1->value(), address);
    QCOMPARE(f.session().has(SessionState::atEnabled), atEnabled);
    QCOMPARE(lineRequests(f.sim).last(),
             atEnabled ? QStringLiteral("GSMLOG=0") : QStringLiteral("ENATCMD=3,1"));
    f.click(f.ui().disConnectButton);
    QTRY_COMPARE(lineRequests(f.sim).last(), QStringLiteral("ENATCMD=%1,0").arg(address));
}

// Eleven requests, then the terminal is told to drop AT commands, and that
// last command reaches it although the port closed right after.
void SessionConnectTest::refusingTerminalIsGivenUp()
{
    SimFixture f;
    f.sim.state().address = 5;
    f.sim.state().atEnabled = false;
    f.sim.setRefuseAtEnable(true);
    f.choosePort();
    f.click(f.ui().connectButton);
    QVERIFY(f.runUntil([&f] { return f.session().connectState == Disconnected; }));
    QVERIFY(!f.probe->serialPort().isOpen());
    QCOMPARE(statusText(f), kStatusDisconnected);
    expectControls(f, false);
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备使能AT指令超时"));
    QStringList expected;
    for (int i = 0; i < 11; ++i)
        expected << QStringLiteral("ENATCMD=5,1");
    expected << QStringLiteral("ENATCMD=5,0");
    QTRY_COMPARE(startingWith(lineRequests(f.sim), "ENATCMD="), expected);
    f.runTicks(100);
    QCOMPARE(startingWith(lineRequests(f.sim), "ENATCMD="), expected);
    QCOMPARE(f.logCount(QStringLiteral("设备使能AT指令超时")), 1);
    QCOMPARE(f.boxes.count(), 0);
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
    QCOMPARE(f.session().atEnableCount, quint16(1));
    f.probe->tick100ms() = 0;
    f.click(f.ui().readButton);
    QList<int> requestBeats; // the beat on which each further request went out
    for (int beat = 1; beat <= 400 && f.session().connectState == Connected; ++beat) {
        const quint16 before = f.session().atEnableCount;
        f.runTicks(10);
        if (f.session().atEnableCount != before)
            requestBeats << beat;
    }
    QCOMPARE(f.session().connectState, qint32(Disconnected));
    QCOMPARE(requestBeats, QList<int>({21, 42, 63, 84, 105, 126, 147, 168, 189, 210, 231}));
    QVERIFY(!f.logContains(sentAt("VER")));
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备使能AT指令超时"));
}

// An adapter that takes no more bytes: the last command cannot leave in
// time, and the disconnect still ends without an error about the port.
void SessionConnectTest::disconnectOnStalledLine()
{
    SimFixture f;
    PtyPair stalled; // nobody reads its other end
    QVERIFY(stalled.isValid());
    f.choosePort(stalled.slavePath());
    f.click(f.ui().connectButton);
    f.probe->serialPort().write(QByteArray(512 * 1024, 'x'));
    QTest::qWait(200);
    QVERIFY(f.probe->serialPort().bytesToWrite() > 0);
    f.click(f.ui().disConnectButton);
    QVERIFY(!f.probe->serialPort().isOpen());
    QCOMPARE(f.logMessages().last(), QStringLiteral("设备已经断开"));
    QTest::qWait(200);
    QCOMPARE(f.boxes.count(), 0);
    QCOMPARE(f.session().connectState, qint32(Disconnected));
}

// The adapter pulled while its answer is still coming in: the attempt ends
// and the answer does not connect the closed port. Then with another adapter,
// pulled while connected: the connection ends, and the log wish with it.
void SessionConnectTest::lostAdapter()
{
    SimFixture f;
    f.sim.setSilent(true);
    f.choosePort();
    f.click(f.ui().connectButton);
    f.runTicks(20);
    QTRY_COMPARE(queryRates(f.sim).size(), 1);
    f.sim.sendGarbage(kAnswer.toLatin1());
    f.settleLine();
    f.sim.dropLine();
    QVERIFY(f.runUntil([&f] { return f.boxes.count() == 1; }));
    f.runTicks(30);
    QCOMPARE(f.session().connectState, qint32(ConnectFailed));
    QVERIFY(!f.logContains(kConnected));

    TerminalSimulator other;
    QVERIFY(other.openPty());
    f.choosePort(other.slavePath());
    f.click(f.ui().connectButton);
    QVERIFY(f.runUntil([&f] { return f.session().connectState == Connected; }));
    f.ui().checkBox_5->click();
    other.dropLine();
    QVERIFY(f.runUntil([&f] { return f.boxes.count() == 2; }));
    for (const BoxCatcher::Box &box : f.boxes.boxes()) {
        QCOMPARE(box.title, QStringLiteral("串口操作错误"));
        QVERIFY(box.text.startsWith(QStringLiteral("请检查当前选择的串口是否可用!\r\n\r\n")));
    }
    QCOMPARE(f.session().connectState, qint32(ConnectFailed));
    QCOMPARE(statusText(f), kStatusFailed);
    QVERIFY(!f.probe->serialPort().isOpen());
    expectControls(f, false);
    QVERIFY(!f.ui().checkBox_5->isChecked());
    QVERIFY(!f.session().has(SessionState::logWanted));
}

QTEST_MAIN(SessionConnectTest)
#include "test_session_connect.moc"
