// A technician's bad day, once per row: a mangled "Setting.ini", a port held by another
// program, junk on the line, an odd binding file, a 10,000-character SN, a pulled adapter.

#include "FileDialogAnswer.h"
#include "SimFixture.h"
#include "TestSettings.h"

#include <QSettings>
#include <QtTest>

namespace {

// Zeros, line ends, invalid UTF-8, "+", ":" and ",": what a babbling line or a corrupt file holds.
const QByteArray kJunk = QByteArray::fromHex("00ff0d0a2b3a2cfe41e9bf");

} // namespace

class RobustnessTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void benchDay_data();
    void benchDay();
};

void RobustnessTest::benchDay_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QByteArray>("binding");
    QTest::addColumn<QString>("fields");   // MQTT key|name after "SN-02" is typed
    QTest::addColumn<QString>("pulledAt"); // the command whose answer never comes
    QTest::newRow("binary, pulled in a read") << kJunk.repeated(400) << kJunk.repeated(25000)
                                              << QString("^velkr\\|admin$") << QString("DOMAIN?");
    // 100,000 lines, the last saved in GBK: garbled where not ASCII, still found.
    QByteArray lines;
    for (int i = 0; i < 100000; ++i)
        lines += QStringLiteral("dev-%1,TV%1,k%1x\r\n").arg(i, 6, 10, QLatin1Char('0')).toLatin1();
    QTest::newRow("broken, pulled in a write")
        << QByteArray("[General\nlastComName=\"/dev/ttyUSB0\n[[[]\n=no key\n@Rect(1 2 x)\n\xff\xfe")
        << lines + "\xc3\xfb\xb3\xc6,SN-02,key\xb1\xea\r\n"
        << QString("^key.+\\|..+$") << QString("SN=TV2400999");
}

void RobustnessTest::benchDay()
{
    QFETCH(QByteArray, settings);
    QFETCH(QByteArray, binding);
    QFETCH(QString, fields);
    QFETCH(QString, pulledAt);
    QVERIFY(writeFile(isolateSettings() + QStringLiteral("/Setting.ini"), settings));
    TerminalSimulator other; // on the next adapter, outliving the window
    SimFixture f;
    auto &ui = f.ui();

    // Held: a box, the terminal asked nothing. Let go: connected, remembered.
    QSerialPort holder(f.sim.slavePath());
    QVERIFY(holder.open(QIODevice::ReadWrite));
    QVERIFY(!f.connectManually(1000));
    QVERIFY(f.session().connectState == ConnectFailed && f.sim.requests().isEmpty());
    holder.close();
    QVERIFY(f.connectManually() && f.waitIdle());
    QCOMPARE(QSettings(settingsFilePath(), QSettings::IniFormat).value("lastComName").toString(),
             f.sim.slavePath());

    // A burst beyond the receive buffer's bound fills it to its bound; a batch read still works.
    int largest = 0;
    QObject::connect(&f.probe->serialPort(), &QSerialPort::readyRead, &f.sim,
                     [&] { largest = qMax(largest, f.probe->rxBuffer().size()); });
    f.sim.sendGarbage(kJunk.repeated(400));
    QVERIFY(f.drainLine());
    QCOMPARE(largest, 4096);
    f.click(ui.readButton);
    QVERIFY(f.waitForLog(QStringLiteral("已发完批量读取命令\r\n")) && f.waitIdle());
    QCOMPARE(ui.textBrowser_2->toPlainText(), f.sim.state().mqttLoginName);

    // Binding on, "SN-02" typed: found, it fills the MQTT fields; else they stay.
    const QString bindingPath = isolateSettings() + QStringLiteral("/binding.csv");
    QVERIFY(writeFile(bindingPath, binding));
    FileDialogAnswer answer(bindingPath);
    f.click(ui.pushButton_5);
    ui.checkBox_6->click(); // "SN绑定文件"
    QTest::keyClicks(ui.SNlineEdit, QStringLiteral("SN-02"));
    const QString shown = ui.textEdit_4->toPlainText() + '|' + ui.textEdit_5->toPlainText();
    QVERIFY2(QRegularExpression(fields).match(shown).hasMatch(), qPrintable(shown));
    ui.checkBox_6->click();

    // 10,000 characters, the last typed: "写入SN号" sends every one.
    const QString sn = QStringLiteral("TV24").repeated(2500);
    ui.SNlineEdit->setText(sn.left(9990));
    QTest::keyClicks(ui.SNlineEdit, sn.mid(9990));
    f.sim.clearRequests();
    f.click(ui.writeSNbutton);
    QVERIFY(f.runUntil([&] { return !f.sim.requests().isEmpty(); }, 15000)); // 10 s at 9600
    QCOMPARE(f.sim.atCommands(), QStringList{"SN=" + sn});
    f.sim.state().serialNumber = QStringLiteral("TV2400001");

    // Pulled awaiting an answer: a box; the batch is lost, not sent to the next adapter.
    f.session().writeMask = WriteBit::serialNumber;
    ui.SNlineEdit->setText(QStringLiteral("TV2400999"));
    QObject::connect(&f.sim, &TerminalSimulator::requestReceived, &f.sim,
                     [&](const TerminalSimulator::Request &request) {
                         if (request.text == QStringLiteral("AT+") + pulledAt)
                             f.sim.dropLine();
                     });
    f.click(pulledAt.startsWith(QStringLiteral("SN=")) ? ui.writeButton : ui.readButton);
    QVERIFY(f.runUntil([&] { return f.boxes.count() > 1; }));
    QVERIFY(f.session().connectState == ConnectFailed && !f.probe->serialPort().isOpen());
    QCOMPARE(f.sim.atCommands().last(), pulledAt);
    QCOMPARE(QString::fromUtf8(readFile(f.probe->recordPath()))
                 .contains(QStringLiteral(",中断,串口错误：")),
             pulledAt.startsWith(QStringLiteral("SN=")));
    QVERIFY(other.openPty());
    f.choosePort(other.slavePath());
    f.click(ui.connectButton);
    QVERIFY(f.runUntil([&] { return f.session().connectState == Connected; }) && f.waitIdle());
    QCOMPARE(other.atCommands(), (QStringList{"ENATCMD?", "GSMLOG=0"}));
    QVERIFY(other.modbusFrames().isEmpty() && f.boxes.count() == 2);
    QVERIFY(!f.logContains(QStringLiteral("批量写入成功\r\n")));
}

QTEST_MAIN(RobustnessTest)
#include "test_robustness.moc"
