// What a technician's bench throws at the tool: a line that babbles garbage,
// an adapter pulled out in the middle of a batch, a port another program has
// open, a settings file that got mangled, a binding file that is not what it
// should be, and a serial number far longer than any terminal takes. The tool
// must shrug each off: no crash, no hang, nothing the user typed lost, and the
// next thing the user does still works.

#include "FileDialogAnswer.h"
#include "SimFixture.h"
#include "TestSettings.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QSerialPort>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>

namespace {

const QString kErrorBoxTitle = QStringLiteral("串口操作错误");
const QString kErrorBoxText = QStringLiteral("请检查当前选择的串口是否可用!\r\n\r\n");
const QString kStatusConnected = QStringLiteral(" 设备连接成功");
const QString kStatusFailed = QStringLiteral(" 连接失败,请检查线路连接及串口编号是否正确");
const QString kReadDone = QStringLiteral("已发完批量读取命令\r\n");
const QString kWriteSucceeded = QStringLiteral("批量写入成功\r\n");
const QString kRefreshEntry = QStringLiteral("刷新串口");
const QString kFileFailed = QStringLiteral("CSV文件打开失败 功能不可用");

// What the receive buffer may hold at most; the terminal's replies are far shorter.
constexpr int kMaxRxBufferBytes = 4096;
// A batch read of a prompt terminal takes under two seconds; a machine shared
// with other work may take much longer.
constexpr int kReadTimeoutMs = 30000;

// The same bytes on every run: zeros, line ends, invalid UTF-8, "+", ":" and
// ",", everything a babbling line or a corrupt file holds.
QByteArray junk(int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    quint32 state = seed;
    for (char &byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = char(state >> 16);
    }
    return bytes;
}

QString statusText(SimFixture &f)
{
    return f.window->statusBar()->currentMessage();
}

// Everything the terminal received since its request list was last cleared,
// byte for byte, whatever it made of it.
QByteArray receivedBytes(const TerminalSimulator &sim)
{
    QByteArray bytes;
    for (const TerminalSimulator::Request &request : sim.requests())
        bytes += request.raw;
    return bytes;
}

// Drops the line the moment the terminal receives a request starting with
// `text`: the adapter is pulled while the tool waits for the answer.
void unplugOnRequest(TerminalSimulator &sim, const QString &text)
{
    QObject::connect(&sim, &TerminalSimulator::requestReceived, &sim,
                     [&sim, text](const TerminalSimulator::Request &request) {
                         if (request.text.startsWith(text) && sim.isOpen())
                             sim.dropLine();
                     });
}

// The child process that holds a port: opens it as any serial program would
// and keeps it until its standard input closes.
int holdPort(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QSerialPort port(QString::fromLocal8Bit(argv[2]));
    if (!port.open(QIODevice::ReadWrite)) {
        std::printf("failed %s\n", qPrintable(port.errorString()));
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char byte;
    while (std::fread(&byte, 1, 1, stdin) == 1) {
    }
    return 0;
}

} // namespace

class RobustnessTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void garbageAndBurstLeaveTheLineUsable();
    void adapterPulledDuringBatchRead();
    void adapterPulledDuringBatchWrite();
    void portHeldByAnotherProgram();
    void corruptSettingsFile_data();
    void corruptSettingsFile();
    void oddBindingFile_data();
    void oddBindingFile();
    void tenThousandCharacterSerialNumber();

private:
    bool readAll(SimFixture &f);
    void expectLostConnection(SimFixture &f);
    // `other` is the terminal on the new adapter, made before the fixture so
    // that the window lets go of it before it goes away; `boxes` is how many
    // boxes the window has shown by the end, the pulled adapter's included.
    void expectNextConnectionWorks(SimFixture &f, TerminalSimulator &other, int boxes);
};

void RobustnessTest::initTestCase()
{
    isolateSettings();
}

void RobustnessTest::init()
{
    QFile::remove(settingsFilePath());
}

// Presses "批量读取" and waits for the read to end.
bool RobustnessTest::readAll(SimFixture &f)
{
    const int reads = f.logCount(kReadDone);
    f.click(f.ui().readButton);
    return QTest::qWaitFor([&] { return f.logCount(kReadDone) > reads; }, kReadTimeoutMs) &&
           f.waitIdle();
}

// A pulled adapter: one box that says so, the failed state in the status bar,
// the port closed, and the connect buttons back.
void RobustnessTest::expectLostConnection(SimFixture &f)
{
    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.count(), 1, 10000);
    QCOMPARE(f.boxes.last().title, kErrorBoxTitle);
    QVERIFY2(f.boxes.last().text.startsWith(kErrorBoxText), qPrintable(f.boxes.last().text));
    QCOMPARE(f.session().connectState, qint32(ConnectFailed));
    QCOMPARE(statusText(f), kStatusFailed);
    QVERIFY(!f.probe->serialPort().isOpen());
    QVERIFY(f.ui().connectButton->isEnabled());
    QVERIFY(f.ui().autoConnectButton->isEnabled());
}

// A new adapter with a terminal on it, chosen in the port list: it connects,
// nothing of the batch that was cut off goes to it, and the terminal answers
// a "读取SN号" that the window shows.
void RobustnessTest::expectNextConnectionWorks(SimFixture &f, TerminalSimulator &other, int boxes)
{
    QVERIFY(other.openPty());
    other.state().serialNumber = QStringLiteral("TV2400777");
    f.choosePort(other.slavePath());
    f.click(f.ui().connectButton);
    QTRY_COMPARE_WITH_TIMEOUT(f.session().connectState, qint32(Connected), 5000);
    QCOMPARE(statusText(f), kStatusConnected);
    QVERIFY(f.waitIdle(60000));
    QCOMPARE(other.atCommands(), (QStringList{"ENATCMD?", "GSMLOG=0"}));
    QVERIFY(other.modbusFrames().isEmpty());

    f.ui().lineEdit->clear();
    f.click(f.ui().readSNbutton);
    QTRY_COMPARE_WITH_TIMEOUT(f.ui().lineEdit->text(), QStringLiteral("TV2400777"), 5000);
    QCOMPARE(f.session().connectState, qint32(Connected));
    QCOMPARE(f.boxes.count(), boxes);
}

// Random bytes, then a 64 KiB burst, arrive while the window is connected and
// idle. The receive buffer never grows past its bound, the connection stays,
// and a batch read afterwards reads every parameter.
void RobustnessTest::garbageAndBurstLeaveTheLineUsable()
{
    SimFixture f;
    QVERIFY(f.connectManually());
    QVERIFY(f.waitIdle(10000));
    f.sim.state().serialNumber = QStringLiteral("TV2400555");

    int largest = 0;
    qint64 arrivals = 0;
    QElapsedTimer sinceLastArrival;
    // Runs after the window's own handler has taken the bytes in.
    QObject::connect(&f.probe->serialPort(), &QSerialPort::readyRead, &f.sim, [&] {
        largest = qMax(largest, f.probe->rxBuffer().size());
        ++arrivals;
        sinceLastArrival.start();
    });
    const auto lineFallsQuiet = [&](qint64 after) {
        return QTest::qWaitFor(
            [&] { return arrivals > after && sinceLastArrival.elapsed() >= 300; }, 20000);
    };

    f.sim.sendGarbage(junk(3000, 7));
    QVERIFY(lineFallsQuiet(0));
    const qint64 beforeBurst = arrivals;
    f.sim.sendGarbage(junk(64 * 1024, 11));
    QVERIFY(lineFallsQuiet(beforeBurst));

    // The burst did fill the buffer to its bound, and no further.
    QCOMPARE(largest, kMaxRxBufferBytes);
    QCOMPARE(f.session().connectState, qint32(Connected));
    QCOMPARE(statusText(f), kStatusConnected);
    QCOMPARE(f.boxes.count(), 0);

    f.sim.clearRequests();
    QVERIFY(readAll(f));
    QCOMPARE(f.sim.atCommands(), (QStringList{"VER", "SN?", "OPENDEV?", "BEAT?", "DOMAIN?", "PKEY?",
                                              "BEAT?", "SRVPRO?", "DEVTYPE?"}));
    QCOMPARE(f.sim.modbusFrames().size(), 2);
    QCOMPARE(f.ui().lineEdit->text(), QStringLiteral("TV2400555"));
    QCOMPARE(f.ui().textBrowser->toPlainText(), f.sim.state().serverHost);
    QCOMPARE(f.ui().textBrowser_2->toPlainText(), f.sim.state().mqttLoginName);
    QCOMPARE(f.boxes.count(), 0);
}

// The adapter is pulled while the read waits for the answer to "DOMAIN?".
void RobustnessTest::adapterPulledDuringBatchRead()
{
    TerminalSimulator other;
    SimFixture f;
    QVERIFY(f.connectManually());
    QVERIFY(f.waitIdle(10000));
    unplugOnRequest(f.sim, QStringLiteral("AT+DOMAIN?"));

    f.click(f.ui().readButton);
    expectLostConnection(f);
    QVERIFY(!f.logContains(kReadDone));
    expectNextConnectionWorks(f, other, 1);
    QVERIFY(!f.logContains(kReadDone));
}

// The adapter is pulled while the write waits on "SN=": the terminal never got
// it, and the tool never claims it did.
void RobustnessTest::adapterPulledDuringBatchWrite()
{
    TerminalSimulator other;
    SimFixture f;
    QVERIFY(f.connectManually());
    QVERIFY(f.waitIdle(10000));
    f.ui().checkBox_8->click(); // "SN" in "修改参数"
    f.ui().SNlineEdit->setText(QStringLiteral("TV2400999"));
    unplugOnRequest(f.sim, QStringLiteral("AT+SN="));

    f.click(f.ui().writeButton);
    expectLostConnection(f);
    QCOMPARE(f.sim.atCommands().last(), QStringLiteral("SN=TV2400999"));
    QVERIFY(!f.logContains(kWriteSucceeded));

    // The write ended with its connection: the next terminal gets none of it,
    // and no verification runs against it.
    expectNextConnectionWorks(f, other, 1);
    QVERIFY(!other.atCommands().contains(QStringLiteral("SN=TV2400999")));
    QVERIFY(!f.logContains(QStringLiteral("SN写入失败\r\n")));
    QVERIFY(!f.logContains(kWriteSucceeded));
}

// Another program has the port open. "连接设备" shows the error box and leaves
// the terminal unasked; once the other program lets go, it connects.
void RobustnessTest::portHeldByAnotherProgram()
{
    SimFixture f;
    QProcess holder;
    holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    holder.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--hold-port"), f.sim.slavePath()});
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));

    f.choosePort();
    f.click(f.ui().connectButton);
    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.count(), 1, 5000);
    QCOMPARE(f.boxes.last().title, kErrorBoxTitle);
    QVERIFY2(f.boxes.last().text.startsWith(kErrorBoxText), qPrintable(f.boxes.last().text));
    QCOMPARE(f.session().connectState, qint32(ConnectFailed));
    QCOMPARE(statusText(f), kStatusFailed);
    QVERIFY(!f.probe->serialPort().isOpen());
    QTest::qWait(700); // a connect window's worth of beats
    QVERIFY(f.sim.requests().isEmpty());
    QCOMPARE(f.boxes.count(), 1);

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitCode(), 0);
    f.click(f.ui().connectButton);
    QTRY_COMPARE_WITH_TIMEOUT(f.session().connectState, qint32(Connected), 5000);
    QCOMPARE(statusText(f), kStatusConnected);
    QCOMPARE(f.boxes.count(), 1);
}

void RobustnessTest::corruptSettingsFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("binary junk") << junk(4096, 3);
    QTest::newRow("broken INI") << QByteArray("[General\nlastComName=\"/dev/ttyUSB0\n"
                                              "snFilePath=\\x\\\n[[[]\n=no key\nno value\n"
                                              "\xff\xfe\x00\x01lastComName\n");
    QTest::newRow("values of the wrong type")
        << QByteArray("[General]\nlastComName=@Variant(\\0\\0\\0\\x7f\\xff\\xff)\n"
                      "snFilePath=@Rect(1 2 x)\n@Invalid()=@Size(\n");
    // Sized by the literal itself, zero bytes included.
    QTest::newRow("UTF-16 text") << QByteArrayLiteral("\xff\xfe[\0G\0e\0n\0e\0r\0a\0l\0]\0\n\0");
}

// The window starts on whatever "Setting.ini" holds, offers the ports, and a
// connection made then is remembered for the next start.
void RobustnessTest::corruptSettingsFile()
{
    QFETCH(QByteArray, content);
    {
        QFile file(settingsFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    SimFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    QComboBox *ports = f.ui().SerialComNum;
    QVERIFY(ports->count() >= 1);
    QCOMPARE(ports->itemText(ports->count() - 1), kRefreshEntry);
    QVERIFY(f.logMessages().isEmpty()); // the welcome text only
    QCOMPARE(f.boxes.count(), 0);

    QVERIFY(f.connectManually());
    QCOMPARE(statusText(f), kStatusConnected);
    QVERIFY(f.waitIdle(10000));
    f.window.reset();

    QSettings settings(settingsFilePath(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("lastComName")).toString(), f.sim.slavePath());
}

void RobustnessTest::oddBindingFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("serialNumber");
    // What the MQTT fields must show (patterns); empty: not in the file.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");

    QTest::newRow("binary") << junk(256 * 1024, 5) << QStringLiteral("TV2400001") << QString()
                            << QString();

    // Files saved in a Chinese Windows code page and in Latin-1: what is not
    // ASCII comes out garbled, the ASCII serial numbers still match.
    QTest::newRow("GBK, not UTF-8")
        << QByteArray("name01,SN-GBK-01,key01\r\n"
                      "\xc3\xfb\xb3\xc6,SN-GBK-02,key\xb1\xea"
                      "02\r\n")
        << QStringLiteral("SN-GBK-02") << QStringLiteral("^.+$") << QStringLiteral("^key.+02$");
    QTest::newRow("Latin-1, not UTF-8")
        << QByteArray("name01,SN-LAT-01,key01\n"
                      "caf\xe9,SN-LAT-02,k\xe9y02\n")
        << QStringLiteral("SN-LAT-02") << QStringLiteral("^caf.+$") << QStringLiteral("^k.+y02$");

    QByteArray lines;
    lines.reserve(100000 * 32);
    for (int i = 0; i < 100000; ++i)
        lines += QStringLiteral("dev-%1,TV%1,k%1x\r\n").arg(i, 6, 10, QLatin1Char('0')).toLatin1();
    QTest::newRow("100,000 lines")
        << lines << QStringLiteral("TV099999") << QStringLiteral("^dev-099999$")
        << QStringLiteral("^k099999x$");
}

// The file is chosen in the real file dialog, binding is switched on and the
// serial number typed key by key. The window stays connected and answering
// throughout; a serial number in the file fills the MQTT fields, and one that
// is not leaves what the user typed there.
void RobustnessTest::oddBindingFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, serialNumber);
    QFETCH(QString, name);
    QFETCH(QString, key);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("binding.csv"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), qint64(content.size()));
    }

    SimFixture f;
    QVERIFY(f.connectManually());
    QVERIFY(f.waitIdle(10000));
    auto &ui = f.ui();
    ui.textEdit_4->setPlainText(QStringLiteral("typed key"));
    ui.textEdit_5->setPlainText(QStringLiteral("typed name"));

    {
        FileDialogAnswer answer(path);
        f.click(ui.pushButton_5);
        QVERIFY(answer.answered);
    }
    QCOMPARE(f.probe->snBindingFile(), path);
    QVERIFY(!f.logMessages().join(QLatin1Char('\n')).contains(kFileFailed));

    ui.checkBox_6->click(); // "SN绑定文件"
    QTest::keyClicks(ui.SNlineEdit, serialNumber);
    QCOMPARE(ui.SNlineEdit->text(), serialNumber);
    QCOMPARE(f.session().wSN, serialNumber);

    if (key.isEmpty()) {
        QVERIFY(!f.logContains(QStringLiteral("找到SN:") + serialNumber));
        QCOMPARE(ui.textEdit_4->toPlainText(), QStringLiteral("typed key"));
        QCOMPARE(ui.textEdit_5->toPlainText(), QStringLiteral("typed name"));
    } else {
        QCOMPARE(f.logCount(QStringLiteral("找到SN:") + serialNumber), 1);
        const QString foundKey = ui.textEdit_4->toPlainText();
        const QString foundName = ui.textEdit_5->toPlainText();
        QVERIFY2(QRegularExpression(key).match(foundKey).hasMatch(), qPrintable(foundKey));
        QVERIFY2(QRegularExpression(name).match(foundName).hasMatch(), qPrintable(foundName));
    }

    // Still connected and answering.
    f.sim.state().serialNumber = QStringLiteral("TV2400888");
    f.click(ui.readSNbutton);
    QTRY_COMPARE_WITH_TIMEOUT(ui.lineEdit->text(), QStringLiteral("TV2400888"), 5000);
    QCOMPARE(f.session().connectState, qint32(Connected));
    QCOMPARE(f.boxes.count(), 0);
}

// A serial number of 10,000 characters typed key by key: the field keeps every
// character, and "写入SN号" puts all of them on the line.
void RobustnessTest::tenThousandCharacterSerialNumber()
{
    QString serialNumber;
    serialNumber.reserve(10000);
    const QString digits = QStringLiteral("0123456789ABCDEFGHJKLMNPQRSTUVWXYZ");
    for (int i = 0; i < 10000; ++i)
        serialNumber += digits.at((i * 7 + i / 34) % digits.size());

    SimFixture f;
    QVERIFY(f.connectManually());
    QVERIFY(f.waitIdle(10000));
    auto &ui = f.ui();
    ui.SNlineEdit->setFocus();
    QTest::keyClicks(ui.SNlineEdit, serialNumber);
    QCOMPARE(ui.SNlineEdit->text(), serialNumber);
    QCOMPARE(f.session().wSN, serialNumber);

    f.sim.clearRequests();
    f.click(ui.writeSNbutton);
    const QByteArray expected = "AT+SN=" + serialNumber.toLatin1() + "\r\n";
    QTRY_COMPARE_WITH_TIMEOUT(receivedBytes(f.sim).size(), expected.size(), 10000);
    QCOMPARE(receivedBytes(f.sim), expected);
    QVERIFY(
        f.logContains(QStringLiteral("发送AT指令:AT+SN=") + serialNumber + QStringLiteral("\r\n")));
    QCOMPARE(f.session().connectState, qint32(Connected));
    QCOMPARE(ui.SNlineEdit->text(), serialNumber);
    QCOMPARE(f.boxes.count(), 0);
}

// The file dialog is Qt's own, never the desktop's, so that a test can answer
// it. "--hold-port <port>" makes this program the other program that holds a
// port.
int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--hold-port") == 0)
        return holdPort(argc, argv);
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    RobustnessTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_robustness.moc"
