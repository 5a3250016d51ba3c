// A technician's bad day: a mangled "Setting.ini", a port held by another
// program, junk on the line, a 10,000-character SN, a pulled adapter.

#include "SimFixture.h"
#include "TestSettings.h"

#include <QSettings>
#include <QtTest>

#include <memory>

namespace {

// Zeros, line ends, invalid UTF-8, "+", ":" and ",": what a babbling line or a corrupt file holds.
const QByteArray kJunk = QByteArray::fromHex("00ff0d0a2b3a2cfe41e9bf");

} // namespace

class RobustnessTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimFixture> f;
    bool connect() { return f->connectManually() && f->waitIdle(); }

private slots:
    void init() { f = std::make_unique<SimFixture>(); }
    void cleanup()
    {
        f.reset();
        QFile::remove(settingsFilePath());
    }

    void aPortHeldElsewhereConnectsOnceLetGoAndIsRemembered_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::newRow("a binary Setting.ini") << kJunk.repeated(400);
        QTest::newRow("a broken Setting.ini") << QByteArray(
            "[General\nlastComName=\"/dev/ttyUSB0\n[[[]\n=no key\n@Rect(1 2 x)\n\xff\xfe");
    }
    // Held: a box, the terminal asked nothing.
    void aPortHeldElsewhereConnectsOnceLetGoAndIsRemembered()
    {
        QFETCH(QByteArray, settings);
        f.reset(); // a window reads its settings as it starts
        QVERIFY(writeFile(settingsFilePath(), settings));
        f = std::make_unique<SimFixture>();
        QSerialPort holder(f->sim.slavePath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        QVERIFY(!f->connectManually(1000));
        QVERIFY(f->boxes.count() == 1 && f->sim.requests().isEmpty());
        holder.close();
        QVERIFY(connect());
        QCOMPARE(
            QSettings(settingsFilePath(), QSettings::IniFormat).value("lastComName").toString(),
            f->sim.slavePath());
    }

    // It fills the receive buffer to its bound, which nothing else shows.
    void aBurstBeyondTheReceiveBufferLeavesABatchReadWorking()
    {
        QVERIFY(connect());
        int largest = 0;
        QObject::connect(&f->probe->serialPort(), &QSerialPort::readyRead, &f->sim,
                         [&] { largest = qMax(largest, f->probe->rxBuffer().size()); });
        f->sim.sendGarbage(kJunk.repeated(400));
        QVERIFY(f->drainLine());
        QCOMPARE(largest, 4096);
        f->click(f->ui().readButton);
        QVERIFY(f->waitForLog(QStringLiteral("已发完批量读取命令\r\n")) && f->waitIdle());
        QCOMPARE(f->ui().textBrowser_2->toPlainText(), f->sim.state().mqttLoginName);
    }

    // At the connection's rate, though another is chosen for the next connection.
    void aTenThousandCharacterSerialNumberGoesOutWhole()
    {
        QVERIFY(connect());
        f->ui().BraudRate_1->setCurrentText(QStringLiteral("115200"));
        const QString sn = QStringLiteral("TV24").repeated(2500);
        f->ui().SNlineEdit->setText(sn.left(9990));
        QTest::keyClicks(f->ui().SNlineEdit, sn.mid(9990)); // the last typed
        f->sim.clearRequests();
        f->click(f->ui().writeSNbutton);
        QVERIFY(f->runUntil([&] { return !f->sim.requests().isEmpty(); }, 15000)); // 10 s at 9600
        QCOMPARE(f->sim.atCommands(), QStringList{"SN=" + sn});
        QCOMPARE(f->sim.requests().last().lineBaudRate, 9600);
    }

    // Pulled awaiting an answer in a batch: a box; the rest of the batch is
    // lost, not sent to the terminal on the next adapter, and the "打开日志"
    // wish ends with the connection.
    void aReadCutByAPulledAdapterGoesNoFurther()
    {
        TerminalSimulator other; // on the next adapter
        QVERIFY(connect());
        f->ui().checkBox_5->click();
        f->pullAdapterOn(QStringLiteral("AT+DOMAIN?"));
        f->click(f->ui().readButton);
        QVERIFY(f->runUntil([&] { return f->boxes.count() == 1; }));
        QCOMPARE(f->boxes.last().title, QStringLiteral("串口操作错误"));
        QVERIFY(!f->probe->serialPort().isOpen() && !f->ui().checkBox_5->isChecked());
        QVERIFY(other.openPty());
        f->choosePort(other.slavePath());
        f->click(f->ui().connectButton);
        QVERIFY(f->runUntil([&] { return f->logCount(QStringLiteral("设备连接成功\r\n")) == 2; }) &&
                f->waitIdle());
        f->runTicks(300);
        QCOMPARE(other.atCommands(), (QStringList{"ENATCMD?", "GSMLOG=0"}));
        QVERIFY(other.modbusFrames().isEmpty() && f->boxes.count() == 1);
        f.reset(); // the window goes first, while the line is still there
    }
};

QTEST_MAIN(RobustnessTest)
#include "test_robustness.moc"
