// The batch write as a technician runs it against the simulated terminal:
// tick the parameters in "修改参数", press "批量写入", watch the commands go out
// one step at a time, then the read-back, and read the verdict in the log and
// in the box. Every write that goes out ends by the step time-out (the
// terminal's answer to a write is never taken as a reply), so each one costs
// about two seconds.

#include "SimFixture.h"
#include "TestSettings.h"

#include <QtTest>

#include <memory>

namespace {

// A write of every parameter sends eight commands, each ended by the step
// time-out, then reads back: generous, as the machine may be busy.
constexpr int kWriteTimeoutMs = 90000;
constexpr int kReadTimeoutMs = 30000;

const QString kWriteStarted = QStringLiteral("批量写入参数开始");
const QString kAllWritesSent = QStringLiteral("已发完所选写入参数,正在校验所写参数\r\n");
const QString kReadStarted = QStringLiteral("批量读取参数开始");
const QString kReadDone = QStringLiteral("已发完批量读取命令\r\n");
const QString kWriteSucceeded = QStringLiteral("批量写入成功\r\n");
const QString kFailureCount = QStringLiteral("批量写入失败数量：\r\n");

// Modbus requests as they go on the line, CRC included.
const QString kWriteAddress1 = QStringLiteral("01 06 01 00 00 01 49 F6");
const QString kWriteAddress7 = QStringLiteral("01 06 01 00 00 07 C9 F4");
const QString kWriteBaud9600 = QStringLiteral("01 06 01 01 00 02 58 37");
const QString kWriteBaud115200 = QStringLiteral("01 06 01 01 00 03 99 F7");
const QString kReadAddressAtStation0 = QStringLiteral("00 03 01 00 00 01 84 27");
const QString kReadBaudAtStation1 = QStringLiteral("01 03 01 01 00 01 D4 36");
const QString kReadBaudAtStation7 = QStringLiteral("07 03 01 01 00 01 D4 50");

} // namespace

class BatchTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void verificationComparesEveryCheckInBitOrder();
    void silentReadBackConfirmsNothing();
    void valuesThatCannotGoOutStopTheWrite();
    void writeWithNothingTickedSendsNothing();
    void stepsAdvanceByTheBeat();
    void writeButtonDuringReadEndsTheRead();
    void writeOfEveryParameterGoesOutInStepOrder();
    void twoIgnoredWritesAreBothReported();
    void keyAloneIsWrittenWithTrailingCommaAndReadAtStep23();
    void intervalIsWrittenWithTheKeyAndReadOnce();
    void protocolAndDeviceTypeAreComparedByPosition();
    void newStationAddressIsConfirmedByAFreshRead();
    void changedBaudRateIsReportedUntilReconnected();
    void readButtonDuringWriteEndsItWithoutVerification();
    void readButtonDuringReadBackRestartsIt();
    void disconnectEndsTheWrite();

private:
    bool connectAndRead();
    bool runWrite();
    bool waitForCount(const QString &message, int count, int timeoutMs);
    // Device type 5 and MQTT login name "dev-x", ticked for writing.
    void tickDeviceTypeAndName();
    // "<selector> <request>" for each request since recordSteps().
    QStringList steps() const;
    QStringList logSince(int entries) const { return f->logMessages().mid(entries); }

    std::unique_ptr<SimFixture> f;
};

void BatchTest::initTestCase()
{
    isolateSettings();
}

void BatchTest::init()
{
    QFile::remove(settingsFilePath());
    f = std::make_unique<SimFixture>();
}

void BatchTest::cleanup()
{
    f.reset();
}

// Connects by hand and runs a plain batch read, so that "设备参数" shows what
// the terminal holds, as it does before a technician writes.
bool BatchTest::connectAndRead()
{
    if (!f->connectManually() || !f->waitIdle())
        return false;
    const int reads = f->logCount(kReadDone);
    f->click(f->ui().readButton);
    return waitForCount(kReadDone, reads + 1, kReadTimeoutMs) && f->waitIdle();
}

// Presses "批量写入" and waits until the read-back has been verified.
bool BatchTest::runWrite()
{
    f->recordSteps();
    f->click(f->ui().writeButton);
    return f->runUntil(
        [this] {
            const SessionState &s = f->session();
            return s.writeStep == kWriteStepDone && s.readStep >= kReadStepIdle &&
                   !s.has(SessionState::verifying);
        },
        kWriteTimeoutMs);
}

void BatchTest::tickDeviceTypeAndName()
{
    auto &ui = f->ui();
    ui.BraudRate_10->setCurrentIndex(5);
    ui.textEdit_5->setPlainText(QStringLiteral("dev-x"));
    f->click(ui.checkBox_13);
    f->click(ui.checkBox_14);
}

bool BatchTest::waitForCount(const QString &message, int count, int timeoutMs)
{
    return f->runUntil([&] { return f->logCount(message) >= count; }, timeoutMs);
}

QStringList BatchTest::steps() const
{
    QStringList list;
    for (const SimFixture::SentStep &step : f->sentSteps)
        list << QString::number(step.selector) + QLatin1Char(' ') + step.text;
    return list;
}

void BatchTest::verificationComparesEveryCheckInBitOrder()
{
    auto &ui = f->ui();
    SessionState &session = f->session();

    // What was to be written differs everywhere from what was read back.
    ui.readAddress_3->setValue(5);
    ui.readAddress_2->setValue(6);
    ui.BraudRate_3->setCurrentIndex(ui.BraudRate_3->findText(QStringLiteral("4800")));
    ui.braudRate_2->setItemText(0, QStringLiteral("9600"));
    ui.BraudRate_4->setCurrentIndex(3);
    ui.BraudRate_5->setCurrentIndex(2);
    ui.BraudRate_10->setCurrentIndex(1);
    ui.BraudRate_9->setCurrentIndex(0);
    ui.readAddress_5->setValue(300);
    session.devUpDataInterval = 30;
    ui.textEdit_2->setPlainText(QStringLiteral("a.example.net"));
    session.devSrvAddr = QStringLiteral("b.example.net");
    ui.textEdit_3->setPlainText(QStringLiteral("4001"));
    session.devSrvPort = 4002;
    ui.textEdit_5->setPlainText(QStringLiteral("Admin")); // differs in case only
    session.devMqttName = QStringLiteral("admin");
    ui.textEdit_4->setPlainText(QStringLiteral("key1"));
    session.devMqttCode = QStringLiteral("key1 "); // a trailing blank counts
    ui.SNlineEdit->setText(QStringLiteral("TV1"));
    ui.lineEdit->setText(QStringLiteral("TV2"));
    session.answeredMask = 0x3FF; // the terminal answered every one of them

    // Nothing selected, nothing compared.
    session.writeMask = 0;
    int entries = f->logMessages().size();
    f->probe->verifyWrite();
    QCOMPARE(logSince(entries), QStringList{kWriteSucceeded});
    QCOMPARE(f->boxes.count(), 0);

    session.writeMask = 0x3FF;
    entries = f->logMessages().size();
    f->probe->verifyWrite();
    const QString count = kFailureCount + QStringLiteral("10");
    QCOMPARE(
        logSince(entries),
        (QStringList{
            QStringLiteral("设备站号写入失败\r\n"), QStringLiteral("波特率写入失败\r\n"),
            QStringLiteral("服务器通信协议写入失败\r\n"), QStringLiteral("设备类型写入失败\r\n"),
            QStringLiteral("上传间隔写入失败\r\n"), QStringLiteral("服务器地址写入失败\r\n"),
            QStringLiteral("服务器端口写入失败\r\n"), QStringLiteral("mqttName写入失败\r\n"),
            QStringLiteral("mqttCode写入失败\r\n"), QStringLiteral("SN写入失败\r\n"), count}));
    QTRY_COMPARE(f->boxes.count(), 1);
    QCOMPARE(f->boxes.last().title, QStringLiteral("写入失败"));
    QCOMPARE(f->boxes.last().text, count);

    // Only the selected parameters count: two of them fail.
    session.writeMask = WriteBit::srvPort | WriteBit::devType;
    entries = f->logMessages().size();
    f->probe->verifyWrite();
    QCOMPARE(logSince(entries), (QStringList{QStringLiteral("设备类型写入失败\r\n"),
                                             QStringLiteral("服务器端口写入失败\r\n"),
                                             kFailureCount + QStringLiteral("2")}));
    QTRY_COMPARE(f->boxes.count(), 2);
    QCOMPARE(f->boxes.last().text, kFailureCount + QStringLiteral("2"));

    // The same values confirm a write only if the terminal answered them in
    // this read-back: the interval still shown from an earlier read does not.
    ui.readAddress_5->setValue(30);
    session.devSrvPort = 4001;
    session.writeMask = WriteBit::srvPort | WriteBit::upDataInterval;
    session.answeredMask = WriteBit::srvPort;
    entries = f->logMessages().size();
    f->probe->verifyWrite();
    QCOMPARE(logSince(entries), (QStringList{QStringLiteral("上传间隔写入失败\r\n"),
                                             kFailureCount + QStringLiteral("1")}));
    session.answeredMask = WriteBit::srvPort | WriteBit::upDataInterval;
    entries = f->logMessages().size();
    f->probe->verifyWrite();
    QCOMPARE(logSince(entries), QStringList{kWriteSucceeded});
}

// A terminal that ignores the write and then keeps quiet: the server address
// shown from the read before is the one written, and still nothing confirms it.
void BatchTest::silentReadBackConfirmsNothing()
{
    QVERIFY(connectAndRead());
    auto &ui = f->ui();
    ui.textEdit_2->setPlainText(ui.textBrowser->toPlainText());
    ui.textEdit_3->setPlainText(ui.textBrowser_5->toPlainText());
    f->click(ui.checkBox_3);
    f->sim.setSilent(true);
    const int entries = f->logMessages().size();
    QVERIFY(runWrite());
    QCOMPARE(logSince(entries).mid(logSince(entries).size() - 4),
             (QStringList{kReadDone, QStringLiteral("服务器地址写入失败\r\n"),
                          QStringLiteral("服务器端口写入失败\r\n"),
                          kFailureCount + QStringLiteral("2")}));
    QTRY_COMPARE(f->boxes.count(), 1);
}

// Values that would reach the terminal as something else than typed stop the
// write before anything goes out, each named in the log.
void BatchTest::valuesThatCannotGoOutStopTheWrite()
{
    QVERIFY(f->connectManually());
    QVERIFY(f->waitIdle());
    auto &ui = f->ui();
    for (QCheckBox *box : {ui.checkBox_3, ui.checkBox_14, ui.checkBox_15})
        f->click(box);
    const struct
    {
        QTextEdit *edit;
        QString value;
        QString line;
    } cases[] = {
        {ui.textEdit_2, QStringLiteral("mq.example\nAT+ENATCMD=1,0"),
         QStringLiteral("服务器地址含有换行符,不能写入")},
        {ui.textEdit_3, QStringLiteral("70000"),
         QStringLiteral("服务器端口必须是1到65535之间的数字,不能写入")},
        {ui.textEdit_3, QStringLiteral("18 83"),
         QStringLiteral("服务器端口必须是1到65535之间的数字,不能写入")},
        {ui.textEdit_5, QStringLiteral("dev,1"), QStringLiteral("MQTT登录名含有逗号,不能写入")},
        {ui.textEdit_4, QStringLiteral("k\r1"), QStringLiteral("MQTT登录密钥含有换行符,不能写入")},
    };
    for (const auto &c : cases) {
        ui.textEdit_2->setPlainText(QStringLiteral("mq.example"));
        ui.textEdit_3->setPlainText(QStringLiteral("1883"));
        ui.textEdit_5->setPlainText(QStringLiteral("dev-1"));
        ui.textEdit_4->setPlainText(QStringLiteral("k1"));
        c.edit->setPlainText(c.value);
        const int entries = f->logMessages().size();
        f->click(ui.writeButton);
        QCOMPARE(logSince(entries), (QStringList{c.line, QStringLiteral("批量写入未开始")}));
        QCOMPARE(f->session().writeStep, quint16(0));
    }
    ui.SNlineEdit->setText(QStringLiteral("TV1\nX"));
    const int entries = f->logMessages().size();
    f->click(ui.writeSNbutton);
    QCOMPARE(logSince(entries), QStringList{QStringLiteral("SN含有换行符,不能写入")});
}

void BatchTest::writeWithNothingTickedSendsNothing()
{
    QVERIFY(f->connectManually());
    QVERIFY(f->waitIdle());
    QCOMPARE(f->session().writeMask, quint16(0));
    const int entries = f->logMessages().size();

    QVERIFY(runWrite());
    QCOMPARE(logSince(entries),
             (QStringList{kWriteStarted, kAllWritesSent, kReadDone, kWriteSucceeded}));
    QVERIFY(f->sentSteps.isEmpty());
    QCOMPARE(f->boxes.count(), 0);
}

// The tick driven by hand, beat by beat, with the terminal's answers left
// unread: the counts of beats are exact.
void BatchTest::stepsAdvanceByTheBeat()
{
    QVERIFY(f->connectManually());
    QVERIFY(f->waitIdle());
    f->probe->tickTimer().stop();
    f->probe->tick100ms() = 0;
    const auto beats = [this](int count) {
        for (int i = 0; i < count * 10; ++i)
            f->probe->tick();
    };
    auto &ui = f->ui();

    // Nothing ticked: nine silent write steps, the read-back begins on the
    // tenth beat, and its thirteen silent steps end 13 beats later.
    f->click(ui.writeButton);
    beats(9);
    QCOMPARE(f->logCount(kAllWritesSent), 0);
    beats(1);
    QCOMPARE(f->logMessages().last(), kAllWritesSent);
    QVERIFY(f->session().has(SessionState::verifying));
    beats(12);
    QCOMPARE(f->logCount(kReadDone), 0);
    beats(1);
    const QStringList log = f->logMessages();
    QCOMPARE(log.mid(log.size() - 2), (QStringList{kReadDone, kWriteSucceeded}));

    // A write that goes out holds its step for 21 beats.
    ui.BraudRate_10->setCurrentIndex(3);
    ui.SNlineEdit->setText(QStringLiteral("TV9"));
    f->click(ui.checkBox_13);
    f->click(ui.checkBox_8);
    f->click(ui.writeButton);
    beats(1);
    QCOMPARE(f->logMessages().last(), QStringLiteral("发送AT指令:AT+DEVTYPE=3\r\n"));
    QCOMPARE(f->probe->waitSelector(), 28);
    beats(20);
    QCOMPARE(f->session().writeStep, quint16(28));
    QCOMPARE(f->logMessages().last(), QStringLiteral("发送AT指令:AT+DEVTYPE=3\r\n"));
    beats(1);
    QCOMPARE(f->logMessages().last(), QStringLiteral("发送AT指令:AT+SN=TV9\r\n"));
    QCOMPARE(f->probe->waitSelector(), 29);
}

void BatchTest::writeButtonDuringReadEndsTheRead()
{
    QVERIFY(f->connectManually());
    QVERIFY(f->waitIdle());
    f->recordSteps();
    f->click(f->ui().readButton);
    QVERIFY(f->runUntil([this] { return !f->sentSteps.isEmpty(); }, 10000));
    const int entries = f->logMessages().size();

    f->click(f->ui().writeButton);
    QCOMPARE(f->session().readStep, kReadStepIdle);
    QVERIFY(f->runUntil(
        [this] {
            const SessionState &s = f->session();
            return s.writeStep == kWriteStepDone && s.readStep >= kReadStepIdle &&
                   !s.has(SessionState::verifying);
        },
        kWriteTimeoutMs));
    // Only the first read went out; the write with nothing ticked follows.
    QCOMPARE(steps(), QStringList{QStringLiteral("13 AT+VER")});
    const QStringList log = logSince(entries);
    QCOMPARE(log.first(), kWriteStarted);
    QCOMPARE(log.count(kReadDone), 1);
    QCOMPARE(log.last(), kWriteSucceeded);
}

void BatchTest::writeOfEveryParameterGoesOutInStepOrder()
{
    QVERIFY(connectAndRead());
    auto &ui = f->ui();
    // The station address and the rate the terminal already has.
    QCOMPARE(ui.readAddress_2->value(), 1);
    QCOMPARE(ui.braudRate_2->currentText(), QStringLiteral("9600"));
    ui.readAddress_3->setValue(1);
    ui.BraudRate_3->setCurrentIndex(ui.BraudRate_3->findText(QStringLiteral("9600")));
    // Everything else new.
    ui.BraudRate_4->setCurrentIndex(2);
    ui.BraudRate_10->setCurrentIndex(4);
    ui.readAddress_5->setValue(120);
    ui.textEdit_2->setPlainText(QStringLiteral("srv.example.net"));
    ui.textEdit_3->setPlainText(QStringLiteral("4001"));
    ui.textEdit_5->setPlainText(QStringLiteral("dev-0042"));
    ui.textEdit_4->setPlainText(QStringLiteral("Zk93pQ"));
    QTest::keyClicks(ui.SNlineEdit, QStringLiteral("TV2400042"));
    for (QCheckBox *box : {ui.checkBox, ui.checkBox_2, ui.checkBox_7, ui.checkBox_13,
                           ui.checkBox_16, ui.checkBox_3, ui.checkBox_14, ui.checkBox_8})
        f->click(box);
    QCOMPARE(f->session().writeMask, quint16(0x3FF));
    const int entries = f->logMessages().size();

    QVERIFY(runWrite());
    // The MQTT key goes with the interval at step 33, so step 36 stays silent;
    // the read-back asks for the station address and the rate afresh and for
    // every other written parameter once.
    QCOMPARE(steps(), (QStringList{
                          QStringLiteral("28 AT+DEVTYPE=4"),
                          QStringLiteral("29 AT+SN=TV2400042"),
                          QStringLiteral("30 ") + kWriteAddress1,
                          QStringLiteral("31 ") + kWriteBaud9600,
                          QStringLiteral("32 AT+SRVPRO=2"),
                          QStringLiteral("33 AT+BEAT=Zk93pQ,120"),
                          QStringLiteral("34 AT+DOMAIN=srv.example.net:4001"),
                          QStringLiteral("35 AT+PKEY=dev-0042,"),
                          QStringLiteral("14 ") + kReadAddressAtStation0,
                          QStringLiteral("15 ") + kReadBaudAtStation1,
                          QStringLiteral("16 AT+SN?"),
                          QStringLiteral("20 AT+BEAT?"),
                          QStringLiteral("21 AT+DOMAIN?"),
                          QStringLiteral("22 AT+PKEY?"),
                          QStringLiteral("24 AT+SRVPRO?"),
                          QStringLiteral("25 AT+DEVTYPE?"),
                      }));
    QCOMPARE(f->sentSteps.at(2).raw, QByteArray::fromHex("01060100000149F6"));
    QCOMPARE(f->sentSteps.at(3).raw, QByteArray::fromHex("0106010100025837"));

    const QStringList log = logSince(entries);
    QCOMPARE(log.first(), kWriteStarted);
    QVERIFY(log.contains(QStringLiteral("发送AT指令:AT+DEVTYPE=4\r\n")));
    QCOMPARE(log.count(QStringLiteral("发送RS485指令:6")), 2);
    QCOMPARE(log.count(kAllWritesSent), 1);
    QCOMPARE(log.mid(log.size() - 2), (QStringList{kReadDone, kWriteSucceeded}));
    QCOMPARE(f->boxes.count(), 0);

    const TerminalSimulator::State &terminal = f->sim.state();
    QCOMPARE(terminal.deviceType, 4);
    QCOMPARE(terminal.serialNumber, QStringLiteral("TV2400042"));
    QCOMPARE(terminal.address, 1);
    QCOMPARE(terminal.baudCode, 2);
    QCOMPARE(terminal.serverProtocol, 2);
    QCOMPARE(terminal.mqttKey, QStringLiteral("Zk93pQ"));
    QCOMPARE(terminal.uploadInterval, 120);
    QCOMPARE(terminal.serverHost, QStringLiteral("srv.example.net"));
    QCOMPARE(terminal.serverPort, 4001);
    QCOMPARE(terminal.mqttLoginName, QStringLiteral("dev-0042"));
    QCOMPARE(f->session().wMqttName, QStringLiteral("dev-0042"));

    // "设备参数" now shows what was written.
    QCOMPARE(ui.lineEdit->text(), QStringLiteral("TV2400042"));
    QCOMPARE(ui.textBrowser->toPlainText(), QStringLiteral("srv.example.net"));
    QCOMPARE(ui.textBrowser_6->toPlainText(), QStringLiteral("Zk93pQ"));
    QCOMPARE(ui.readAddress_4->value(), 120);
}

void BatchTest::twoIgnoredWritesAreBothReported()
{
    QVERIFY(connectAndRead());
    auto &ui = f->ui();
    f->sim.setIgnoredWrites({QStringLiteral("SN"), QStringLiteral("PKEY")});
    ui.SNlineEdit->setText(QStringLiteral("TV2400099"));
    ui.textEdit_5->setPlainText(QStringLiteral("dev-0099"));
    f->click(ui.checkBox_8);
    f->click(ui.checkBox_14);
    QCOMPARE(f->session().writeMask, quint16(WriteBit::serialNumber | WriteBit::mqttName));
    const int entries = f->logMessages().size();

    QVERIFY(runWrite());
    QCOMPARE(steps(), (QStringList{QStringLiteral("29 AT+SN=TV2400099"),
                                   QStringLiteral("35 AT+PKEY=dev-0099,"),
                                   QStringLiteral("16 AT+SN?"), QStringLiteral("22 AT+PKEY?")}));
    const QString count = kFailureCount + QStringLiteral("2");
    const QStringList log = logSince(entries);
    QCOMPARE(log.mid(log.size() - 4),
             (QStringList{kReadDone, QStringLiteral("mqttName写入失败\r\n"),
                          QStringLiteral("SN写入失败\r\n"), count}));
    QVERIFY(!log.contains(kWriteSucceeded));
    QTRY_COMPARE(f->boxes.count(), 1);
    QCOMPARE(f->boxes.last().title, QStringLiteral("写入失败"));
    QCOMPARE(f->boxes.last().text, count);
    QCOMPARE(f->sim.state().serialNumber, QStringLiteral("TV2400001"));
    QCOMPARE(f->sim.state().mqttLoginName, QStringLiteral("tv2400001"));
}

void BatchTest::keyAloneIsWrittenWithTrailingCommaAndReadAtStep23()
{
    QVERIFY(connectAndRead());
    auto &ui = f->ui();
    ui.textEdit_4->setPlainText(QStringLiteral("NewKey77"));
    f->click(ui.checkBox_15);
    QCOMPARE(f->session().writeMask, quint16(WriteBit::mqttCode));

    QVERIFY(runWrite());
    QCOMPARE(steps(),
             (QStringList{QStringLiteral("36 AT+BEAT=NewKey77,"), QStringLiteral("23 AT+BEAT?")}));
    QCOMPARE(f->logMessages().last(), kWriteSucceeded);
    QCOMPARE(f->sim.state().mqttKey, QStringLiteral("NewKey77"));
    QCOMPARE(f->sim.state().uploadInterval, 60);
    QCOMPARE(f->session().wMqttCode, QStringLiteral("NewKey77"));
    QCOMPARE(ui.textBrowser_6->toPlainText(), QStringLiteral("NewKey77"));
}

void BatchTest::intervalIsWrittenWithTheKeyAndReadOnce()
{
    QVERIFY(connectAndRead());
    auto &ui = f->ui();
    ui.readAddress_5->setValue(300);
    f->click(ui.checkBox_16); // ticks "MQTT登录密钥：" too
    QVERIFY(ui.checkBox_15->isChecked());
    QCOMPARE(f->session().writeMask, quint16(WriteBit::upDataInterval | WriteBit::mqttCode));

    QVERIFY(runWrite());
    QCOMPARE(steps(),
             (QStringList{QStringLiteral("33 AT+BEAT=velkr,300"), QStringLiteral("20 AT+BEAT?")}));
    QCOMPARE(f->logMessages().last(), kWriteSucceeded);
    QCOMPARE(f->sim.state().uploadInterval, 300);
    QCOMPARE(f->sim.state().mqttKey, QStringLiteral("velkr"));
    QCOMPARE(ui.readAddress_4->value(), 300);
}

void BatchTest::protocolAndDeviceTypeAreComparedByPosition()
{
    QVERIFY(connectAndRead());
    auto &ui = f->ui();
    ui.BraudRate_4->setCurrentIndex(1);
    ui.BraudRate_10->setCurrentIndex(7);
    QCOMPARE(ui.BraudRate_4->currentText(), QStringLiteral("TCP-JT808"));
    f->click(ui.checkBox_7);
    f->click(ui.checkBox_13);

    QVERIFY(runWrite());
    QCOMPARE(steps(),
             (QStringList{QStringLiteral("28 AT+DEVTYPE=7"), QStringLiteral("32 AT+SRVPRO=1"),
                          QStringLiteral("24 AT+SRVPRO?"), QStringLiteral("25 AT+DEVTYPE?")}));
    QCOMPARE(f->logMessages().last(), kWriteSucceeded);
    QCOMPARE(f->boxes.count(), 0);
    // Same positions, different wording in the two lists.
    QCOMPARE(ui.BraudRate_5->currentIndex(), 1);
    QCOMPARE(ui.BraudRate_5->currentText(), QStringLiteral("TCP_JT808"));
    QCOMPARE(ui.BraudRate_9->currentIndex(), 7);
    QVERIFY(ui.BraudRate_9->currentText() != ui.BraudRate_10->currentText());
    QCOMPARE(f->sim.state().serverProtocol, 1);
    QCOMPARE(f->sim.state().deviceType, 7);
}

void BatchTest::newStationAddressIsConfirmedByAFreshRead()
{
    QVERIFY(connectAndRead());
    auto &ui = f->ui();
    ui.readAddress_3->setValue(7);
    f->click(ui.checkBox);
    QCOMPARE(f->session().writeMask, quint16(WriteBit::devAddress));

    QVERIFY(runWrite());
    // The write goes to the address in use; the read-back asks station 0,
    // which the terminal answers under its new address.
    QCOMPARE(steps(), (QStringList{QStringLiteral("30 ") + kWriteAddress7,
                                   QStringLiteral("14 ") + kReadAddressAtStation0}));
    QCOMPARE(f->sim.state().address, 7);
    QVERIFY(f->logContains(QStringLiteral("设备地址为：7\r\n")));
    QCOMPARE(f->logMessages().last(), kWriteSucceeded);
    QCOMPARE(f->boxes.count(), 0);
    QCOMPARE(ui.readAddress_2->value(), 7);
    QCOMPARE(f->session().devAddress, quint8(7));

    // The commands that follow reach the terminal at its new address.
    const int reads = f->logCount(kReadDone);
    f->recordSteps();
    f->click(ui.readButton);
    QVERIFY(waitForCount(kReadDone, reads + 1, kReadTimeoutMs));
    QVERIFY(steps().contains(QStringLiteral("15 ") + kReadBaudAtStation7));
    const QList<TerminalSimulator::Request> &requests = f->sim.requests();
    const auto baudRead = std::find_if(requests.begin(), requests.end(),
                                       [](const auto &r) { return r.text == kReadBaudAtStation7; });
    QVERIFY(baudRead != requests.end());
    QVERIFY(baudRead->answered);
}

void BatchTest::changedBaudRateIsReportedUntilReconnected()
{
    QVERIFY(connectAndRead());
    auto &ui = f->ui();
    ui.BraudRate_3->setCurrentIndex(ui.BraudRate_3->findText(QStringLiteral("115200")));
    f->click(ui.checkBox_2);
    QCOMPARE(f->session().writeMask, quint16(WriteBit::braudRate));

    QVERIFY(runWrite());
    // The terminal moves to its new rate at once, so the fresh read at the
    // old rate goes unanswered and the rate shown stays the old one.
    QCOMPARE(steps(), (QStringList{QStringLiteral("31 ") + kWriteBaud115200,
                                   QStringLiteral("15 ") + kReadBaudAtStation1}));
    QVERIFY(!f->sim.requests().last().answered);
    QCOMPARE(f->sim.state().baudCode, 3);
    const QString count = kFailureCount + QStringLiteral("1");
    const QStringList log = f->logMessages();
    QCOMPARE(log.mid(log.size() - 3),
             (QStringList{kReadDone, QStringLiteral("波特率写入失败\r\n"), count}));
    QTRY_COMPARE(f->boxes.count(), 1);
    QCOMPARE(f->boxes.last().text, count);
    QCOMPARE(ui.braudRate_2->currentText(), QStringLiteral("9600"));

    // Reconnecting automatically finds the terminal at its new rate and reads
    // it back.
    f->click(ui.disConnectButton);
    QCOMPARE(f->session().connectState, qint32(Disconnected));
    const int reads = f->logCount(kReadDone);
    QVERIFY(f->connectAutomatically(30000));
    QCOMPARE(ui.BraudRate_1->currentText(), QStringLiteral("115200"));
    QVERIFY(waitForCount(kReadDone, reads + 1, kReadTimeoutMs));
    QCOMPARE(ui.braudRate_2->currentText(), QStringLiteral("115200"));
}

void BatchTest::readButtonDuringWriteEndsItWithoutVerification()
{
    QVERIFY(connectAndRead());
    auto &ui = f->ui();
    tickDeviceTypeAndName();
    const int reads = f->logCount(kReadDone);
    const int entries = f->logMessages().size();

    f->recordSteps();
    f->click(ui.writeButton);
    QVERIFY(f->runUntil([this] { return !f->sentSteps.isEmpty(); }, 10000));
    QCOMPARE(steps(), QStringList{QStringLiteral("28 AT+DEVTYPE=5")});
    f->click(ui.readButton);
    QCOMPARE(f->session().writeStep, quint16(0));

    QVERIFY(waitForCount(kReadDone, reads + 1, kReadTimeoutMs));
    QVERIFY(f->waitIdle());
    // The read waits out the write's own reply, then walks every read step.
    QCOMPARE(steps(), (QStringList{
                          QStringLiteral("28 AT+DEVTYPE=5"),
                          QStringLiteral("13 AT+VER"),
                          QStringLiteral("14 ") + kReadAddressAtStation0,
                          QStringLiteral("15 ") + kReadBaudAtStation1,
                          QStringLiteral("16 AT+SN?"),
                          QStringLiteral("18 AT+OPENDEV?"),
                          QStringLiteral("20 AT+BEAT?"),
                          QStringLiteral("21 AT+DOMAIN?"),
                          QStringLiteral("22 AT+PKEY?"),
                          QStringLiteral("23 AT+BEAT?"),
                          QStringLiteral("24 AT+SRVPRO?"),
                          QStringLiteral("25 AT+DEVTYPE?"),
                      }));
    const QStringList log = logSince(entries);
    QCOMPARE(log.first(), kWriteStarted);
    QVERIFY(log.contains(kReadStarted));
    QVERIFY(!log.contains(kAllWritesSent));
    QVERIFY(!log.contains(kWriteSucceeded));
    QCOMPARE(log.last(), kReadDone);
    QCOMPARE(f->boxes.count(), 0);
    QCOMPARE(f->sim.state().deviceType, 5);
    QCOMPARE(f->sim.state().mqttLoginName, QStringLiteral("tv2400001"));
}

void BatchTest::readButtonDuringReadBackRestartsIt()
{
    QVERIFY(connectAndRead());
    auto &ui = f->ui();
    ui.BraudRate_10->setCurrentIndex(6);
    f->click(ui.checkBox_13);
    f->recordSteps();
    f->click(ui.writeButton);

    // The read-back has just begun: twelve silent steps lie before its one
    // query, so the button comes in time.
    QVERIFY(
        f->runUntil([this] { return f->session().has(SessionState::verifying); }, kWriteTimeoutMs));
    QVERIFY(f->session().readStep < kReadStepIdle);
    f->click(ui.readButton);
    QVERIFY(f->session().has(SessionState::verifying));
    QCOMPARE(f->session().readStep, kReadStepStart);

    QVERIFY(f->waitForLog(kWriteSucceeded, kReadTimeoutMs));
    QVERIFY(f->waitIdle());
    // Still a read-back: only the written parameter is asked for.
    const QStringList sent = steps();
    QCOMPARE(sent.first(), QStringLiteral("28 AT+DEVTYPE=6"));
    QVERIFY(sent.size() >= 2);
    for (const QString &step : sent.mid(1))
        QCOMPARE(step, QStringLiteral("25 AT+DEVTYPE?"));
    QCOMPARE(f->logCount(kWriteSucceeded), 1);
    QCOMPARE(f->logMessages().last(), kWriteSucceeded);
    QCOMPARE(f->sim.state().deviceType, 6);
}

// "断开连接" in the middle of a write ends it: connected again (possibly to the
// next terminal on the bench), nothing of that write goes out and no check runs.
void BatchTest::disconnectEndsTheWrite()
{
    QVERIFY(connectAndRead());
    auto &ui = f->ui();
    tickDeviceTypeAndName();

    f->recordSteps();
    f->click(ui.writeButton);
    QVERIFY(f->runUntil([this] { return !f->sentSteps.isEmpty(); }, 10000));
    f->click(ui.disConnectButton);
    QCOMPARE(f->session().connectState, qint32(Disconnected));

    const int entries = f->logMessages().size();
    f->sentSteps.clear();
    QVERIFY(f->connectManually());
    QVERIFY(f->waitIdle());
    f->runTicks(300); // longer than a write step's wait: a resumed write would show
    // Only the connection's own commands (the disconnect's "ENATCMD=1,0", the
    // query, the enable request, "GSMLOG=0"); no write, no read-back.
    for (const SimFixture::SentStep &step : f->sentSteps)
        QVERIFY2(step.selector <= 11, qPrintable(step.text));
    QVERIFY(steps().contains(QStringLiteral("11 AT+GSMLOG=0")));
    QVERIFY(!logSince(entries).contains(kAllWritesSent));
    QCOMPARE(f->sim.state().mqttLoginName, QStringLiteral("tv2400001"));
    QCOMPARE(f->boxes.count(), 0);
}

QTEST_MAIN(BatchTest)
#include "test_batch.moc"
