// The batch write as a technician runs it against the simulated terminal:
// tick the parameters in "修改参数", press "批量写入", watch the commands go out
// one step at a time, then the read-back, and read the verdict in the log, in
// the box and in the provisioning record.

#include "SimFixture.h"
#include "TestSettings.h"
#include "binding/snlookup.h"
#include "session/parameters.h"

#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QString kAllWritesSent = QStringLiteral("已发完所选写入参数,正在校验所写参数\r\n");
const QString kReadDone = QStringLiteral("已发完批量读取命令\r\n");
const QString kWriteSucceeded = QStringLiteral("批量写入成功\r\n");

// A transcript written as one text, its entries separated by '|'.
QStringList entries(const QString &text)
{
    return text.split(QLatin1Char('|'));
}

} // namespace

class BatchTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimFixture> f;

    bool connect() { return f->connectManually() && f->waitIdle(); }
    // "<结果>,<说明>" of the record's line (the header is line 0).
    QString verdict(int i) const { return f->recordLines().value(i).section(',', -3, -2); }
    // Connected, three labels bound (the last without a key): SN, name, key and server ticked.
    bool bindThreeLabels()
    {
        if (!connect())
            return false;
        auto &ui = f->ui();
        f->probe->snBindingLines() = snbinding::splitLines(
            QStringLiteral("name-A,TVA,keyA\r\nname-B,TVB,keyB\r\nname-C,TVC,\r\n"));
        f->click(ui.checkBox_6); // ticks SN, name and key
        f->click(ui.checkBox_3); // and the port
        ui.textEdit_2->setPlainText(QStringLiteral("srv.example.com"));
        ui.textEdit_3->setPlainText(QStringLiteral("3999"));
        f->recordSteps();
        return true;
    }

    // Connected, a write of the device type and login name, values the terminal
    // lacks; button clicked once `sent` of its requests have gone out.
    bool interruptWrite(int sent, QAbstractButton *button)
    {
        if (!connect())
            return false;
        f->ui().BraudRate_10->setCurrentIndex(5);
        f->ui().textEdit_5->setPlainText(QStringLiteral("dev-x"));
        f->click(f->ui().checkBox_13);
        f->click(f->ui().checkBox_14);
        f->click(f->ui().writeButton);
        return clickAfterSteps(sent, button);
    }

    // Clicks button once `sent` requests of the batch under way have gone out.
    bool clickAfterSteps(int sent, QAbstractButton *button)
    {
        f->recordSteps();
        const bool reached = f->runUntil([&] { return f->sentSteps.size() == sent; });
        f->click(button);
        return reached;
    }

private slots:
    void initTestCase() { isolateSettings(); }
    void init()
    {
        QFile::remove(settingsFilePath());
        f = std::make_unique<SimFixture>();
        QFile::remove(f->probe->recordPath());
    }
    void cleanup() { f.reset(); }

    void verificationComparesEveryCheckInBitOrder_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("answered");
        QTest::addColumn<QString>("failures");
        const int all = 0x3FF;
        const int same = WriteBit::srvPort | WriteBit::upDataInterval;
        QTest::newRow("nothing selected succeeds") << 0 << all << QString();
        QTest::newRow("all selected fail, the two alike unanswered")
            << all << (all & ~same)
            << QStringLiteral("设备站号写入失败\r\n|波特率写入失败\r\n|服务器通信协议写入失败\r\n|"
                              "设备类型写入失败\r\n|上传间隔写入失败\r\n|服务器地址写入失败\r\n|"
                              "服务器端口写入失败\r\n|mqttName写入失败\r\n|mqttCode写入失败\r\n|"
                              "SN写入失败\r\n");
        QTest::newRow("only the selected fail") << int(WriteBit::srvPort | WriteBit::devType) << all
                                                << QStringLiteral("设备类型写入失败\r\n");
        QTest::newRow("the same values answered succeed") << same << all << QString();
        // A value still shown from an earlier read proves nothing.
        QTest::newRow("the same value unanswered fails")
            << same << int(WriteBit::srvPort) << QStringLiteral("上传间隔写入失败\r\n");
    }

    void verificationComparesEveryCheckInBitOrder()
    {
        QFETCH(int, mask);
        QFETCH(int, answered);
        QFETCH(QString, failures);
        auto &ui = f->ui();
        SessionState &s = f->session();
        // Written, and what the read-back shows, in bit order: alike only in
        // the interval and the port; a name in another case, a trailing blank.
        const QStringList written{"5",    "4800",  "3",    "1",  "30", "a.example.net",
                                  "4001", "Admin", "key1", "TV1"};
        const std::function<void()> readBack[] = {
            [&] { ui.readAddress_2->setValue(6); },
            [&] { ui.braudRate_2->setItemText(0, QStringLiteral("9600")); },
            [&] { ui.BraudRate_5->setCurrentIndex(2); },
            [&] { ui.BraudRate_9->setCurrentIndex(0); },
            [&] { s.devUpDataInterval = 30; },
            [&] { s.devSrvAddr = QStringLiteral("b.example.net"); },
            [&] { s.devSrvPort = 4001; },
            [&] { s.devMqttName = QStringLiteral("admin"); },
            [&] { s.devMqttCode = QStringLiteral("key1 "); },
            [&] { ui.lineEdit->setText(QStringLiteral("TV2")); }};
        for (int i = 0; i < written.size(); ++i) {
            s.snapshot.setValue(quint16(1 << i), written.at(i));
            readBack[i]();
        }
        s.snapshot.mask = quint16(mask);
        s.answeredMask = quint16(answered);

        const int count = f->logMessages().size();
        f->probe->verifyWrite();
        if (failures.isEmpty()) {
            QCOMPARE(f->logSince(count), QStringList{kWriteSucceeded});
            QCOMPARE(f->boxes.count(), 0);
            return;
        }
        const QString total =
            QStringLiteral("批量写入失败数量：\r\n") + QString::number(entries(failures).size());
        QCOMPARE(f->logSince(count), entries(failures) << total);
        QCOMPARE(f->boxes.count(), 1);
        QCOMPARE(f->boxes.last().title + f->boxes.last().text, QStringLiteral("写入失败") + total);
    }

    void valuesThatCannotGoOutAreNamed_data()
    {
        QTest::addColumn<int>("bit");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("problem"); // empty: it goes out
        const auto row = [](const char *name, quint16 bit, const QString &value,
                            const char *problem) {
            QTest::newRow(name) << int(bit) << value << QString::fromUtf8(problem);
        };
        using namespace WriteBit;
        const char *port = "服务器端口必须是1到65535之间的数字,不能写入";
        row("a command behind a line break", srvAddr, "mq.example\nAT+ENATCMD=1,0",
            "服务器地址含有换行符,不能写入");
        row("a CR in the key", mqttCode, "k\r1", "MQTT登录密钥含有换行符,不能写入");
        row("an empty address", srvAddr, "", "服务器地址为空,不能写入");
        row("an empty port", srvPort, "", "服务器端口为空,不能写入");
        row("an empty name", mqttName, "", "MQTT登录名为空,不能写入");
        row("an empty key", mqttCode, "", "MQTT登录密钥为空,不能写入");
        row("an empty SN", serialNumber, "", "SN为空,不能写入");
        row("a port beyond 16 bits", srvPort, "70000", port);
        row("a port with a blank", srvPort, "18 83", port);
        row("a comma in the name", mqttName, "dev,1", "MQTT登录名含有逗号,不能写入");
        row("full-width input", serialNumber, "ＴＶ2400002", "SN含有不能发送的字符“Ｔ”,不能写入");
        row("a character beyond 16 bits", mqttCode, "k\U0001F511",
            "MQTT登录密钥含有不能发送的字符“\U0001F511”,不能写入");
        row("Latin-1 goes out", mqttName, "dev-\u00e9", "");
    }
    void valuesThatCannotGoOutAreNamed()
    {
        QFETCH(int, bit);
        QFETCH(QString, value);
        QFETCH(QString, problem);
        QCOMPARE(parameters::inputProblem(quint16(bit), value).value_or(QString()), problem);
    }

    // Taken once, when accepted: an address edited and the next label scanned
    // while it runs change nothing. A binding line without a key, an empty
    // port and a character the line cannot carry are refused first.
    void aWriteGoesByTheValuesOfItsMoment()
    {
        QVERIFY(bindThreeLabels());
        auto &ui = f->ui();
        ui.textEdit_3->clear();
        const int count = f->logMessages().size();
        for (const char *sn : {"TVC", "ＴＶ2400002", "TVA"}) {
            ui.SNlineEdit->setText(QString::fromUtf8(sn));
            f->click(QString::fromUtf8(sn).startsWith('T') ? ui.writeButton : ui.writeSNbutton);
        }
        QCOMPARE(f->logSince(count),
                 entries(QStringLiteral("SN:TVC 在SN绑定文件中没有对应的MQTT登录名和密钥,不能写入|"
                                        "批量写入未开始|SN含有不能发送的字符“Ｔ”,不能写入|"
                                        "找到SN:TVA|mqtt name:name-A|mqtt code:keyA|"
                                        "服务器端口为空,不能写入|批量写入未开始")));
        ui.textEdit_3->setPlainText(QStringLiteral("3999"));
        f->click(ui.writeButton);
        QVERIFY(f->runUntil([this] { return !f->sentSteps.isEmpty(); }));
        ui.textEdit_2->setPlainText(QStringLiteral("srv.example.com\nAT+ENATCMD=1,0"));
        f->click(ui.checkBox_3);                       // unticked with the port
        ui.SNlineEdit->setText(QStringLiteral("TVB")); // the next label, its name and key
        QVERIFY(f->waitIdle());
        QCOMPARE(f->steps(),
                 entries(QStringLiteral(
                     "29 AT+SN=TVA|34 AT+DOMAIN=srv.example.com:3999|35 AT+PKEY=name-A,|"
                     "36 AT+BEAT=keyA,|16 AT+SN?|21 AT+DOMAIN?|22 AT+PKEY?|23 AT+BEAT?")));
        QCOMPARE(f->logMessages().last(), kWriteSucceeded);
        QCOMPARE(f->recordLines().at(1).section(QLatin1Char(','), 4),
                 QStringLiteral("TVA,,,,,,srv.example.com,3999,name-A,已写入,TVA,成功,,"));
    }

    void aWritePulledAfterItsFirstCommandRecordsThatCommandAlone()
    {
        QVERIFY(bindThreeLabels());
        f->ui().SNlineEdit->setText(QStringLiteral("TVB"));
        f->click(f->ui().checkBox_13);
        f->pullAdapterOn(QStringLiteral("AT+DEVTYPE=0"));
        f->click(f->ui().writeButton);
        QVERIFY(f->runUntil([this] { return f->boxes.count() == 1; }));
        QCOMPARE(f->steps(), QStringList{QStringLiteral("28 AT+DEVTYPE=0")});
        QVERIFY(f->recordLines()
                    .at(1)
                    .section(QLatin1Char(','), 4)
                    .startsWith(QStringLiteral(",,,,0,,,,,,,中断,串口错误：")));
    }

    // The next terminal on the bench: a relay's first click switches it on; what
    // the technician typed stays.
    void aNewConnectionShowsNothingOfTheTerminalBefore_data()
    {
        QTest::addColumn<bool>("pulled");
        QTest::newRow("after 断开连接") << false;
        QTest::newRow("after a pulled adapter") << true;
    }
    void aNewConnectionShowsNothingOfTheTerminalBefore()
    {
        QFETCH(bool, pulled);
        auto &ui = f->ui();
        const auto shown = [&ui] { // all that tells of a terminal, a relay's caption included
            return QStringList{ui.lineEdit->text(),     ui.textBrowser_2->toPlainText(),
                               ui.label_Temp->text(),   ui.label_Humidy->text(),
                               ui.label_4->text(),      ui.BraudRate_9->currentText(),
                               ui.pushButton_3->text(), QString::number(ui.readAddress_4->value())};
        };
        const QStringList atStart = shown();
        f->probe->snBindingLines() = snbinding::splitLines(QStringLiteral("name-A,TVA,keyA\n\n"));
        f->click(ui.checkBox_6);
        ui.SNlineEdit->setText(QStringLiteral("TVA"));
        f->sim.state().deviceType = 4;
        QVERIFY(f->connectAutomatically() && f->waitIdle()); // and read
        f->sim.sendGarbage("+CSQ: 23,99\r\n+CMQTTCONNECT: 0,\"tcp://a.example.com:3999\"\r\n");
        f->click(ui.pushButton_3);
        f->runTicks(50);
        const QStringList first = shown(); // every field tells of terminal 1
        for (int i = 0; i < first.size(); ++i)
            QVERIFY2(first.at(i) != atStart.at(i), qPrintable(first.at(i)));

        if (pulled) {
            f->sim.dropLine();
            QVERIFY(f->runUntil([this] { return f->boxes.count() == 1; }));
            QVERIFY(f->sim.openPty());
        } else {
            f->click(ui.disConnectButton);
        }
        f->sim.state() = TerminalSimulator::State{};
        QVERIFY(f->connectManually() && f->waitIdle());
        QCOMPARE(shown(), atStart);
        QCOMPARE(ui.SNlineEdit->text() + ui.textEdit_5->toPlainText(), QStringLiteral("TVAname-A"));
        f->click(ui.pushButton_3);
        QVERIFY(f->runUntil([this] { return f->sim.state().relays[0]; }));
    }

    // "No" is the default; by "批量写入" and by "写入SN号" alike.
    void aSerialNumberWrittenBeforeIsAskedAbout()
    {
        QVERIFY(bindThreeLabels());
        auto &ui = f->ui();
        ui.SNlineEdit->setText(QStringLiteral("TVA"));
        f->click(ui.writeButton);
        QVERIFY(f->waitIdle());
        const QString said = QStringLiteral("SN:TVA 已于") + f->recordLines().at(1).left(19) +
                             QStringLiteral("写入成功");
        f->recordSteps();
        int count = f->logMessages().size();
        for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
            f->boxes.answer = answer;
            f->click(ui.writeButton);
        }
        QVERIFY(f->waitIdle());
        QCOMPARE(f->logMessages().mid(count, 4),
                 (QStringList{said, QStringLiteral("批量写入未开始"), said,
                              QStringLiteral("批量写入参数开始")}));
        QCOMPARE(f->boxes.last().title + f->boxes.last().text,
                 QStringLiteral("SN重复") + said + QStringLiteral("\r\n是否再次写入该SN？"));
        QCOMPARE(f->boxes.last().defaultButton, QMessageBox::No);
        QCOMPARE(f->steps().first(), QStringLiteral("29 AT+SN=TVA"));
        QVERIFY(f->recordLines().at(2).endsWith(QStringLiteral(",TVA,成功,重复写入,")));

        f->recordSteps();
        count = f->logMessages().size();
        f->boxes.answer = QMessageBox::No;
        f->click(ui.writeSNbutton);
        f->runTicks(30);
        QCOMPARE(f->logSince(count),
                 (QStringList{QStringLiteral("SN:TVA 已于") + f->recordLines().at(2).left(19) +
                                  QStringLiteral("写入成功（共2次）"),
                              QStringLiteral("写入SN号未开始")}));
        QCOMPARE(f->steps(), QStringList());
    }

    // A read-back that brings nothing confirms nothing, though the window
    // still shows, from the read before, the very value written.
    void silentReadBackConfirmsNothing()
    {
        QVERIFY(connect());
        f->click(f->ui().readButton);
        QVERIFY(f->waitIdle());
        f->click(f->ui().checkBox); // station 1, the terminal's own
        f->sim.setSilent(true);
        f->click(f->ui().writeButton);
        QVERIFY(f->waitIdle());
        QCOMPARE(f->logSince(f->logMessages().size() - 2),
                 entries(QStringLiteral("设备站号写入失败\r\n|批量写入失败数量：\r\n1")));
    }

    // Five commands (device type, protocol, key with interval, server, name) and
    // their read-back: each step, sent or skipped, ends a beat after the one
    // before, an unconfirmed write after 21. Once a write went unanswered, an
    // "OK" may be its late answer. The status bar counts the 22 steps, full at
    // the verdict, hidden a beat later.
    void aWriteStepEndsOnItsAnswerOrWaitsOut21Beats_data()
    {
        QTest::addColumn<bool>("confirms");
        QTest::addColumn<bool>("echo");
        QTest::addColumn<QByteArray>("report"); // sent after each write
        QTest::addColumn<QByteArray>("late");   // sent after each write as the last one's answer
        QTest::newRow("confirmed") << true << false << QByteArray() << QByteArray();
        QTest::newRow("confirmed behind an echo") << true << true << QByteArray() << QByteArray();
        QTest::newRow("unconfirmed") << false << false << QByteArray() << QByteArray();
        QTest::newRow("unconfirmed behind an echo")
            << false << true << QByteArray() << QByteArray();
        QTest::newRow("an OK inside a report confirms nothing")
            << false << false << QByteArray("+CMQTTCONNECT: 0,OK\r\n") << QByteArray();
        QTest::newRow("an OK a step late confirms nothing")
            << false << false << QByteArray() << QByteArray("OK\r\n");
    }
    void aWriteStepEndsOnItsAnswerOrWaitsOut21Beats()
    {
        QFETCH(bool, confirms);
        QFETCH(bool, echo);
        QFETCH(QByteArray, report);
        QFETCH(QByteArray, late);
        f->sim.setSilentWrites(!confirms);
        f->sim.setEchoRequests(echo);
        QVERIFY(connect());
        auto &ui = f->ui();
        ui.textEdit_2->setPlainText(QStringLiteral("srv.example.net"));
        ui.textEdit_3->setPlainText(QStringLiteral("4001"));
        ui.textEdit_4->setPlainText(QStringLiteral("Zk93pQ"));
        ui.textEdit_5->setPlainText(QStringLiteral("dev-0042"));
        for (QCheckBox *box :
             {ui.checkBox_13, ui.checkBox_7, ui.checkBox_16, ui.checkBox_3, ui.checkBox_14})
            f->click(box);
        int writes = 0;
        QObject::connect(&f->sim, &TerminalSimulator::requestReceived, &f->sim,
                         [&, report, late](const TerminalSimulator::Request &request) {
                             if (request.text.contains('='))
                                 f->sim.sendGarbage(report + (writes++ ? late : QByteArray()));
                         });
        QCOMPARE(f->progress(), QString());
        f->probe->tick100ms() = 0;
        f->click(ui.writeButton);
        // A step begins where the bar moves on: the beats since the step before
        // (since the click for the first), and the bar then.
        QStringList steps;
        for (int tick = f->ticks; !f->logContains(kWriteSucceeded) && f->ticks - tick < 2000;) {
            const QString before = f->progress();
            f->runTicks(1);
            if (f->progress() != before) {
                steps << QStringLiteral("%1 beats, %2")
                             .arg((f->ticks - tick) / 10)
                             .arg(f->progress());
                tick = f->ticks;
            }
        }
        const QList<int> sent{1, 5, 6, 7, 8}; // after the writes that go out: 28, 32, 33, 34, 35
        QStringList expected;
        for (int done = 0; done <= 22; ++done)
            expected << QStringLiteral("%1 beats, %2/22")
                            .arg(sent.contains(done) && !confirms ? 21 : 1)
                            .arg(done);
        QCOMPARE(steps, expected);
        f->runTicks(10);
        QCOMPARE(f->progress(), QString());
        QCOMPARE(f->logCount(QStringLiteral("服务器状态为：未连接")), report.isEmpty() ? 0 : 5);
    }

    // In step order, station address and rate to the address in use; the
    // read-back asks station 0, then the new address. A refusal is named as it
    // comes and fails its parameter even when the read-back matches.
    void writeOfEveryParameterEndsTheReadAndIsRecorded_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QStringList>("refuses");
        QTest::addColumn<QString>("loginName"); // what the terminal holds before
        QTest::addColumn<QString>("afterName"); // the entry after the name's command
        QTest::addColumn<QString>("verdict");   // the entries after the read-back
        QTest::addColumn<QString>("recorded");
        const QString name = QStringLiteral("tv2400001");
        const QString failed = QStringLiteral("mqttName写入失败\r\n|批量写入失败数量：\r\n1");
        const QStringList pkey{QStringLiteral("PKEY")};
        QTest::newRow("confirmed") << false << QStringList() << name << kAllWritesSent
                                   << kWriteSucceeded << QStringLiteral("成功,");
        QTest::newRow("unconfirmed") << true << QStringList() << name << kAllWritesSent
                                     << kWriteSucceeded << QStringLiteral("成功,");
        QTest::newRow("the name refused, read back the same")
            << false << pkey << QStringLiteral("dev-0042") << QStringLiteral("MQTT登录名写入被拒绝")
            << failed << QStringLiteral("失败,MQTT登录名");
        QTest::newRow("the address and the name refused")
            << false << QStringList{QStringLiteral("DOMAIN"), QStringLiteral("PKEY")} << name
            << QStringLiteral("MQTT登录名写入被拒绝")
            << QStringLiteral("服务器地址写入失败\r\n|服务器端口写入失败\r\n|mqttName写入失败\r\n|"
                              "批量写入失败数量：\r\n3")
            << QStringLiteral("失败,服务器地址、服务器端口、MQTT登录名");
        QTest::newRow("the name refused silently") << true << pkey << name << kAllWritesSent
                                                   << failed << QStringLiteral("失败,MQTT登录名");
    }
    void writeOfEveryParameterEndsTheReadAndIsRecorded()
    {
        QFETCH(bool, silent);
        QFETCH(QStringList, refuses);
        QFETCH(QString, loginName);
        QFETCH(QString, afterName);
        QFETCH(QString, verdict);
        QFETCH(QString, recorded);
        f->sim.setSilentWrites(silent);
        f->sim.setRefusedWrites(refuses);
        f->sim.state().mqttLoginName = loginName;
        QVERIFY(connect());
        f->probe->recordPathShown() = false; // as at the start of a run
        auto &ui = f->ui();
        ui.readAddress_3->setValue(7);
        ui.BraudRate_3->setCurrentIndex(ui.BraudRate_3->findText(QStringLiteral("9600")));
        ui.BraudRate_4->setCurrentIndex(1); // "TCP-JT808" here, "TCP_JT808" read back
        ui.BraudRate_10->setCurrentIndex(7);
        ui.readAddress_5->setValue(120);
        ui.textEdit_2->setPlainText(QStringLiteral("srv.example.net"));
        ui.textEdit_3->setPlainText(QStringLiteral("4001"));
        ui.textEdit_5->setPlainText(QStringLiteral("dev-0042"));
        ui.textEdit_4->setPlainText(QStringLiteral("Zk93pQ"));
        QTest::keyClicks(ui.SNlineEdit, QStringLiteral("TV2400042"));
        // The interval ticks the key, the server address the port.
        for (QCheckBox *box : {ui.checkBox, ui.checkBox_2, ui.checkBox_7, ui.checkBox_13,
                               ui.checkBox_16, ui.checkBox_3, ui.checkBox_14, ui.checkBox_8})
            f->click(box);
        const int count = f->logMessages().size();
        f->click(ui.readButton);
        QVERIFY(clickAfterSteps(1, ui.writeButton) && f->waitIdle());
        // The key goes with the interval at step 33, so step 36 stays silent,
        // and both are read back once, at step 20.
        QCOMPARE(f->steps(),
                 entries(QStringLiteral(
                     "13 AT+VER|28 AT+DEVTYPE=7|29 AT+SN=TV2400042|"
                     "30 01 06 01 00 00 07 C9 F4|31 01 06 01 01 00 02 58 37|"
                     "32 AT+SRVPRO=1|33 AT+BEAT=Zk93pQ,120|"
                     "34 AT+DOMAIN=srv.example.net:4001|35 AT+PKEY=dev-0042,|"
                     "14 00 03 01 00 00 01 84 27|15 07 03 01 01 00 01 D4 50|16 AT+SN?|"
                     "20 AT+BEAT?|21 AT+DOMAIN?|22 AT+PKEY?|24 AT+SRVPRO?|25 AT+DEVTYPE?")));
        const QStringList log = f->logSince(count);
        QCOMPARE(log.at(log.indexOf(QStringLiteral("发送AT指令:AT+PKEY=dev-0042,\r\n")) + 1),
                 afterName);
        QCOMPARE(log.mid(log.indexOf(kReadDone)),
                 entries(kReadDone + QLatin1Char('|') + verdict)
                     << QStringLiteral("写入记录保存在：") + f->probe->recordPath());
        QCOMPARE(f->boxes.count(), int(verdict != kWriteSucceeded));

        const QStringList lines = f->recordLines();
        QCOMPARE(lines.size(), 3); // the header, the write, nothing after the last line end
        QCOMPARE(lines.at(0),
                 QStringLiteral("时间,端口,波特率,站号,SN,写入站号,写入波特率,写入服务器协议,"
                                "写入设备类型,写入上传间隔,写入服务器地址,写入服务器端口,"
                                "写入MQTT登录名,写入MQTT登录密钥,写入SN,结果,说明,SN绑定文件"));
        QVERIFY(QDateTime::fromString(lines.at(1).left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                    .isValid());
        QCOMPARE(lines.at(1).mid(19), QLatin1Char(',') + f->sim.slavePath() +
                                          QStringLiteral(",9600,7,TV2400042,7,9600,1,7,120,"
                                                         "srv.example.net,4001,dev-0042,已写入,"
                                                         "TV2400042,") +
                                          recorded + QLatin1Char(','));
    }

    // "批量写入" pressed again, "批量读取" before the read-back, or "断开连接" ends a
    // write without a verdict; the record says which, and where it lives, once.
    // Connected again, possibly to the next terminal, nothing of it goes out.
    void aWriteEndedByAnotherBatchOrByDisconnectingHasNoVerdict()
    {
        f->probe->recordPathShown() = false; // as at the start of a run
        auto &ui = f->ui();
        QVERIFY(interruptWrite(1, ui.writeButton));
        QVERIFY(clickAfterSteps(1, ui.readButton));
        QVERIFY(f->waitIdle());
        // The read waits out the write's own reply, then walks every read step.
        QCOMPARE(f->steps(),
                 entries(QStringLiteral(
                     "28 AT+DEVTYPE=5|13 AT+VER|14 00 03 01 00 00 01 84 27|"
                     "15 01 03 01 01 00 01 D4 36|16 AT+SN?|18 AT+OPENDEV?|20 AT+BEAT?|"
                     "21 AT+DOMAIN?|22 AT+PKEY?|23 AT+BEAT?|24 AT+SRVPRO?|25 AT+DEVTYPE?")));
        f->click(ui.writeButton);
        QVERIFY(clickAfterSteps(1, ui.disConnectButton));
        const int count = f->logMessages().size();
        QVERIFY(f->drainLine()); // "ENATCMD=1,0": the terminal has its AT commands off
        f->sim.clearRequests();
        QVERIFY(f->connectManually());
        f->runTicks(300); // longer than a write step's wait: a resumed write would show
        QCOMPARE(f->sim.atCommands(), (QStringList{"ENATCMD?", "ENATCMD=1,1", "GSMLOG=0"}));
        QVERIFY(!f->logSince(count).contains(kAllWritesSent));
        QCOMPARE(f->sim.state().mqttLoginName, TerminalSimulator::State().mqttLoginName);
        QCOMPARE(verdict(1) + verdict(2) + verdict(3),
                 QStringLiteral("中断,重新批量写入中断,批量读取中断,断开连接"));
        QCOMPARE(f->logCount(QStringLiteral("写入记录保存在：") + f->probe->recordPath()), 1);
        QCOMPARE(f->boxes.count(), 0);
    }

    // "批量读取" during the read-back starts the read-back over; the verdict follows.
    void aReadDuringTheReadBackStartsItOver()
    {
        QVERIFY(interruptWrite(3, f->ui().readButton)); // the read-back's first query is out
        QVERIFY(f->waitIdle());
        QCOMPARE(f->steps(), entries(QStringLiteral("28 AT+DEVTYPE=5|35 AT+PKEY=dev-x,|22 AT+PKEY?|"
                                                    "22 AT+PKEY?|25 AT+DEVTYPE?")));
        QCOMPARE(f->logMessages().last(), kWriteSucceeded);
        QCOMPARE(verdict(1), QStringLiteral("成功,"));
    }

    // The terminal takes it at once: the read-back at the old rate goes unanswered.
    void aNewRateFailsItsReadBackAtTheOldRate()
    {
        QVERIFY(connect());
        auto &ui = f->ui();
        f->click(ui.checkBox_2);
        ui.BraudRate_3->setCurrentIndex(ui.BraudRate_3->findText(QStringLiteral("115200")));
        f->recordSteps();
        f->click(ui.writeButton);
        QVERIFY(f->waitIdle());
        QCOMPARE(f->steps(), entries(QStringLiteral("31 01 06 01 01 00 03 99 F7|"
                                                    "15 01 03 01 01 00 01 D4 36")));
        QCOMPARE(f->sim.state().baudCode, 3);
        QCOMPARE(f->logSince(f->logMessages().size() - 3),
                 entries(QStringLiteral("已发完批量读取命令\r\n|波特率写入失败\r\n|"
                                        "批量写入失败数量：\r\n1")));
        QCOMPARE(f->boxes.count(), 1);
        QCOMPARE(verdict(1), QStringLiteral("失败,波特率"));
    }
};

QTEST_MAIN(BatchTest)
#include "test_batch.moc"
