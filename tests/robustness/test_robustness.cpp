// A day on a technician's bench, told once per row: a mangled "Setting.ini",
// a port another program holds, a babbling line, an odd binding file, a serial
// number far longer than any terminal takes, and an adapter pulled mid-batch.
// No crash, no hang, nothing typed lost, and the next action still works.

#include "FileDialogAnswer.h"
#include "SimFixture.h"
#include "TestSettings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The same bytes on every run: zeros, line ends, invalid UTF-8, "+", ":", ",".
QByteArray junk(int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    for (char &byte : bytes)
        byte = char((seed = seed * 1103515245u + 12345u) >> 16);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

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
    QTest::addColumn<QString>("boundSn");
    QTest::addColumn<QString>("fields");   // MQTT key|name after typing boundSn, a pattern
    QTest::addColumn<QString>("pulledAt"); // the command whose answer never comes
    QTest::newRow("binary files, pulled in a read")
        << junk(4096, 3) << junk(256 * 1024, 5) << "TV2400001"
        << "^typed\\|typed$"
        << "DOMAIN?";
    // Saved in a Chinese Windows code page: what is not ASCII comes out
    // garbled, the ASCII serial numbers still match.
    QTest::newRow("broken INI, GBK, pulled in a write")
        << QByteArray("[General\nlastComName=\"/dev/ttyUSB0\n[[[]\n=no key\n@Rect(1 2 x)\n\xff\xfe")
        << QByteArray("n1,SN-01,k1\r\n\xc3\xfb\xb3\xc6,SN-02,key\xb1\xea\r\n") << "SN-02"
        << "^key.+\\|..+$"
        << "SN=TV2400999";
    QByteArray lines;
    for (int i = 0; i < 100000; ++i)
        lines += QStringLiteral("dev-%1,TV%1,k%1x\r\n").arg(i, 6, 10, QLatin1Char('0')).toLatin1();
    QTest::newRow("UTF-16, 100,000 lines")
        << QByteArrayLiteral("\xff\xfe[\0G\0e\0n\0]\0\n\0") << lines << "TV099999"
        << "^k099999x\\|dev-099999$"
        << "VER";
}

void RobustnessTest::benchDay()
{
    QFETCH(QByteArray, settings);
    QFETCH(QByteArray, binding);
    QFETCH(QString, boundSn);
    QFETCH(QString, fields);
    QFETCH(QString, pulledAt);
    QVERIFY(writeFile(isolateSettings() + QStringLiteral("/Setting.ini"), settings));
    TerminalSimulator other; // on the next adapter, outliving the window
    SimFixture f;
    auto &ui = f.ui();
    QVERIFY(f.logMessages().isEmpty()); // the welcome text only

    // Held by another program: the error box, and the terminal is asked
    // nothing. Let go, the port connects and is remembered.
    auto holder = std::make_unique<QSerialPort>(f.sim.slavePath());
    QVERIFY(holder->open(QIODevice::ReadWrite));
    QVERIFY(!f.connectManually(1000));
    QVERIFY(f.session().connectState == ConnectFailed && f.sim.requests().isEmpty());
    holder.reset();
    QVERIFY(f.connectManually() && f.waitIdle());
    QCOMPARE(QSettings(settingsFilePath(), QSettings::IniFormat).value("lastComName").toString(),
             f.sim.slavePath());

    // Random bytes, then a 64 KiB burst: the receive buffer fills to its
    // bound and no further, and a batch read still reads every parameter.
    int largest = 0;
    int quietTicks = 0;
    // Runs after the window's own handler has taken the bytes in.
    QObject::connect(&f.probe->serialPort(), &QSerialPort::readyRead, &f.sim, [&] {
        largest = qMax(largest, f.probe->rxBuffer().size());
        quietTicks = 0;
    });
    for (int size : {3000, 64 * 1024}) {
        f.sim.sendGarbage(junk(size, quint32(size)));
        QVERIFY(f.runUntil([&] { return ++quietTicks > 30; }));
    }
    QCOMPARE(largest, 4096);
    f.sim.clearRequests();
    f.click(ui.readButton);
    QVERIFY(f.waitForLog(QStringLiteral("已发完批量读取命令\r\n")) && f.waitIdle());
    QCOMPARE(f.sim.atCommands().size(), 9);
    QCOMPARE(ui.textBrowser_2->toPlainText(), f.sim.state().mqttLoginName);

    // The binding file, chosen in the file dialog, binding on, the serial
    // number typed key by key: found, it fills the MQTT fields; not found,
    // they stay as typed.
    QTemporaryDir folder;
    QVERIFY(writeFile(folder.filePath(QStringLiteral("binding.csv")), binding));
    ui.textEdit_4->setPlainText(QStringLiteral("typed"));
    ui.textEdit_5->setPlainText(QStringLiteral("typed"));
    FileDialogAnswer answer(folder.filePath(QStringLiteral("binding.csv")));
    f.click(ui.pushButton_5);
    ui.checkBox_6->click(); // "SN绑定文件"
    QTest::keyClicks(ui.SNlineEdit, boundSn);
    const QString shown = ui.textEdit_4->toPlainText() + '|' + ui.textEdit_5->toPlainText();
    QVERIFY2(QRegularExpression(fields).match(shown).hasMatch(), qPrintable(shown));
    ui.checkBox_6->click();

    // 10,000 characters typed key by key: "写入SN号" sends every one.
    QString sn;
    for (int i = 0; i < 10000; ++i)
        sn += QLatin1Char("0123456789ABCDEFGHJKLMNPQRSTUVWXYZ"[(i * 7 + i / 34) % 34]);
    ui.SNlineEdit->clear();
    ui.SNlineEdit->setText(sn.left(9990));
    QTest::keyClicks(ui.SNlineEdit, sn.mid(9990));
    f.sim.clearRequests();
    f.click(ui.writeSNbutton);
    QVERIFY(f.runUntil([&] { return !f.sim.requests().isEmpty(); }));
    QCOMPARE(f.sim.atCommands(), QStringList{"SN=" + sn});
    f.sim.state().serialNumber = QStringLiteral("TV2400001");

    // The adapter is pulled while the tool waits for an answer: one box, the
    // failed state. The batch goes with the connection: the terminal on the
    // next adapter gets none of it, and no verdict is logged.
    if (!ui.checkBox_8->isChecked())
        ui.checkBox_8->click(); // "SN" in "修改参数"
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
    QVERIFY(other.openPty());
    other.state().serialNumber = QStringLiteral("TV2400777");
    f.choosePort(other.slavePath());
    f.click(ui.connectButton);
    QVERIFY(f.waitIdle());
    f.click(ui.readSNbutton);
    QVERIFY(f.runUntil([&] { return ui.lineEdit->text() == other.state().serialNumber; }));
    QCOMPARE(other.atCommands(), (QStringList{"ENATCMD?", "GSMLOG=0", "SN?"}));
    QVERIFY(other.modbusFrames().isEmpty());
    QVERIFY(f.session().connectState == Connected && f.boxes.count() == 2);
    QCOMPARE(f.logCount(QStringLiteral("已发完批量读取命令\r\n")), 1); // the read before
    QVERIFY(!f.logContains(QStringLiteral("批量写入成功\r\n")) &&
            !f.logContains(QStringLiteral("SN写入失败\r\n")));
}

QTEST_MAIN(RobustnessTest)
#include "test_robustness.moc"
