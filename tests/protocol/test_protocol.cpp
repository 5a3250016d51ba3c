// The device protocol: the byte rules on their own, then every command of the
// catalogue as it reaches a pseudo-terminal and every reply rule as it lands in
// the widgets, the session record and the log.

#include "PtyPair.h"
#include "TestSettings.h"
#include "WindowProbe.h"

#include "protocol/atreplies.h"
#include "protocol/modbus.h"
#include "session/parameters.h"
#include "session/timing.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {

QByteArray hex(const char *spaced)
{
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

const QByteArray kMarker = "AT+ENATCMD?\r\n"; // selector 1, sent whatever the state

} // namespace

class ProtocolTest : public QObject
{
    Q_OBJECT

private:
    // Everything the window has put on the line since the last look, read on the
    // terminal's side. A marker command closes the run, so the bytes are known to
    // be complete without waiting for a silence; the port's writes leave from the
    // event loop, which therefore keeps running while the master is read.
    QByteArray lineSinceLastLook()
    {
        probe->sendCommand(1);
        QByteArray bytes;
        QDeadlineTimer deadline(lineStalled ? 0 : 10000);
        while (!bytes.endsWith(kMarker) && !deadline.hasExpired()) {
            QCoreApplication::processEvents();
            bytes += pty.readAvailable();
            if (!bytes.endsWith(kMarker))
                QThread::msleep(1);
        }
        if (!bytes.endsWith(kMarker)) {
            lineStalled = true; // the marker itself goes out wrong: fail the next looks at once
            return "<line stalled: " + bytes.toHex(' ') + ">";
        }
        bytes.chop(kMarker.size());
        return bytes;
    }

    // The log window's entries since the last look.
    QStringList logSinceLastLook()
    {
        const QStringList entries = probe->logEntries();
        const QStringList added = entries.mid(logSeen);
        logSeen = entries.size();
        return added;
    }

    // A field of the session record by its name, or what a widget shows.
    QString observed(const QString &what) const
    {
        const SessionState &s = probe->session();
        // Whether the terminal's log is on shows only in how later output is
        // logged, and what an answer confirms only in a later write's verdict:
        // the stories show both for whole answers, these rows for the odd ones.
        const QHash<QString, QString> session{
            {"logOn", QString::number(s.has(SessionState::logOn))},
            {"devAddress", QString::number(s.devAddress)},
            {"devBraudRate", QString::number(s.devBraudRate)},
            {"devUpDataInterval", QString::number(s.devUpDataInterval)},
            {"devSrvAddr", s.devSrvAddr},
            {"devSrvPort", QString::number(s.devSrvPort)},
            {"devMqttName", s.devMqttName},
            {"devMqttCode", s.devMqttCode},
            {"answered", QString::number(s.answeredMask, 16)}};
        if (session.contains(what))
            return session.value(what);
        const QWidget *widget = window->findChild<QWidget *>(what);
        for (const char *property : {"plainText", "value", "currentText", "text"})
            if (widget && widget->property(property).isValid())
                return widget->property(property).toString();
        return "<unknown " + what + ">";
    }

    // The boxes ticked, and a write accepted with them.
    void select(int mask)
    {
        probe->session().writeMask = quint16(mask);
        probe->session().snapshot.mask = quint16(mask);
    }

    PtyPair pty;
    std::unique_ptr<ZorvikTestTool> window;
    std::unique_ptr<WindowProbe> probe;
    int logSeen = 0;
    bool lineStalled = false;
    QByteArray windowFor; // the test function the window was made for

private slots:
    // Codes 0 to 4 and their rates both ways.
    void aBaudCodeMeansItsRateAndAnyOtherMeans19200()
    {
        const int rates[] = {2400, 4800, 9600, 115200, 19200};
        for (quint16 code = 0; code < 5; ++code) {
            QCOMPARE(modbus::baudFromCode(code), rates[code]);
            QCOMPARE(modbus::codeFromBaud(rates[code]), code);
        }
        QCOMPARE(modbus::baudFromCode(7), 19200);
        QCOMPARE(modbus::codeFromBaud(57600), quint16(4));
    }

    void aRegisterReplyIsReadWhereItCanStand_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("value"); // -1: none
        const QByteArray reply = hex("01 03 02 01 05 79 D7");
        QTest::newRow("13 bytes: from byte 0") << reply + "123456" << 0x0105;
        QTest::newRow("a zero byte first is no station 0")
            << hex("00") + reply + "123456" << 0x0105;
        QTest::newRow("14 bytes: from byte 8, behind the echo") << reply + "1234567" << -1;
        QTest::newRow("two registers: the first") << hex("01 03 04 12 34 56 78 81 07") << 0x1234;
        QTest::newRow("a byte count of 1 is none") << hex("01 03 01 05 30 4B") << -1;
        QTest::newRow("a write's answer is none") << hex("01 06 02 01 05 79 1B") << -1;
    }
    void aRegisterReplyIsReadWhereItCanStand()
    {
        QFETCH(QByteArray, received);
        QFETCH(int, value);
        const std::optional<quint16> read = modbus::decodeRegisterReply(
            reinterpret_cast<const quint8 *>(received.constData()), std::size_t(received.size()));
        QCOMPARE(read ? int(*read) : -1, value);
    }

    void aWriteIsSettledByOkOrErrorAloneOnAWholeLine_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("code"); // 0 none, 1 OK, 2 ERROR
        QTest::addColumn<int>("end");
        QTest::newRow("OK") << QByteArray("OK\r\n") << 1 << 4;
        QTest::newRow("behind a report and a zero byte")
            << QByteArray("+CSQ: 23,99\r\n\0ERROR\r\nOK\r\n", 25) << 2 << 21;
        QTest::newRow("a blank line first, LF alone") << QByteArray("\r\nOK\n+CSQ") << 1 << 5;
        QTest::newRow("the echo of a command") << QByteArray("AT+PKEY=OK\r\n") << 0 << 0;
        QTest::newRow("inside a report") << QByteArray("+CMQTTCONNECT: 0,OK\r\n") << 0 << 0;
        QTest::newRow("its line end still to come") << QByteArray("ERROR\r") << 0 << 0;
        QTest::newRow("a longer word") << QByteArray("OKAY\r\nERRORS\r\n") << 0 << 0;
    }
    void aWriteIsSettledByOkOrErrorAloneOnAWholeLine()
    {
        QFETCH(QByteArray, received);
        QFETCH(int, code);
        QFETCH(int, end);
        const replies::FinalResult verdict =
            replies::finalResult(received.constData(), received.size());
        QCOMPARE(int(verdict.code), code);
        QCOMPARE(verdict.end, end);
    }

    // A fresh window on the line for each test function, its rows sharing it:
    // station 17 and recognisable values in every field a command reads, a
    // name the terminal reads one byte a character. Before every row nothing
    // is answered.
    void init()
    {
        if (windowFor != QTest::currentTestFunction()) {
            windowFor = QTest::currentTestFunction();
            probe.reset();
            window.reset(); // its port closed before the next one opens the line
            window = std::make_unique<ZorvikTestTool>();
            probe = std::make_unique<WindowProbe>(*window);
            probe->tickTimer().stop(); // commands are sent and replies parsed by hand
            probe->session().comName = pty.slavePath();
            probe->openSerialPort(9600);
            QVERIFY(probe->serialPort().isOpen());
            Ui::ZorvikTestToolClass &ui = probe->ui();
            ui.textEdit_4->setPlainText("k3y");
            ui.textEdit_2->setPlainText("mq.example.com");
            ui.textEdit_3->setPlainText("3999");
            ui.textEdit_5->setPlainText("nAm\u00e9");
            ui.readAddress_5->setValue(60);
            ui.BraudRate_10->setCurrentIndex(7);
            ui.BraudRate_4->setCurrentIndex(3);
            ui.SNlineEdit->setText("A1234");
            ui.readAddress_3->setValue(5);
            ui.BraudRate_3->setCurrentText("115200");
            probe->session().snapshot = parameters::snapshot(ui, probe->session());
        }
        pty.readAvailable();
        logSinceLastLook();
        probe->session().devAddress = 17;
        probe->session().answeredMask = 0;
    }

    void eachCommandPutsItsBytesOnTheLineAndSaysSo_data()
    {
        QTest::addColumn<int>("selector");
        QTest::addColumn<int>("writeMask");
        QTest::addColumn<QByteArray>("line"); // empty: not sent
        auto row = [](int selector, const char *name, const QByteArray &line, int mask = 0x3FF) {
            QTest::newRow(qPrintable(QString::number(selector) + ' ' + QString::fromUtf8(name)))
                << selector << mask << line;
        };
        row(1, "asks whether AT is on", kMarker);
        row(2, "asks whether AT is on", kMarker);
        row(3, "enables AT", "AT+ENATCMD=17,1\r\n");
        row(4, "disables AT", "AT+ENATCMD=17,0\r\n");
        row(5, "writes the SN now", "AT+SN=A1234\r\n");
        row(6, "switches relay 1", hex("11 06 01 06 00 01 AB 67"));
        row(7, "switches relay 2", hex("11 06 01 0C 00 01 8B 65"));
        row(8, "switches relay 3", hex("11 06 01 0D 00 01 DA A5"));
        row(9, "switches the device", "AT+OPENDEV=1\r\n");
        row(10, "switches the log on", "AT+GSMLOG=1\r\n");
        row(11, "switches the log off", "AT+GSMLOG=0\r\n");
        row(13, "reads the version", "AT+VER\r\n");
        row(14, "reads the station at 0, any station", hex("00 03 01 00 00 01 84 27"));
        row(15, "reads the rate", hex("11 03 01 01 00 01 D6 A6"));
        row(16, "reads the SN", "AT+SN?\r\n");
        row(17, "never goes out", QByteArray());
        row(18, "reads the switch", "AT+OPENDEV?\r\n");
        row(20, "reads interval and key", "AT+BEAT?\r\n");
        row(21, "reads the server", "AT+DOMAIN?\r\n");
        row(22, "reads the name", "AT+PKEY?\r\n");
        row(23, "reads the key", "AT+BEAT?\r\n", 0);
        row(24, "reads the protocol", "AT+SRVPRO?\r\n");
        row(25, "reads the type", "AT+DEVTYPE?\r\n");
        row(28, "writes the type", "AT+DEVTYPE=7\r\n");
        row(29, "writes the SN", "AT+SN=A1234\r\n");
        row(30, "writes the station", hex("11 06 01 00 00 05 4A A5"));
        row(31, "writes the rate", hex("11 06 01 01 00 03 9B 67"));
        row(32, "writes the protocol", "AT+SRVPRO=3\r\n");
        row(33, "writes key and interval", "AT+BEAT=k3y,60\r\n");
        row(34, "writes the server", "AT+DOMAIN=mq.example.com:3999\r\n");
        row(35, "writes the name, a byte a character", "AT+PKEY=nAm\xe9,\r\n");
        row(36, "writes the key alone", "AT+BEAT=k3y,\r\n", WriteBit::mqttCode);
    }

    void eachCommandPutsItsBytesOnTheLineAndSaysSo()
    {
        QFETCH(int, selector);
        QFETCH(int, writeMask);
        QFETCH(QByteArray, line);
        select(writeMask);
        probe->sendCommand(selector);
        const bool sent = !line.isEmpty();
        const QString logged = line.startsWith("AT+")
                                   ? "发送AT指令:" + QString::fromLatin1(line)
                                   : "发送RS485指令:" + QString::number(sent ? line.at(1) : 0);
        QCOMPARE(logSinceLastLook(), sent ? QStringList{logged} : QStringList());
        QCOMPARE(lineSinceLastLook().toHex(' '), line.toHex(' '));
    }

    // Which commands go out, walking the catalogue as the tool uses it. While a
    // write is verified, only the reads of written parameters go out (and the
    // writes of selected ones); connection, relay, log and SN-button commands are
    // never held back. The BEAT key alone stands aside for the interval, which
    // writes it too.
    void aVerifiedWriteLetsOnlyItsOwnReadsAndWritesOut_data()
    {
        QTest::addColumn<bool>("verifying");
        QTest::addColumn<int>("writeMask");
        QTest::addColumn<QString>("sent");
        auto row = [](const char *name, bool verifying, int mask, const QString &sent) {
            QTest::newRow(name) << verifying << mask << sent;
        };
        using namespace WriteBit;
        const QString reads = "1 2 3 4 5 6 7 8 9 10 11 13 14 15 16 18 20 21 22";
        const QString kept = "1 2 3 4 5 6 7 8 10 11";
        row("idle: every read", false, 0, reads + " 23 24 25");
        row("idle: every selected write", false, 0x3FF, reads + " 24 25 28 29 30 31 32 33 34 35");
        row("verifying nothing: only the kept", true, 0, kept);
        row("verifying station", true, devAddress, kept + " 14 30");
        row("verifying baud rate", true, braudRate, kept + " 15 31");
        row("verifying SN", true, serialNumber, kept + " 16 29");
        row("verifying interval", true, upDataInterval, kept + " 20 33");
        row("verifying address", true, srvAddr, kept + " 21 34");
        row("verifying port", true, srvPort, kept + " 21");
        row("verifying name", true, mqttName, kept + " 22 35");
        row("verifying key", true, mqttCode, kept + " 23 36");
        row("verifying key and interval", true, mqttCode | upDataInterval, kept + " 20 33");
        row("verifying protocol", true, srvProtocol, kept + " 24 32");
        row("verifying type", true, devType, kept + " 25 28");
    }

    void aVerifiedWriteLetsOnlyItsOwnReadsAndWritesOut()
    {
        QFETCH(bool, verifying);
        QFETCH(int, writeMask);
        QFETCH(QString, sent);
        select(writeMask);
        probe->session().setFlag(SessionState::verifying, verifying);
        QStringList went;
        for (int selector = 1; selector <= 36; ++selector) {
            if (selector == 12 || selector == 26 || selector == 27)
                continue; // numbers the tool never sends
            probe->sendCommand(selector);
            if (!logSinceLastLook().isEmpty())
                went << QString::number(selector);
        }
        QCOMPARE(went.join(' '), sent);
        lineSinceLastLook();
    }

    // What cannot go out is not reported as sent: nothing logged or turned, and
    // what was received stays, which only the buffer shows.
    void closedPortSendsNothing()
    {
        probe->rxBuffer() = "stale";
        probe->serialPort().close();
        probe->sendCommand(6);
        probe->sendCommand(13);
        QCOMPARE(logSinceLastLook(), QStringList());
        QCOMPARE(probe->ui().pushButton_3->text(), QString("打开继电器1"));
        QCOMPARE(probe->rxBuffer(), QByteArray("stale"));
    }

    // The bytes received while a selector is awaited: taken off the line or not,
    // the log entries and what changes.
    void eachReplyRuleTakesItsAnswerAndShowsIt_data()
    {
        QTest::addColumn<int>("selector");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("logged"); // entries separated by "|"
        QTest::addColumn<QString>("checks"); // "what=value", separated by spaces
        QTest::addColumn<int>("flags");      // the session's flags before
        auto row = [](const char *name, int selector, const QByteArray &reply, bool taken,
                      const QString &logged, const QString &checks = QString(), int flags = 0) {
            QTest::newRow(name) << selector << reply << taken << logged << checks << flags;
        };
        const int logOn = SessionState::logOn;
        const QByteArray station = hex("01 03 02 01 05 79 D7");
        row("14 an address read", 14, station, true, "设备地址为：5\r\n",
            "devAddress=5 readAddress_2=5 answered=1");
        row("14 behind the echo", 14, hex("00 03 01 00 00 01 84 27") + station, true,
            "设备地址为：5\r\n", "devAddress=5");
        // No terminal has address 0 (broadcast) or 255: taken off the line, not kept.
        row("14 station 0", 14, hex("01 03 02 00 00 B8 44"), true, "", "devAddress=17 answered=0");
        row("14 station 255", 14, hex("01 03 02 00 FF F8 04"), true, "", "devAddress=17");
        row("15 code 1 read", 15, hex("01 03 02 00 01 79 84"), true, "设备波特率为：4800\r\n",
            "devBraudRate=4800 braudRate_2=4800 answered=2");
        row("0 a register reply: taken, not kept", 0, station, true, "", "devAddress=17");
        row("14 wrong CRC", 14, hex("01 03 02 01 05 79 D8"), false, "", "devAddress=17");

        row("18 OPEN: on", 18, "+OPENDEV:OPEN\r\nOK\r\n", true, "设备状态为：开", "label_4=开");
        row("9 CLOSE: off", 9, "OPEN CLOSE\r\n", true, "设备状态为：关", "label_4=关");
        row("18 neither: no answer", 18, "open\r\nERROR\r\n", false, "");
        row("10 log: on", 10, "+GSMLOG:(1)\r\nOK\r\n", true, "设备日志已打开", "logOn=1");
        row("11 log: off", 11, "+GSMLOG:(0)\r\nOK\r\n", true, "设备日志已关闭", "logOn=0", logOn);
        row("11 OK alone: no answer", 11, "OK\r\n", false, "", "logOn=1", logOn);
        row("13 a version read whole", 13, QByteArray("\0版本V2\r\nOK\r\n", 15), true,
            "设备软件版本信息:\r\n版本V2\r\nOK\r\n");
        row("13 anything read as the version", 13, "错误", true, "设备软件版本信息:\r\n错误");
        row("16 an SN read", 16, QByteArray("\0+SN:A1234\r\nOK\r\n", 16), true, "设备ID为：A1234",
            "lineEdit=A1234 answered=200");
        row("16 empty SN", 16, "SN:\r\n", false, "设备ID格式错误");
        row("16 no line end", 16, "SN:A1234\n", false, "设备ID格式错误");
        row("16 no SN:, a report", 16, "sn:A1234\r\n+CSQ: 23,99\r\n", false, "CSQ=23",
            "label_Temp=23");
        row("20 interval and key read", 20, "+BEAT: 60 \r\nOK\r\nk3y\r\n", true,
            "心跳间隔为： 60 |MQTT登录密钥为：k3y",
            "readAddress_4=60 devUpDataInterval=60 textBrowser_6=k3y "
            "devMqttCode=k3y answered=110");
        row("23 interval beyond 16 bits", 23, "BEAT:70000\r\nOK\r\n<b>k</b>\r\n", true,
            "MQTT登录密钥为：<b>k</b>", "textBrowser_6=<b>k</b> answered=100");
        row("20 key cut short", 20, "+BEAT:60\r\nOK\r\n" + QByteArray(96, 'k'), false, "");
        row("20 no OK: no key", 20, "+BEAT:60\r\nk\r\n", true, "心跳间隔为：60", "answered=10");
        row("20 empty key", 20, "BEAT:60\r\nOK\r\n\r\n", true, "心跳间隔为：60|MQTT登录密钥为：");
        row("23 no BEAT:", 23, "OK\r\n", false, "");
        row("21 host and port read", 21, "+DOMAIN:mq.example.com:3999\r\nOK\r\n", true,
            "服务器地址为：mq.example.com|服务器端口为：3999",
            "textBrowser=mq.example.com textBrowser_5=3999 "
            "devSrvAddr=mq.example.com devSrvPort=3999 "
            "answered=60");
        row("21 unreadable port", 21, "DOMAIN:h:abc\r\n", true, "服务器地址为：h", "answered=20");
        row("21 no port", 21, "+DOMAIN:4000\r\nOK\r\n", true, "服务器地址为：4000");
        row("21 no DOMAIN:", 21, "AT+DOMAIN?\r\nERROR\r\n", false, "");
        row("22 a bare name read", 22, "\r\nuser-7\r\nOK\r\n", true, "MQTT用户名为：user-7",
            "textBrowser_2=user-7 devMqttName=user-7 answered=80");
        row("22 name behind reports", 22, "+CSQ: 23,99\r\n+CMQTTCONNECT: 0,1\r\nuser-7", true,
            "CSQ=23|服务器状态为：未连接|MQTT用户名为：user-7",
            "textBrowser_2=user-7 label_Temp=23");
        row("22 a report glued to the name", 22, "user-7+CSQ: 5,99\r\n", true,
            "CSQ=5|MQTT用户名为：user-7", "devMqttName=user-7");
        row("22 ERROR is no name", 22, "ERROR\r\n", true, "", "answered=0");
        row("22 OK is no name", 22, "\r\nOK\r\n", true, "");
        row("24 a protocol read", 24, "+SRVPRO:3(MQTT)\r\nOK\r\n", true, "服务器通信协议为：MQTT",
            "BraudRate_5=MQTT answered=4");
        row("24 no bracket", 24, "+SRVPRO:3\r\nOK\r\n", true, "服务器通信协议为：MQTT");
        row("24 out of range", 24, "SRVPRO:9\r\n", true, "服务器通信协议为：", "BraudRate_5=");
        row("24 no SRVPRO:", 24, "AT+SRVPRO?\r\nERROR\r\n", false, "");
        row("25 a type read", 25, "+DEVTYPE:8(RS485)\r\nOK\r\n", true,
            "设备类型为：4G透传RS485（1P空开外壳）", "answered=8");
        row("25 unreadable index", 25, "DEVTYPE:x\r\n", true, "", "answered=0");
        row("25 negative index", 25, "DEVTYPE:-1\r\n", true, "");

        // Output nobody asked for: shown, never taken.
        row("0 CSQ shown", 0, "+CSQ: 23,99\r\n+CSQ:5\r\n", false, "CSQ=23", "label_Temp=23");
        row("0 connected shown", 0, "+CSQ: 9,99\r\n+CMQTTCONNECT: 0,0\r\nmq.example.com\r\n", false,
            "服务器状态为：已连接|CSQ=9", "label_Humidy=已连接");
        row("0 not connected shown", 0, "+CMQTTCONNECT: 0,5\r\n", false, "服务器状态为：未连接",
            "label_Humidy=未连接");
        row("0 another client ignored", 0, "+CMQTTCONNECT: 1,0 x.com\r\n", false, "");
        row("0 log on: the text first", 0, "+CSQ: 5\r\n", false, "+CSQ: 5\r\n|CSQ=5", "", logOn);
        row("28 a write's answer", 28, "OK\r\n+CSQ: 31,99\r\n", false, "CSQ=31");
    }

    void eachReplyRuleTakesItsAnswerAndShowsIt()
    {
        QFETCH(int, selector);
        QFETCH(QByteArray, reply);
        QFETCH(bool, taken);
        QFETCH(QString, logged);
        QFETCH(QString, checks);
        QFETCH(int, flags);
        probe->waitSelector() = selector;
        probe->session().sessionFlags = quint16(flags);
        probe->rxUnsolicitedFrom() = 0;
        // As the tick offers what it received: to the register parser first.
        QCOMPARE(probe->parseRs485Reply(reply) || probe->parseAtReply(reply), taken);
        QCOMPARE(logSinceLastLook(), logged.split('|', Qt::SkipEmptyParts));
        for (const QString &check : checks.split(' ', Qt::SkipEmptyParts))
            QCOMPARE(check.section('=', 0, 0) + '=' + observed(check.section('=', 0, 0)), check);
    }
};

int main(int argc, char **argv)
{
    // Before the application exists: the window reads and writes its settings
    // file, which must not be the user's own.
    isolateSettings();
    QApplication app(argc, argv);
    ProtocolTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_protocol.moc"
