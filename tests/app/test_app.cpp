// The window as a technician first meets it: the settings it remembers, the
// ports, what a connection enables, the write check boxes and the log window.

#include "BoxCatcher.h"
#include "PtyPair.h"
#include "SimFixture.h"
#include "TerminalSimulator.h"
#include "TestSettings.h"
#include "WindowProbe.h"
#include "app/settingsfile.h"
#include "session/portlist.h"

#include <QDeadlineTimer>
#include <QMenu>
#include <QStatusBar>
#include <QTextBlock>
#include <QtTest>

#include <memory>

class AppTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ZorvikTestTool> window; // made for each test, its timer stopped
    std::unique_ptr<WindowProbe> probe;

private slots:
    void initTestCase() { isolateSettings(); }
    void init()
    {
        window = std::make_unique<ZorvikTestTool>();
        probe = std::make_unique<WindowProbe>(*window);
        probe->tickTimer().stop(); // nothing but the test writes to the log
    }
    void cleanup()
    {
        probe.reset();
        window.reset();
    }

    // A Chinese folder as Qt 5 wrote it (escapes) and as Qt 6 does (UTF-8): both
    // read. The dialog's folder and the port preselected (if there, and named
    // by 4 characters at least) would show it only with that folder and adapter.
    void theFolderAndPortRememberedAreReadAsEitherQtWroteThem()
    {
        for (const QByteArray &folder :
             {QByteArray("/srv/\\x7ed1\\x5b9a"), QStringLiteral("/srv/绑定").toUtf8()}) {
            QVERIFY(writeFile(settingsFilePath(),
                              "[General]\nsnFilePath=" + folder + "\nlastComName=ttyUSB7\n"));
            ZorvikTestTool window;
            WindowProbe probe(window);
            QCOMPARE(probe.snFileDir() + probe.lastPortName(), QStringLiteral("/srv/绑定ttyUSB7"));
        }
        QCOMPARE(portlist::preselectedIndex({"ttyS0", "ttyUSB0"}, QStringLiteral("ttyUSB0")), 1);
        QCOMPARE(portlist::preselectedIndex({"ttyS0", "COM"}, QStringLiteral("COM")), 0);
    }

    void theWelcomeNamesTheSupportAddress()
    {
        QCOMPARE(window->statusBar()->currentMessage(),
                 QStringLiteral("欢迎使用-技术支持 support@tavrin.example.com"));
        QVERIFY(probe->logText().contains(QStringLiteral("技术支持：support@tavrin.example.com")));
    }

    // The system's ports, "刷新串口", the first current. The port a connection
    // would open is read from the session: a bench without adapters has none.
    void refreshingThePortListRebuildsItOnce()
    {
        QComboBox *combo = probe->ui().SerialComNum;
        combo->addItem(QStringLiteral("/dev/ttyFAKE0"));
        combo->setCurrentIndex(combo->count() - 2);
        QCOMPARE(combo->itemText(combo->count() - 1), QStringLiteral("刷新串口"));
        QVERIFY(combo->findText(QStringLiteral("/dev/ttyFAKE0")) < 0 && combo->currentIndex() == 0);
        QCOMPARE(probe->session().comName, combo->itemText(0));
    }

    // A missing port is said in a box and remembered all the same; a present
    // one opens at the rate chosen.
    void theChosenPortOpensAt8N1OrIsSaidMissing()
    {
        BoxCatcher boxes;
        QComboBox *ports = probe->ui().SerialComNum;
        ports->addItem(QStringLiteral("/dev/ttyZorvikMissing0"));
        ports->setCurrentIndex(ports->count() - 1);
        QTest::mouseClick(probe->ui().connectButton, Qt::LeftButton);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().title, QStringLiteral("串口操作错误"));
        QVERIFY(
            boxes.last().text.startsWith(QStringLiteral("请检查当前选择的串口是否可用!\r\n\r\n")));
        QCOMPARE(window->statusBar()->currentMessage(),
                 QStringLiteral(" 连接失败,请检查线路连接及串口编号是否正确"));
        QCOMPARE(SettingsFile(settingsFilePath()).value(QStringLiteral("lastComName")).toString(),
                 QStringLiteral("/dev/ttyZorvikMissing0"));
        PtyPair pty;
        ports->addItem(pty.slavePath());
        ports->setCurrentIndex(ports->count() - 1);
        probe->ui().BraudRate_1->setCurrentText(QStringLiteral("115200"));
        QTest::mouseClick(probe->ui().connectButton, Qt::LeftButton);
        const LineSettings line = pty.lineSettings();
        QVERIFY(line.baudRate == 115200 && line.is8N1() && !line.rtsCts && !line.xonXoff);
    }

    // "打开日志" ends a wait nobody reads (a write's), which would show on the
    // line only when the step ends 21 beats later; the wish goes with the connection.
    void theControlsAndTheLogWishFollowTheConnection()
    {
        auto &ui = probe->ui();
        probe->waitSelector() = 29;
        SimFixture::click(ui.checkBox_5);
        QCOMPARE(probe->waitSelector(), 0);
        const QList<QWidget *> online{ui.readButton,    ui.writeButton,  ui.readSNbutton,
                                      ui.writeSNbutton, ui.pushButton_3, ui.pushButton_2,
                                      ui.pushButton};
        const QList<QWidget *> offline{ui.connectButton, ui.autoConnectButton, ui.SerialComNum};
        for (int state : {-1, int(ConnectFailed), int(Connected)}) {
            if (state >= 0) {
                probe->session().connectState = state;
                probe->refreshControls();
            }
            for (QWidget *w : online + offline)
                QVERIFY(w->isEnabled() == (online.contains(w) == (state == Connected)));
            QCOMPARE(ui.disConnectButton->isEnabled(), state >= 0);
            QCOMPARE(ui.checkBox_5->isChecked(), state < 0);
        }
    }

    // "BEAT=" sends key and interval, "DOMAIN=" address and port; "站号：", "SN"
    // share a slot. Only a write would show a box on the line: here each alone.
    void eachWriteBoxChoosesWhatItsCommandCarries()
    {
        auto &ui = probe->ui();
        using namespace WriteBit;
        const auto click = [&](QCheckBox *box) {
            SimFixture::click(box);
            return int(probe->session().writeMask);
        };
        QCOMPARE(click(ui.checkBox_16), upDataInterval | mqttCode);
        QVERIFY(click(ui.checkBox_16) == mqttCode && ui.checkBox_15->isChecked());
        QVERIFY(click(ui.checkBox_3) == (mqttCode | srvAddr | srvPort) &&
                ui.checkBox_4->isChecked());
        QVERIFY(click(ui.checkBox_4) == mqttCode && !ui.checkBox_3->isChecked());
        ui.checkBox_8->setChecked(true); // no slot runs
        QCOMPARE(click(ui.checkBox), mqttCode | devAddress | serialNumber);
        QCOMPARE(click(ui.checkBox_8), mqttCode | devAddress);
        for (QCheckBox *box : {ui.checkBox_2, ui.checkBox_7, ui.checkBox_13})
            click(box);
        QCOMPARE(click(ui.checkBox_14),
                 devAddress | braudRate | srvProtocol | devType | mqttName | mqttCode);
    }

    // As the terminal sent it, even what looks like markup; after CR LF an
    // empty line; all in the default format, not the welcome's link.
    void theLogShowsEachEntryAsItCameInPlainFormat()
    {
        QTextBlock block = probe->ui().textEdit->document()->lastBlock();
        probe->appendLog(QStringLiteral("<b>admin</b>"));
        probe->appendLog(QStringLiteral("设备连接成功\r\n"));
        QStringList entries;
        while ((block = block.next()).isValid()) {
            QCOMPARE(block.blockFormat(), QTextBlockFormat());
            for (auto it = block.begin(); !it.atEnd(); ++it)
                QCOMPARE(it.fragment().charFormat(), QTextCharFormat());
            entries << QString(block.text()).remove(WindowProbe::logStamp());
        }
        QCOMPARE(entries, (QStringList{"<b>admin</b>", "设备连接成功", ""}));
    }

    // At most 5000 paragraphs: the oldest, the welcome first, go.
    void theLogKeepsItsNewest5000Paragraphs()
    {
        QTextDocument *document = probe->ui().textEdit->document();
        int most = 0;
        for (int i = 0; i < 5200; ++i) {
            probe->appendLog(QString::number(i));
            most = qMax(most, document->blockCount());
        }
        QCOMPARE(most, 5000);
        QCOMPARE(document->firstBlock().text().remove(WindowProbe::logStamp()),
                 QString::number(5200 - document->blockCount()));
    }

    // "清除窗口" clears it; the menu opens at the mouse pointer, not where the
    // signal says, and selects all or clears.
    void theLogIsClearedByItsButtonAndItsMenu()
    {
        auto &ui = probe->ui();
        QTest::mouseClick(ui.readButton_2, Qt::LeftButton);
        QVERIFY(probe->logText().isEmpty());
        probe->appendLog(QStringLiteral("二"));
        QMenu *menu = probe->logMenu();
        QStringList texts;
        for (const QAction *action : menu->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(texts, (QStringList{"复制", "-", "选择全部", "-", "清除"}));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCursor::setPos(window->mapToGlobal(QPoint(100, 700)));
        emit ui.textEdit->customContextMenuRequested(QPoint(5, 5));
        QTRY_VERIFY(menu->isVisible());
        QVERIFY((menu->pos() - QCursor::pos()).manhattanLength() <= 8);
        menu->hide();
        menu->actions().at(2)->trigger(); // 选择全部
        QCOMPARE(ui.textEdit->textCursor().selectedText().remove(WindowProbe::logStamp()),
                 QStringLiteral("二"));
        menu->actions().at(4)->trigger(); // 清除
        QVERIFY(probe->logText().isEmpty());
    }

    // The window on its own 10 ms timer, waited for as a technician waits: connected, read
    // (the SN 1.6 s late, within its step's 2.1 s), a one-parameter write proved by its read-back.
    void aConnectionReadAndWriteRunOnTheWindowsOwnTimer()
    {
        TerminalSimulator sim;
        QVERIFY(sim.openPty());
        QObject::connect(&sim, &TerminalSimulator::requestReceived, &sim,
                         [&sim](const TerminalSimulator::Request &request) {
                             sim.setReplyDelay(request.text == "AT+SN?" ? 1600 : 0);
                         });
        BoxCatcher boxes;
        ZorvikTestTool window;
        WindowProbe probe(window);
        auto &ui = probe.ui();
        // The application's own event loop: QTest's waits sleep and would hold the timer back.
        const auto logged = [&probe](const char *text, int timeoutMs) {
            const QDeadlineTimer deadline(timeoutMs);
            while (!probe.logEntries().contains(QString::fromUtf8(text)) && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            return probe.logEntries().contains(QString::fromUtf8(text));
        };
        ui.SerialComNum->addItem(sim.slavePath());
        ui.SerialComNum->setCurrentIndex(ui.SerialComNum->count() - 1);
        QTest::mouseClick(ui.connectButton, Qt::LeftButton);
        QVERIFY(logged("设备连接成功\r\n", 10000));
        QTest::mouseClick(ui.readButton, Qt::LeftButton);
        QVERIFY(logged("已发完批量读取命令\r\n", 30000));
        QCOMPARE(ui.lineEdit->text(), sim.state().serialNumber);
        ui.BraudRate_10->setCurrentIndex(5);
        QTest::mouseClick(ui.checkBox_13, Qt::LeftButton);
        QTest::mouseClick(ui.writeButton, Qt::LeftButton);
        QVERIFY(logged("批量写入成功\r\n", 30000));
        QCOMPARE(sim.atCommands().filter("DEVTYPE="), QStringList{"DEVTYPE=5"});
        QCOMPARE(boxes.count(), 0);
    }
};

QTEST_MAIN(AppTest)
#include "test_app.moc"
