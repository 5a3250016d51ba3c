// The window's protocol members on a pseudo-terminal: every command of the
// catalogue as it reaches the line, and every reply handed to the parsers as
// it lands in the widgets, the session record and the log.

#include "PtyPair.h"
#include "WindowProbe.h"

#include "protocol/modbus.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTextEdit>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {

QByteArray hex(const char *spaced)
{
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

// What the log window shows of a message: each line break of the message
// starts a new line of the window.
QString asLogged(QString message)
{
    return message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QStringList asLogged(const QStringList &messages)
{
    QStringList shown;
    for (const QString &message : messages)
        shown << asLogged(message);
    return shown;
}

// The entries of the log window, oldest first, without their timestamps. The
// lines of a message that spans several lines stay together; the welcome
// text in front of the first entry is no entry.
QStringList logMessages(const WindowProbe &probe)
{
    static const QRegularExpression stamp(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\t"));
    QStringList messages;
    const QStringList lines = probe.logText().split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = stamp.match(line);
        if (match.hasMatch())
            messages << line.mid(match.capturedLength());
        else if (!messages.isEmpty())
            messages.last() += QLatin1Char('\n') + line;
    }
    return messages;
}

// The log entries written since it was made.
class LogWatch
{
public:
    explicit LogWatch(const WindowProbe &probe) : p(probe), before(logMessages(probe).size()) {}
    QStringList added() const { return logMessages(p).mid(before); }

private:
    const WindowProbe &p;
    int before;
};

const QByteArray kMarker = "AT+ENATCMD?\r\n"; // selector 1, sent whatever the state

} // namespace

class WindowProtocolTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void crc16Member();
    void rs485FrameGoesOutWhole();
    void catalogue_data();
    void catalogue();
    void verificationReadsOnlyWrittenParameters();
    void baudCodeWritten_data();
    void baudCodeWritten();
    void toggleButtons_data();
    void toggleButtons();
    void deviceToggleHeldWhileVerifying();
    void writtenNameAndKeyRemembered();
    void nonLatin1CharacterSentAsQuestionMark();
    void closedPortSendsNothing();

    void rs485Replies_data();
    void rs485Replies();
    void atReplies_data();
    void atReplies();
    void unsolicitedOutputHandledOnce();

private:
    QByteArray lineSinceLastLook();
    QString observed(const QString &what);
    void checkAll(const QStringList &checks);
    void addReplyColumns();

    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<ZorvikTestTool> window;
    std::unique_ptr<WindowProbe> probe;
};

void WindowProtocolTest::initTestCase()
{
    pty = std::make_unique<PtyPair>();
    QVERIFY(pty->isValid());
    window = std::make_unique<ZorvikTestTool>();
    probe = std::make_unique<WindowProbe>(*window);
    // Commands are sent and replies parsed by hand here; the tick must not
    // step in between.
    probe->tickTimer().stop();
    probe->session().comName = pty->slavePath();
    probe->openSerialPort(9600);
    QVERIFY(probe->serialPort().isOpen());
}

void WindowProtocolTest::cleanupTestCase()
{
    probe.reset();
    window.reset();
    pty.reset();
}

// A known state before every case: station 1, nothing selected for writing,
// no verification, the toggles showing "打开", recognisable values in every
// field a reply may change, and a line with nothing pending on it.
void WindowProtocolTest::init()
{
    QVERIFY(probe->serialPort().isOpen());
    lineSinceLastLook();

    Ui::ZorvikTestToolClass &ui = probe->ui();
    ui.pushButton_3->setText(QStringLiteral("打开继电器1"));
    ui.pushButton_2->setText(QStringLiteral("打开继电器2"));
    ui.pushButton->setText(QStringLiteral("打开继电器3"));
    ui.pushButton_4->setText(QStringLiteral("打开设备"));
    ui.textEdit_4->setPlainText(QStringLiteral("k3y"));
    ui.textEdit_2->setPlainText(QStringLiteral("mq.example.com"));
    ui.textEdit_3->setPlainText(QStringLiteral("3999"));
    ui.textEdit_5->setPlainText(QStringLiteral("name1"));
    ui.readAddress_5->setValue(60);
    ui.BraudRate_10->setCurrentIndex(7);
    ui.BraudRate_4->setCurrentIndex(3);

    ui.label_4->setText(QStringLiteral("-"));
    ui.lineEdit->setText(QStringLiteral("-"));
    ui.readAddress_2->setValue(1);
    ui.braudRate_2->setItemText(0, QStringLiteral("9600"));
    ui.braudRate_2->setCurrentIndex(2);
    ui.readAddress_4->setValue(1);
    ui.textBrowser_6->setPlainText(QStringLiteral("-"));
    ui.textBrowser->setPlainText(QStringLiteral("-"));
    ui.textBrowser_5->setPlainText(QStringLiteral("-"));
    ui.textBrowser_2->setPlainText(QStringLiteral("-"));
    ui.BraudRate_5->setCurrentIndex(0);
    ui.BraudRate_9->setCurrentIndex(0);
    ui.label_Humidy->setText(QStringLiteral("-"));
    ui.label_Temp->setText(QStringLiteral("-"));

    SessionState &s = probe->session();
    s.sessionFlags = 0;
    s.writeMask = 0;
    s.devAddress = 1;
    s.wSN = QStringLiteral("A1234");
    s.wDevAddress = 5;
    s.wBraudRate = 115200;
    s.wMqttName.clear();
    s.wMqttCode.clear();
    s.devBraudRate = 9600;
    s.devUpDataInterval = 0;
    s.devSrvAddr = QStringLiteral("-");
    s.devSrvPort = 0;
    s.devMqttName = QStringLiteral("-");
    s.devMqttCode = QStringLiteral("-");
    s.answeredMask = 0;

    // Leftovers of an earlier exchange, which a send must discard and a
    // skipped command must leave alone.
    probe->waitSelector() = 99;
    probe->rxBuffer() = "stale";
    probe->rxQuietTicks() = 3;
    probe->rxOfferedSize() = 5;
    probe->rxUnsolicitedFrom() = 5;
}

// Everything the window has put on the line since the last look, read on the
// terminal's side. A marker command closes the run, so the bytes are known to
// be complete without waiting for a silence; the port's writes leave from the
// event loop, which therefore keeps running while the master is read.
QByteArray WindowProtocolTest::lineSinceLastLook()
{
    probe->sendCommand(1);
    QByteArray bytes;
    QDeadlineTimer deadline(10000);
    while (!bytes.endsWith(kMarker) && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        bytes += pty->readAvailable();
        if (!bytes.endsWith(kMarker))
            QThread::msleep(1);
    }
    if (!bytes.endsWith(kMarker))
        return "<line stalled: " + bytes.toHex(' ') + ">";
    bytes.chop(kMarker.size());
    return bytes;
}

// What a technician (or the session record) shows for `what`: a widget by its
// object name, item i of a combo as "name[i]", or "session.<field>".
QString WindowProtocolTest::observed(const QString &what)
{
    const SessionState &s = probe->session();
    if (what == QLatin1String("session.devOpen"))
        return QString::number(int(s.has(SessionState::devOpen)));
    if (what == QLatin1String("session.logOn"))
        return QString::number(int(s.has(SessionState::logOn)));
    if (what == QLatin1String("session.srvConnected"))
        return QString::number(int(s.has(SessionState::srvConnected)));
    if (what == QLatin1String("session.devAddress"))
        return QString::number(s.devAddress);
    if (what == QLatin1String("session.devBraudRate"))
        return QString::number(s.devBraudRate);
    if (what == QLatin1String("session.devUpDataInterval"))
        return QString::number(s.devUpDataInterval);
    if (what == QLatin1String("session.devSrvAddr"))
        return s.devSrvAddr;
    if (what == QLatin1String("session.devSrvPort"))
        return QString::number(s.devSrvPort);
    if (what == QLatin1String("session.answeredMask"))
        return QString::number(s.answeredMask, 16);
    if (what == QLatin1String("session.devMqttName"))
        return s.devMqttName;
    if (what == QLatin1String("session.devMqttCode"))
        return s.devMqttCode;

    static const QRegularExpression item(QStringLiteral("^(\\w+)\\[(\\d+)\\]$"));
    const QRegularExpressionMatch itemMatch = item.match(what);
    if (itemMatch.hasMatch()) {
        auto *combo = window->findChild<QComboBox *>(itemMatch.captured(1));
        return combo ? combo->itemText(itemMatch.captured(2).toInt()) : QStringLiteral("<none>");
    }
    QWidget *widget = window->findChild<QWidget *>(what);
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        return edit->text();
    if (auto *spin = qobject_cast<QSpinBox *>(widget))
        return QString::number(spin->value());
    if (auto *text = qobject_cast<QTextEdit *>(widget))
        return text->toPlainText();
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        return QString::number(combo->currentIndex()) + QLatin1Char(':') + combo->currentText();
    return QStringLiteral("<unknown ") + what + QLatin1Char('>');
}

// Each check reads "what=expected".
void WindowProtocolTest::checkAll(const QStringList &checks)
{
    for (const QString &check : checks) {
        const int eq = check.indexOf(QLatin1Char('='));
        const QString what = check.left(eq);
        const QString expected = check.mid(eq + 1);
        const QString actual = observed(what);
        if (actual != expected)
            QFAIL(qPrintable(what + QStringLiteral(": got \"") + actual +
                             QStringLiteral("\", expected \"") + expected + QLatin1Char('"')));
    }
}

void WindowProtocolTest::crc16Member()
{
    QCOMPARE(probe->crc16("123456789"), quint16(0x4B37));
    QCOMPARE(probe->crc16(QByteArray()), quint16(0xFFFF));
    const QByteArray longest(255, 'z');
    QCOMPARE(probe->crc16(longest),
             modbus::crc16Modbus(reinterpret_cast<const quint8 *>(longest.constData()), 255));
}

void WindowProtocolTest::rs485FrameGoesOutWhole()
{
    LogWatch log(*probe);
    probe->sendRs485Frame(1, 6, 0x0106, 1);
    QCOMPARE(probe->waitSelector(), 99); // the caller's business, not the frame's
    QCOMPARE(log.added(), QStringList());
    QCOMPARE(lineSinceLastLook().toHex(' '), hex("01 06 01 06 00 01 A9 F7").toHex(' '));
}

void WindowProtocolTest::catalogue_data()
{
    QTest::addColumn<int>("selector");
    QTest::addColumn<int>("station");
    QTest::addColumn<int>("writeMask");
    QTest::addColumn<bool>("verifying");
    QTest::addColumn<QByteArray>("line"); // empty: the command is skipped

    using namespace WriteBit;
    const QByteArray skipped;
    const QByteArray enquire = "AT+ENATCMD?\r\n";
    auto row = [](const char *name, int selector, const QByteArray &line, int mask = 0,
                  bool verifying = false, int station = 1) {
        QTest::newRow(name) << selector << station << mask << verifying << line;
    };

    row("0 sends nothing", 0, skipped);
    row("1", 1, enquire);
    row("2", 2, enquire);
    row("3", 3, "AT+ENATCMD=1,1\r\n");
    row("3 at station 17", 3, "AT+ENATCMD=17,1\r\n", 0, false, 17);
    row("4", 4, "AT+ENATCMD=1,0\r\n");
    row("4 at station 17", 4, "AT+ENATCMD=17,0\r\n", 0, false, 17);
    row("5", 5, "AT+SN=A1234\r\n");
    row("6", 6, hex("01 06 01 06 00 01 A9 F7"));
    row("6 at station 17", 6, hex("11 06 01 06 00 01 AB 67"), 0, false, 17);
    row("7", 7, hex("01 06 01 0C 00 01 89 F5"));
    row("8", 8, hex("01 06 01 0D 00 01 D8 35"));
    row("9", 9, "AT+OPENDEV=1\r\n");
    row("10", 10, "AT+GSMLOG=1\r\n");
    row("11", 11, "AT+GSMLOG=0\r\n");
    row("12", 12, enquire);
    row("13", 13, "AT+VER\r\n");
    row("14 goes to station 0", 14, hex("00 03 01 00 00 01 84 27"));
    row("14 at station 17 still goes to station 0", 14, hex("00 03 01 00 00 01 84 27"), 0, false,
        17);
    row("15", 15, hex("01 03 01 01 00 01 D4 36"));
    row("15 at station 17", 15, hex("11 03 01 01 00 01 D6 A6"), 0, false, 17);
    row("16", 16, "AT+SN?\r\n");
    row("17 sends nothing", 17, skipped);
    row("18", 18, "AT+OPENDEV?\r\n");
    row("19 sends nothing", 19, skipped);
    row("20", 20, "AT+BEAT?\r\n");
    row("21", 21, "AT+DOMAIN?\r\n");
    row("22", 22, "AT+PKEY?\r\n");
    row("23", 23, "AT+BEAT?\r\n");
    row("23 with the interval selected", 23, skipped, upDataInterval);
    row("24", 24, "AT+SRVPRO?\r\n");
    row("25", 25, "AT+DEVTYPE?\r\n");
    row("26", 26, enquire);
    row("27", 27, enquire);
    row("28 selected", 28, "AT+DEVTYPE=7\r\n", devType);
    row("28 not selected", 28, skipped, ~devType & 0x3FF);
    row("29 selected", 29, "AT+SN=A1234\r\n", serialNumber);
    row("29 not selected", 29, skipped, ~serialNumber & 0x3FF);
    row("30 selected", 30, hex("01 06 01 00 00 05 48 35"), devAddress);
    row("30 not selected", 30, skipped, ~devAddress & 0x3FF);
    row("31 selected", 31, hex("01 06 01 01 00 03 99 F7"), braudRate);
    row("31 not selected", 31, skipped, ~braudRate & 0x3FF);
    row("32 selected", 32, "AT+SRVPRO=3\r\n", srvProtocol);
    row("32 not selected", 32, skipped, ~srvProtocol & 0x3FF);
    row("33 selected", 33, "AT+BEAT=k3y,60\r\n", upDataInterval | mqttCode);
    row("33 not selected", 33, skipped, mqttCode);
    row("34 selected", 34, "AT+DOMAIN=mq.example.com:3999\r\n", srvAddr | srvPort);
    row("34 with the port alone", 34, skipped, srvPort);
    row("35 selected", 35, "AT+PKEY=name1,\r\n", mqttName);
    row("35 not selected", 35, skipped, ~mqttName & 0x3FF);
    row("36 selected", 36, "AT+BEAT=k3y,\r\n", mqttCode);
    row("36 with the interval selected too", 36, skipped, mqttCode | upDataInterval);
    row("36 not selected", 36, skipped, 0);
    row("37", 37, enquire);
    row("40", 40, enquire);
    row("-1", -1, enquire);
    row("100000", 100000, enquire);

    // While a write is verified, only the reads of written parameters go out;
    // connection, relay and SN-button commands are not held back.
    row("verifying: 1", 1, enquire, 0, true);
    row("verifying: 3", 3, "AT+ENATCMD=1,1\r\n", 0, true);
    row("verifying: 4", 4, "AT+ENATCMD=1,0\r\n", 0, true);
    row("verifying: 5", 5, "AT+SN=A1234\r\n", 0, true);
    row("verifying: 6", 6, hex("01 06 01 06 00 01 A9 F7"), 0, true);
    row("verifying: 9", 9, skipped, 0x3FF, true);
    row("verifying: 10", 10, "AT+GSMLOG=1\r\n", 0, true);
    row("verifying: 11", 11, "AT+GSMLOG=0\r\n", 0, true);
    row("verifying: 13", 13, skipped, 0x3FF, true);
    row("verifying: 14 not written", 14, skipped, ~devAddress & 0x3FF, true);
    row("verifying: 14 written, read fresh", 14, hex("00 03 01 00 00 01 84 27"), devAddress, true);
    row("verifying: 15 not written", 15, skipped, ~braudRate & 0x3FF, true);
    row("verifying: 15 written, read fresh", 15, hex("01 03 01 01 00 01 D4 36"), braudRate, true);
    row("verifying: 16 not written", 16, skipped, ~serialNumber & 0x3FF, true);
    row("verifying: 16 written", 16, "AT+SN?\r\n", serialNumber, true);
    row("verifying: 18", 18, skipped, 0x3FF, true);
    row("verifying: 20 not written", 20, skipped, ~upDataInterval & 0x3FF, true);
    row("verifying: 20 written", 20, "AT+BEAT?\r\n", upDataInterval, true);
    row("verifying: 21 not written", 21, skipped, ~(srvAddr | srvPort) & 0x3FF, true);
    row("verifying: 21 address written", 21, "AT+DOMAIN?\r\n", srvAddr, true);
    row("verifying: 21 port written", 21, "AT+DOMAIN?\r\n", srvPort, true);
    row("verifying: 22 not written", 22, skipped, ~mqttName & 0x3FF, true);
    row("verifying: 22 written", 22, "AT+PKEY?\r\n", mqttName, true);
    row("verifying: 23 not written", 23, skipped, ~(mqttCode | upDataInterval) & 0x3FF, true);
    row("verifying: 23 key written", 23, "AT+BEAT?\r\n", mqttCode, true);
    row("verifying: 23 key with interval", 23, skipped, mqttCode | upDataInterval, true);
    row("verifying: 24 not written", 24, skipped, ~srvProtocol & 0x3FF, true);
    row("verifying: 24 written", 24, "AT+SRVPRO?\r\n", srvProtocol, true);
    row("verifying: 25 not written", 25, skipped, ~devType & 0x3FF, true);
    row("verifying: 25 written", 25, "AT+DEVTYPE?\r\n", devType, true);
    row("verifying: 28 written", 28, "AT+DEVTYPE=7\r\n", devType, true);
}

void WindowProtocolTest::catalogue()
{
    QFETCH(int, selector);
    QFETCH(int, station);
    QFETCH(int, writeMask);
    QFETCH(bool, verifying);
    QFETCH(QByteArray, line);

    probe->session().devAddress = quint8(station);
    probe->session().writeMask = quint16(writeMask);
    probe->session().setFlag(SessionState::verifying, verifying);
    LogWatch log(*probe);

    probe->sendCommand(selector);

    if (line.isEmpty()) {
        QCOMPARE(probe->waitSelector(), 0);
        QCOMPARE(log.added(), QStringList());
        QCOMPARE(probe->rxBuffer(), QByteArray("stale"));
        QCOMPARE(probe->rxQuietTicks(), quint16(3));
        QCOMPARE(probe->rxOfferedSize(), 5);
        QCOMPARE(probe->rxUnsolicitedFrom(), 5);
    } else {
        QCOMPARE(probe->waitSelector(), selector);
        const QString sent = line.startsWith("AT+")
                                 ? QStringLiteral("发送AT指令:") + QString::fromLatin1(line)
                                 : QStringLiteral("发送RS485指令:") + QString::number(line.at(1));
        QCOMPARE(log.added(), QStringList{asLogged(sent)});
        QCOMPARE(probe->rxBuffer(), QByteArray());
        QCOMPARE(probe->rxQuietTicks(), quint16(0));
        QCOMPARE(probe->rxOfferedSize(), 0);
        QCOMPARE(probe->rxUnsolicitedFrom(), 0);
    }
    QCOMPARE(lineSinceLastLook().toHex(' '), line.toHex(' '));
}

// The check after a batch write of the server address and port reads back
// that one parameter and nothing else.
void WindowProtocolTest::verificationReadsOnlyWrittenParameters()
{
    probe->session().writeMask = WriteBit::srvAddr | WriteBit::srvPort;
    probe->session().setFlag(SessionState::verifying, true);
    QByteArray line;
    for (int selector = 13; selector <= 25; ++selector) {
        probe->sendCommand(selector);
        if (probe->waitSelector() != 0)
            line += QByteArray::number(selector) + ':';
        line += lineSinceLastLook();
    }
    QCOMPARE(line, QByteArray("21:AT+DOMAIN?\r\n"));
}

void WindowProtocolTest::baudCodeWritten_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("2400") << 2400 << hex("01 06 01 01 00 00 D9 F6");
    QTest::newRow("4800") << 4800 << hex("01 06 01 01 00 01 18 36");
    QTest::newRow("9600") << 9600 << hex("01 06 01 01 00 02 58 37");
    QTest::newRow("115200") << 115200 << hex("01 06 01 01 00 03 99 F7");
    QTest::newRow("19200") << 19200 << hex("01 06 01 01 00 04 D8 35");
    QTest::newRow("57600 has no code of its own") << 57600 << hex("01 06 01 01 00 04 D8 35");
}

void WindowProtocolTest::baudCodeWritten()
{
    QFETCH(int, rate);
    QFETCH(QByteArray, line);
    probe->session().wBraudRate = rate;
    probe->session().writeMask = WriteBit::braudRate;
    probe->sendCommand(31);
    QCOMPARE(lineSinceLastLook().toHex(' '), line.toHex(' '));
}

void WindowProtocolTest::toggleButtons_data()
{
    QTest::addColumn<int>("selector");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("what");
    QTest::addColumn<QByteArray>("onLine");
    QTest::addColumn<QByteArray>("offLine");
    QTest::newRow("relay 1") << 6 << "pushButton_3"
                             << "继电器1" << hex("01 06 01 06 00 01 A9 F7")
                             << hex("01 06 01 06 00 00 68 37");
    QTest::newRow("relay 2") << 7 << "pushButton_2"
                             << "继电器2" << hex("01 06 01 0C 00 01 89 F5")
                             << hex("01 06 01 0C 00 00 48 35");
    QTest::newRow("relay 3") << 8 << "pushButton"
                             << "继电器3" << hex("01 06 01 0D 00 01 D8 35")
                             << hex("01 06 01 0D 00 00 19 F5");
    QTest::newRow("device") << 9 << "pushButton_4"
                            << "设备" << QByteArray("AT+OPENDEV=1\r\n")
                            << QByteArray("AT+OPENDEV=0\r\n");
}

// A toggle's caption names what the next click does, and turns at the send.
void WindowProtocolTest::toggleButtons()
{
    QFETCH(int, selector);
    QFETCH(QString, button);
    QFETCH(QString, what);
    QFETCH(QByteArray, onLine);
    QFETCH(QByteArray, offLine);
    const QString caption = button + QLatin1Char('=');

    checkAll({caption + "打开" + what});
    probe->sendCommand(selector);
    checkAll({caption + "关闭" + what});
    QCOMPARE(lineSinceLastLook().toHex(' '), onLine.toHex(' '));

    probe->sendCommand(selector);
    checkAll({caption + "打开" + what});
    QCOMPARE(lineSinceLastLook().toHex(' '), offLine.toHex(' '));

    // Any caption without "打开" means switching off.
    window->findChild<QPushButton *>(button)->setText(what);
    probe->sendCommand(selector);
    checkAll({caption + "打开" + what});
    QCOMPARE(lineSinceLastLook().toHex(' '), offLine.toHex(' '));
}

void WindowProtocolTest::deviceToggleHeldWhileVerifying()
{
    probe->session().setFlag(SessionState::verifying, true);
    probe->sendCommand(9);
    QCOMPARE(probe->waitSelector(), 0);
    checkAll({"pushButton_4=打开设备"});
    QCOMPARE(lineSinceLastLook(), QByteArray());
}

void WindowProtocolTest::writtenNameAndKeyRemembered()
{
    probe->session().writeMask = WriteBit::mqttName | WriteBit::mqttCode;
    probe->sendCommand(35);
    QCOMPARE(probe->session().wMqttName, QStringLiteral("name1"));
    QCOMPARE(probe->session().wMqttCode, QString());
    probe->sendCommand(36);
    QCOMPARE(probe->session().wMqttCode, QStringLiteral("k3y"));
    QCOMPARE(lineSinceLastLook(), QByteArray("AT+PKEY=name1,\r\nAT+BEAT=k3y,\r\n"));
}

// The terminal reads one byte per character; the log keeps what was typed.
void WindowProtocolTest::nonLatin1CharacterSentAsQuestionMark()
{
    probe->ui().textEdit_5->setPlainText(QStringLiteral("名A\u00e9"));
    probe->session().writeMask = WriteBit::mqttName;
    LogWatch log(*probe);
    probe->sendCommand(35);
    QCOMPARE(lineSinceLastLook(), QByteArray("AT+PKEY=?A\xe9,\r\n"));
    QCOMPARE(log.added().value(0), asLogged(QStringLiteral("发送AT指令:AT+PKEY=名A\u00e9,\r\n")));
}

// Nothing that cannot go out is reported as sent: no log line, no caption
// turned, nothing awaited.
void WindowProtocolTest::closedPortSendsNothing()
{
    probe->serialPort().close();
    LogWatch log(*probe);
    probe->sendCommand(6);
    probe->sendCommand(9);
    probe->sendCommand(13);
    QCOMPARE(probe->waitSelector(), 0);
    QVERIFY(log.added().isEmpty());
    QCOMPARE(probe->ui().pushButton_3->text(), QStringLiteral("打开继电器1"));
    QCOMPARE(probe->ui().pushButton_4->text(), QStringLiteral("打开设备"));
    probe->openSerialPort(9600);
    QVERIFY(probe->serialPort().isOpen());
    QCOMPARE(lineSinceLastLook(), QByteArray());
}

void WindowProtocolTest::addReplyColumns()
{
    QTest::addColumn<int>("selector");
    QTest::addColumn<int>("flags"); // sessionFlags before the reply
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("consumed");
    QTest::addColumn<QStringList>("logged");
    QTest::addColumn<QStringList>("checks");
}

void WindowProtocolTest::rs485Replies_data()
{
    addReplyColumns();
    const QByteArray station = hex("01 03 02 01 05 79 D7");
    const QByteArray echo = hex("00 03 01 00 00 01 84 27");
    const QStringList untouched{"session.devAddress=1", "readAddress_2=1",
                                "session.devBraudRate=9600", "braudRate_2[0]=9600",
                                "braudRate_2=2:1200"};

    QTest::newRow("station address 0x0105")
        << 14 << 0 << station << true << QStringList{"设备地址为：5\r\n"}
        << QStringList{"session.devAddress=5", "readAddress_2=5", "session.answeredMask=1"};
    QTest::newRow("station address behind the echo of the request")
        << 14 << 0 << echo + station << true << QStringList{"设备地址为：5\r\n"}
        << QStringList{"session.devAddress=5", "readAddress_2=5"};
    // No terminal has address 0 (broadcast) or 255: taken off the line, not taken.
    QTest::newRow("station address 0")
        << 14 << 0 << hex("01 03 02 00 00 B8 44") << true << QStringList()
        << untouched + QStringList{"session.answeredMask=0"};
    QTest::newRow("station address 255")
        << 14 << 0 << hex("01 03 02 00 FF F8 04") << true << QStringList() << untouched;
    QTest::newRow("baud code 7") << 15 << 0 << hex("01 03 02 00 07 F9 86") << true
                                 << QStringList{"设备波特率为：19200\r\n"}
                                 << QStringList{"session.devBraudRate=19200",
                                                "braudRate_2[0]=19200", "braudRate_2=2:1200"};
    QTest::newRow("baud code 3") << 15 << 0 << hex("01 03 02 00 03 F8 45") << true
                                 << QStringList{"设备波特率为：115200\r\n"}
                                 << QStringList{"session.devBraudRate=115200",
                                                "braudRate_2[0]=115200"};
    QTest::newRow("register reply nobody waits for")
        << 0 << 0 << station << true << QStringList() << untouched;
    QTest::newRow("register reply to another command")
        << 16 << 0 << station << true << QStringList() << untouched;
    QTest::newRow("wrong CRC") << 14 << 0 << hex("01 03 02 01 05 79 D8") << false << QStringList()
                               << untouched;
    QTest::newRow("function 6") << 14 << 0 << hex("01 06 02 01 05 79 1B") << false << QStringList()
                                << untouched;
    QTest::newRow("5 bytes") << 14 << 0 << station.left(5) << false << QStringList() << untouched;
    QTest::newRow("AT text") << 15 << 0 << QByteArray("+CSQ: 23,99\r\n") << false << QStringList()
                             << untouched;
}

void WindowProtocolTest::rs485Replies()
{
    QFETCH(int, selector);
    QFETCH(QByteArray, reply);
    QFETCH(bool, consumed);
    QFETCH(QStringList, logged);
    QFETCH(QStringList, checks);

    probe->waitSelector() = selector;
    LogWatch log(*probe);
    QCOMPARE(probe->parseRs485Reply(reply), consumed);
    QCOMPARE(log.added(), asLogged(logged));
    checkAll(checks);
    QCOMPARE(probe->waitSelector(), selector); // clearing it is the tick's business
}

void WindowProtocolTest::atReplies_data()
{
    addReplyColumns();
    const int devOpen = SessionState::devOpen;
    const int logOn = SessionState::logOn;
    const int srvConnected = SessionState::srvConnected;
    const QStringList none;

    // The device switch.
    QTest::newRow("18 open") << 18 << 0 << QByteArray("+OPENDEV:OPEN\r\nOK\r\n") << true
                             << QStringList{"设备状态为：开"}
                             << QStringList{"label_4=开", "session.devOpen=1"};
    QTest::newRow("9 closed") << 9 << devOpen << QByteArray("+OPENDEV:CLOSE\r\nOK\r\n") << true
                              << QStringList{"设备状态为：关"}
                              << QStringList{"label_4=关", "session.devOpen=0"};
    QTest::newRow("18 OPEN and CLOSE count as closed")
        << 18 << devOpen << QByteArray("OPEN CLOSE\r\n") << true << QStringList{"设备状态为：关"}
        << QStringList{"label_4=关", "session.devOpen=0"};
    QTest::newRow("18 neither word") << 18 << devOpen << QByteArray("ERROR\r\n") << false << none
                                     << QStringList{"label_4=-", "session.devOpen=1"};

    // The terminal's own log output.
    QTest::newRow("10 log on") << 10 << 0 << QByteArray("+GSMLOG:(1)\r\nOK\r\n") << true
                               << QStringList{"设备日志已打开"} << QStringList{"session.logOn=1"};
    QTest::newRow("10 answered GSMLOG:(0)")
        << 10 << logOn << QByteArray("GSMLOG:(0)") << true << QStringList{"设备日志已关闭"}
        << QStringList{"session.logOn=0"};
    QTest::newRow("11 log off") << 11 << logOn << QByteArray("+GSMLOG:(0)\r\nOK\r\n") << true
                                << QStringList{"设备日志已关闭"} << QStringList{"session.logOn=0"};
    QTest::newRow("11 no GSMLOG") << 11 << logOn << QByteArray("OK\r\n") << false << none
                                  << QStringList{"session.logOn=1"};

    // Software version: any text.
    QTest::newRow("13 version") << 13 << 0 << QByteArray("V2.1.7\r\nOK\r\n") << true
                                << QStringList{"设备软件版本信息:\r\nV2.1.7\r\nOK\r\n"} << none;
    QTest::newRow("13 error accepted") << 13 << 0 << QByteArray("ERROR") << true
                                       << QStringList{"设备软件版本信息:\r\nERROR"} << none;
    QTest::newRow("13 invalid UTF-8") << 13 << 0 << QByteArray("\xff\xfeV2") << true
                                      << QStringList{QStringLiteral("设备软件版本信息:\r\n") +
                                                     QChar(QChar::ReplacementCharacter) +
                                                     QChar(QChar::ReplacementCharacter) + "V2"}
                                      << none;
    QTest::newRow("13 zero byte in front") << 13 << 0 << QByteArray("\0V2\r\n", 5) << true
                                           << QStringList{"设备软件版本信息:\r\nV2\r\n"} << none;

    // Serial number.
    QTest::newRow("16 serial number")
        << 16 << 0 << QByteArray("+SN:A1234\r\nOK\r\n") << true << QStringList{"设备ID为：A1234"}
        << QStringList{"lineEdit=A1234", "session.answeredMask=200"};
    QTest::newRow("16 empty serial number")
        << 16 << 0 << QByteArray("SN:\r\n") << false << QStringList{"设备ID格式错误"}
        << QStringList{"lineEdit=-"};
    QTest::newRow("16 no line end") << 16 << 0 << QByteArray("SN:A1234") << false
                                    << QStringList{"设备ID格式错误"} << QStringList{"lineEdit=-"};
    QTest::newRow("16 zero byte in front")
        << 16 << 0 << QByteArray("\0+SN:A1234\r\nOK\r\n", 17) << true
        << QStringList{"设备ID为：A1234"} << QStringList{"lineEdit=A1234"};
    QTest::newRow("16 no SN:") << 16 << 0 << QByteArray("ERROR\r\n") << false << none
                               << QStringList{"lineEdit=-"};

    // Upload interval and MQTT key.
    QTest::newRow("20 interval and key")
        << 20 << 0 << QByteArray("+BEAT:60\r\nOK\r\nk3y\r\n") << true
        << QStringList{"心跳间隔为：60", "MQTT登录密钥为：k3y"}
        << QStringList{"readAddress_4=60", "session.devUpDataInterval=60", "textBrowser_6=k3y",
                       "session.devMqttCode=k3y", "session.answeredMask=110"};
    QTest::newRow("23 interval and key")
        << 23 << 0 << QByteArray("+BEAT:120\r\nOK\r\nsecret-9\r\nOK\r\n") << true
        << QStringList{"心跳间隔为：120", "MQTT登录密钥为：secret-9"}
        << QStringList{"readAddress_4=120", "session.devUpDataInterval=120",
                       "textBrowser_6=secret-9", "session.devMqttCode=secret-9"};
    QTest::newRow("20 unreadable interval")
        << 20 << 0 << QByteArray("BEAT:abc\r\nOK\r\nk\r\n") << true
        << QStringList{"MQTT登录密钥为：k"}
        << QStringList{"readAddress_4=1", "session.devMqttCode=k", "session.answeredMask=100"};
    QTest::newRow("20 no OK: no key")
        << 20 << 0 << QByteArray("+BEAT:60\r\nk\r\n") << true << QStringList{"心跳间隔为：60"}
        << QStringList{"readAddress_4=60", "textBrowser_6=-", "session.answeredMask=10"};
    QTest::newRow("20 key that looks like markup")
        << 20 << 0 << QByteArray("BEAT:60\r\nOK\r\n<b>k</b>\r\n") << true
        << QStringList{"心跳间隔为：60", "MQTT登录密钥为：<b>k</b>"}
        << QStringList{"textBrowser_6=<b>k</b>"};
    QTest::newRow("23 no BEAT:") << 23 << 0 << QByteArray("OK\r\n") << false << none
                                 << QStringList{"readAddress_4=1", "textBrowser_6=-",
                                                "session.devMqttCode=-"};

    // Server address and port.
    QTest::newRow("21 host and port")
        << 21 << 0 << QByteArray("+DOMAIN:mq.example.com:3999\r\nOK\r\n") << true
        << QStringList{"服务器地址为：mq.example.com", "服务器端口为：3999"}
        << QStringList{"textBrowser=mq.example.com", "textBrowser_5=3999",
                       "session.devSrvAddr=mq.example.com", "session.devSrvPort=3999",
                       "session.answeredMask=60"};
    QTest::newRow("21 DOMAIN without DOMAIN:")
        << 21 << 0 << QByteArray("AT+DOMAIN?\r\nERROR\r\n") << false << none
        << QStringList{"textBrowser=-", "textBrowser_5=-", "session.devSrvAddr=-",
                       "session.devSrvPort=0"};
    QTest::newRow("21 no DOMAIN") << 21 << 0 << QByteArray("OK\r\n") << false << none
                                  << QStringList{"textBrowser=-", "session.devSrvAddr=-"};

    // MQTT login name: the first line of the answer.
    QTest::newRow("22 name") << 22 << 0 << QByteArray("user-7\r\nOK\r\n") << true
                             << QStringList{"MQTT用户名为：user-7"}
                             << QStringList{"textBrowser_2=user-7", "session.devMqttName=user-7",
                                            "session.answeredMask=80"};
    QTest::newRow("22 ERROR is no name")
        << 22 << 0 << QByteArray("ERROR\r\n") << true << none
        << QStringList{"textBrowser_2=-", "session.devMqttName=-", "session.answeredMask=0"};

    // Server protocol and device type.
    QTest::newRow("24 MQTT") << 24 << 0 << QByteArray("+SRVPRO:3(MQTT)\r\nOK\r\n") << true
                             << QStringList{"服务器通信协议为：MQTT"}
                             << QStringList{"BraudRate_5=3:MQTT"};
    QTest::newRow("24 index out of range")
        << 24 << 0 << QByteArray("SRVPRO:9\r\n") << true << QStringList{"服务器通信协议为："}
        << QStringList{"BraudRate_5=-1:"};
    QTest::newRow("24 SRVPRO without SRVPRO:")
        << 24 << 0 << QByteArray("AT+SRVPRO?\r\nERROR\r\n") << false << none
        << QStringList{"BraudRate_5=0:TCP_透传"};
    QTest::newRow("24 no bracket")
        << 24 << 0 << QByteArray("+SRVPRO:3\r\nOK\r\n") << true
        << QStringList{"服务器通信协议为：MQTT"} << QStringList{"BraudRate_5=3:MQTT"};
    QTest::newRow("24 no SRVPRO") << 24 << 0 << QByteArray("OK\r\n") << false << none
                                  << QStringList{"BraudRate_5=0:TCP_透传"};
    QTest::newRow("25 device type 8")
        << 25 << 0 << QByteArray("+DEVTYPE:8(RS485)\r\nOK\r\n") << true
        << QStringList{"设备类型为：4G透传RS485（1P空开外壳）"}
        << QStringList{"BraudRate_9=8:4G透传RS485（1P空开外壳）", "session.answeredMask=8"};
    QTest::newRow("25 unreadable index is not read")
        << 25 << 0 << QByteArray("DEVTYPE:x\r\n") << true << none
        << QStringList{"BraudRate_9=0:空开-开关-RS485终端", "session.answeredMask=0"};
    QTest::newRow("25 negative index is not read")
        << 25 << 0 << QByteArray("DEVTYPE:-1\r\n") << true << none
        << QStringList{"BraudRate_9=0:空开-开关-RS485终端"};
    QTest::newRow("25 no DEVTYPE") << 25 << 0 << QByteArray("SRVPRO:3\r\n") << false << none
                                   << QStringList{"BraudRate_9=0:空开-开关-RS485终端"};

    // Output nobody asked for: shown, never consumed.
    QTest::newRow("0 signal quality") << 0 << 0 << QByteArray("+CSQ: 23,99\r\n") << false
                                      << QStringList{"CSQ=23"} << QStringList{"label_Temp=23"};
    QTest::newRow("0 server connected")
        << 0 << 0 << QByteArray("+CMQTTCONNECT: 0,0\r\nmq.example.com\r\n") << false
        << QStringList{"服务器状态为：已连接"}
        << QStringList{"label_Humidy=已连接", "session.srvConnected=1"};
    QTest::newRow("0 server not connected")
        << 0 << srvConnected << QByteArray("+CMQTTCONNECT: 0,5\r\n") << false
        << QStringList{"服务器状态为：未连接"}
        << QStringList{"label_Humidy=未连接", "session.srvConnected=0"};
    QTest::newRow("0 log on shows the text first")
        << 0 << logOn << QByteArray("+CSQ: 5,99\r\n") << false
        << QStringList{"+CSQ: 5,99\r\n", "CSQ=5"} << QStringList{"label_Temp=5"};
    QTest::newRow("0 log on, plain output")
        << 0 << logOn << QByteArray("RDY\r\n") << false << QStringList{"RDY\r\n"}
        << QStringList{"label_Temp=-"};
    QTest::newRow("0 log off, plain output") << 0 << 0 << QByteArray("RDY\r\n") << false << none
                                             << QStringList{"label_Temp=-", "label_Humidy=-"};
    QTest::newRow("28 write command's reply")
        << 28 << 0 << QByteArray("OK\r\n+CSQ: 31,99\r\n") << false << QStringList{"CSQ=31"}
        << QStringList{"label_Temp=31"};
    QTest::newRow("14 register read answered in text")
        << 14 << 0 << QByteArray("+CSQ: 12,0\r\n") << false << QStringList{"CSQ=12"}
        << QStringList{"label_Temp=12"};
    QTest::newRow("40 outside the catalogue")
        << 40 << 0 << QByteArray("+CSQ: 7,99\r\n") << false << QStringList{"CSQ=7"}
        << QStringList{"label_Temp=7"};
    QTest::newRow("16 awaited: a report is not looked at")
        << 16 << 0 << QByteArray("+CSQ: 23,99\r\n") << false << none << QStringList{"label_Temp=-"};
}

void WindowProtocolTest::atReplies()
{
    QFETCH(int, selector);
    QFETCH(int, flags);
    QFETCH(QByteArray, reply);
    QFETCH(bool, consumed);
    QFETCH(QStringList, logged);
    QFETCH(QStringList, checks);

    probe->waitSelector() = selector;
    probe->session().sessionFlags = quint16(flags);
    probe->rxUnsolicitedFrom() = 0;
    LogWatch log(*probe);
    QCOMPARE(probe->parseAtReply(reply), consumed);
    QCOMPARE(log.added(), asLogged(logged));
    checkAll(checks);
    QCOMPARE(probe->waitSelector(), selector); // clearing it is the tick's business
}

// Output no parser takes stays in the buffer and is offered again with every
// byte that follows; each report in it is still shown and logged once.
void WindowProtocolTest::unsolicitedOutputHandledOnce()
{
    probe->waitSelector() = 0;
    probe->session().setFlag(SessionState::logOn, true);
    probe->rxUnsolicitedFrom() = 0;
    QByteArray buffer = "+CSQ: 23,99\r\n";

    LogWatch first(*probe);
    QVERIFY(!probe->parseAtReply(buffer));
    QCOMPARE(first.added(), asLogged(QStringList{"+CSQ: 23,99\r\n", "CSQ=23"}));
    QCOMPARE(probe->rxUnsolicitedFrom(), buffer.size());

    LogWatch again(*probe);
    QVERIFY(!probe->parseAtReply(buffer));
    QCOMPARE(again.added(), QStringList());

    buffer += "+CMQTTCONNECT: 0,0 mq.example.com\r\n";
    LogWatch more(*probe);
    probe->ui().label_Temp->setText(QStringLiteral("-"));
    QVERIFY(!probe->parseAtReply(buffer));
    QCOMPARE(more.added(), asLogged(QStringList{"+CMQTTCONNECT: 0,0 mq.example.com\r\n",
                                                "服务器状态为：已连接"}));
    checkAll({"label_Temp=-", "label_Humidy=已连接"});
    QCOMPARE(probe->rxUnsolicitedFrom(), buffer.size());

    // A mark beyond the buffer (the buffer lost its head meanwhile) is held to
    // its end: nothing is handled twice.
    probe->rxUnsolicitedFrom() = 4000;
    LogWatch beyond(*probe);
    QVERIFY(!probe->parseAtReply(buffer));
    QCOMPARE(beyond.added(), QStringList());
    QCOMPARE(probe->rxUnsolicitedFrom(), buffer.size());

    // Several reports that arrive together are each taken; a report still
    // coming in waits for the rest of its line.
    buffer += QByteArray("+CSQ: 11,99\r\n\0+CSQ: 12,99\r\n+CSQ: 1", 34);
    probe->session().setFlag(SessionState::logOn, false);
    LogWatch together(*probe);
    QVERIFY(!probe->parseAtReply(buffer));
    QCOMPARE(together.added(), asLogged(QStringList{"CSQ=11", "CSQ=12"}));
    QCOMPARE(probe->rxUnsolicitedFrom(), buffer.size() - 7);
    buffer += "3,99\r\n";
    LogWatch rest(*probe);
    QVERIFY(!probe->parseAtReply(buffer));
    QCOMPARE(rest.added(), asLogged(QStringList{"CSQ=13"}));
    checkAll({"label_Temp=13"});
    QCOMPARE(probe->rxUnsolicitedFrom(), buffer.size());
    probe->session().setFlag(SessionState::logOn, true);

    // A send starts a fresh buffer, looked at from its start.
    probe->sendCommand(13);
    QCOMPARE(probe->rxUnsolicitedFrom(), 0);
    probe->waitSelector() = 0;
    LogWatch fresh(*probe);
    QVERIFY(!probe->parseAtReply("+CSQ: 23,99\r\n"));
    QCOMPARE(fresh.added(), asLogged(QStringList{"+CSQ: 23,99\r\n", "CSQ=23"}));
    lineSinceLastLook();
}

int runWindowProtocolTest(int argc, char **argv)
{
    WindowProtocolTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowprotocol.moc"
