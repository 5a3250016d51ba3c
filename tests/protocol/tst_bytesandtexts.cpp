// The protocol's byte and text rules on their own, without a window: Modbus
// frames and CRC, register replies, baud codes and every value read out of the
// terminal's text replies.

#include "protocol/modbus.h"
#include "protocol/replies.h"

#include <QtTest>

namespace {

QByteArray hex(const char *spaced)
{
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

quint16 crcOf(const QByteArray &bytes)
{
    return modbus::crc16Modbus(reinterpret_cast<const quint8 *>(bytes.constData()),
                               std::size_t(bytes.size()));
}

std::optional<quint16> decode(const QByteArray &bytes)
{
    return modbus::decodeRegisterReply(reinterpret_cast<const quint8 *>(bytes.constData()),
                                       std::size_t(bytes.size()));
}

// A register reply as the terminal sends it: station, function, byte count,
// data, CRC low and high.
QByteArray registerReply(quint8 function, const QByteArray &data)
{
    QByteArray reply;
    reply.append(char(1)).append(char(function)).append(char(data.size())).append(data);
    const quint16 crc = crcOf(reply);
    reply.append(char(crc & 0xFF)).append(char(crc >> 8));
    return reply;
}

const QByteArray kStationReply = hex("01 03 02 01 05 79 D7"); // register value 0x0105

} // namespace

class BytesAndTextsTest : public QObject
{
    Q_OBJECT

private slots:
    void crcCheckValue();
    void requestFrames_data();
    void requestFrames();
    void registerReplies_data();
    void registerReplies();
    void baudFromCode_data();
    void baudFromCode();
    void codeFromBaud_data();
    void codeFromBaud();

    void replyText_data();
    void replyText();
    void replyTextCutCharacter();
    void textHelpers();
    void asNumber_data();
    void asNumber();
    void deviceSwitch_data();
    void deviceSwitch();
    void deviceLog_data();
    void deviceLog();
    void serialNumber_data();
    void serialNumber();
    void beatSettings_data();
    void beatSettings();
    void serverAddress_data();
    void serverAddress();
    void indexAfter_data();
    void indexAfter();
    void mqttName_data();
    void mqttName();
    void unsolicitedEnd_data();
    void unsolicitedEnd();
    void unsolicitedReport_data();
    void unsolicitedReport();
};

void BytesAndTextsTest::crcCheckValue()
{
    const quint16 crc = crcOf("123456789");
    QCOMPARE(crc, quint16(0x4B37));
    // On the line the low byte goes first: 37 4B.
    const QByteArray frame = modbus::buildRequestFrame(1, 3, 0x0101, 1);
    QCOMPARE(quint8(frame.at(6)), quint8(crcOf(frame.left(6)) & 0xFF));
    QCOMPARE(quint8(frame.at(7)), quint8(crcOf(frame.left(6)) >> 8));
    QCOMPARE(modbus::crc16Modbus(nullptr, 0), quint16(0xFFFF));
}

void BytesAndTextsTest::requestFrames_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("station address read")
        << 0 << 3 << 0x0100 << 1 << hex("00 03 01 00 00 01 84 27");
    QTest::newRow("baud code read, station 1")
        << 1 << 3 << 0x0101 << 1 << hex("01 03 01 01 00 01 D4 36");
    QTest::newRow("relay 1 on") << 1 << 6 << 0x0106 << 1 << hex("01 06 01 06 00 01 A9 F7");
    QTest::newRow("relay 1 off") << 1 << 6 << 0x0106 << 0 << hex("01 06 01 06 00 00 68 37");
    QTest::newRow("baud code read, station 17")
        << 17 << 3 << 0x0101 << 1 << hex("11 03 01 01 00 01 D6 A6");
}

void BytesAndTextsTest::requestFrames()
{
    QFETCH(int, address);
    QFETCH(int, function);
    QFETCH(int, reg);
    QFETCH(int, value);
    QFETCH(QByteArray, frame);
    QCOMPARE(
        modbus::buildRequestFrame(quint8(address), quint8(function), quint16(reg), quint16(value))
            .toHex(' '),
        frame.toHex(' '));
}

void BytesAndTextsTest::registerReplies_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");

    const QByteArray echo = hex("00 03 01 00 00 01 84 27");
    QTest::newRow("reply alone") << kStationReply << true << 0x0105;
    QTest::newRow("13 bytes, read from byte 0")
        << kStationReply + QByteArray(6, 'x') << true << 0x0105;
    QTest::newRow("15 bytes, echo then reply, read from byte 8")
        << echo + kStationReply << true << 0x0105;
    QTest::newRow("14 bytes, reply at byte 0 is not looked at")
        << kStationReply + QByteArray(7, 'x') << false << 0;
    QTest::newRow("baud code 7") << hex("01 03 02 00 07 F9 86") << true << 7;
    QTest::newRow("two registers, first one counts")
        << registerReply(3, hex("12 34 56 78")) << true << 0x1234;
    QTest::newRow("wrong CRC") << hex("01 03 02 01 05 79 D8") << false << 0;
    QTest::newRow("function 6 with a correct CRC") << registerReply(6, hex("01 05")) << false << 0;
    QTest::newRow("5 bytes") << kStationReply.left(5) << false << 0;
    QTest::newRow("empty") << QByteArray() << false << 0;
    QTest::newRow("byte count beyond the buffer")
        << hex("01 03 FF 01 05 79 D7 00 00 00 00 00 00") << false << 0;
    QTest::newRow("byte count one short of the data") << kStationReply.left(6) << false << 0;
    QTest::newRow("byte count 0") << registerReply(3, QByteArray()) + "x" << false << 0;
    QTest::newRow("byte count 1") << registerReply(3, hex("05")) << false << 0;
}

void BytesAndTextsTest::registerReplies()
{
    QFETCH(QByteArray, buffer);
    QFETCH(bool, valid);
    QFETCH(int, value);
    const std::optional<quint16> decoded = decode(buffer);
    QCOMPARE(decoded.has_value(), valid);
    if (valid)
        QCOMPARE(int(*decoded), value);
}

void BytesAndTextsTest::baudFromCode_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("baud");
    QTest::newRow("0") << 0 << 2400;
    QTest::newRow("1") << 1 << 4800;
    QTest::newRow("2") << 2 << 9600;
    QTest::newRow("3") << 3 << 115200;
    QTest::newRow("4") << 4 << 19200;
    QTest::newRow("7") << 7 << 19200;
    QTest::newRow("0xFFFF") << 0xFFFF << 19200;
}

void BytesAndTextsTest::baudFromCode()
{
    QFETCH(int, code);
    QFETCH(int, baud);
    QCOMPARE(modbus::baudFromCode(quint16(code)), baud);
}

void BytesAndTextsTest::codeFromBaud_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("code");
    QTest::newRow("2400") << 2400 << 0;
    QTest::newRow("4800") << 4800 << 1;
    QTest::newRow("9600") << 9600 << 2;
    QTest::newRow("115200") << 115200 << 3;
    QTest::newRow("19200") << 19200 << 4;
    QTest::newRow("57600") << 57600 << 4;
    QTest::newRow("0") << 0 << 4;
}

void BytesAndTextsTest::codeFromBaud()
{
    QFETCH(int, baud);
    QFETCH(int, code);
    QCOMPARE(int(modbus::codeFromBaud(baud)), code);
}

void BytesAndTextsTest::replyText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("from");
    QTest::addColumn<QString>("text");

    const QString bad(QChar::ReplacementCharacter);
    QTest::newRow("plain") << QByteArray("+CSQ: 23,99\r\n") << 0
                           << QStringLiteral("+CSQ: 23,99\r\n");
    QTest::newRow("UTF-8") << QByteArray("版本V1") << 0 << QStringLiteral("版本V1");
    QTest::newRow("zero bytes dropped")
        << QByteArray("SN:A1\r\n\0SN:B2\r\n", 15) << 0 << QStringLiteral("SN:A1\r\nSN:B2\r\n");
    QTest::newRow("zero byte first")
        << QByteArray("\0+SN:A1234\r\nOK\r\n", 17) << 0 << QStringLiteral("+SN:A1234\r\nOK\r\n");
    QTest::newRow("invalid UTF-8") << QByteArray("\xff\xfeOK") << 0 << bad + bad + "OK";
    QTest::newRow("from an offset")
        << QByteArray("+CSQ: 23,99\r\n+CSQ: 18,99") << 13 << QStringLiteral("+CSQ: 18,99");
    QTest::newRow("from the end") << QByteArray("OK\r\n") << 4 << QString();
    QTest::newRow("from beyond the end") << QByteArray("OK\r\n") << 40 << QString();
    QTest::newRow("from beyond a zero byte") << QByteArray("ab\0cd", 5) << 3 << "cd";
    QTest::newRow("empty") << QByteArray() << 0 << QString();
}

void BytesAndTextsTest::replyText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, from);
    QFETCH(QString, text);
    QCOMPARE(replies::replyText(bytes.constData(), bytes.size(), from), text);
}

// A reply cut in the middle of a character keeps everything before the cut.
void BytesAndTextsTest::replyTextCutCharacter()
{
    const QByteArray bytes("OK\xe7\x89");
    const QString text = replies::replyText(bytes.constData(), bytes.size());
    QVERIFY(text.startsWith(QLatin1String("OK")));
    QVERIFY(text.size() > 2);
    for (const QChar c : text.mid(2))
        QCOMPARE(c, QChar(QChar::ReplacementCharacter));
}

void BytesAndTextsTest::textHelpers()
{
    using namespace replies;
    QCOMPARE(textAfter(QStringLiteral("+SN:A1:B2"), QStringLiteral(":")), QStringLiteral("A1:B2"));
    QCOMPARE(textAfter(QStringLiteral("+SN:A1"), QStringLiteral("BEAT:")), QString());
    QCOMPARE(textAfter(QStringLiteral("SN:"), QStringLiteral("SN:")), QString());
    QCOMPARE(upTo(QStringLiteral("60\r\nOK\r\n"), QStringLiteral("\r\n")), QStringLiteral("60"));
    QCOMPARE(upTo(QStringLiteral("60"), QStringLiteral("\r\n")), QStringLiteral("60"));
    QCOMPARE(upTo(QStringLiteral("3(MQTT)"), QStringLiteral("(")), QStringLiteral("3"));
    QCOMPARE(textAfter(QStringLiteral("sn:A1"), QStringLiteral("SN:")), QString());
}

void BytesAndTextsTest::asNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");
    QTest::newRow("digits") << "60" << 60;
    QTest::newRow("white space around") << " \t60 \r\n" << 60;
    QTest::newRow("negative") << "-5" << -5;
    QTest::newRow("space inside") << "6 0" << 0;
    QTest::newRow("trailing text") << "60s" << 0;
    QTest::newRow("hexadecimal") << "0x10" << 0;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("too large") << "99999999999" << 0;
}

void BytesAndTextsTest::asNumber()
{
    QFETCH(QString, text);
    QFETCH(int, number);
    QCOMPARE(replies::asNumber(text), number);
}

void BytesAndTextsTest::deviceSwitch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state"); // -1 no answer, 0 closed, 1 open
    QTest::newRow("open") << "+OPENDEV:OPEN\r\nOK\r\n" << 1;
    QTest::newRow("closed") << "+OPENDEV:CLOSE\r\nOK\r\n" << 0;
    QTest::newRow("both words count as closed") << "OPEN CLOSE" << 0;
    QTest::newRow("both words, open first") << "CLOSE OPEN" << 0;
    QTest::newRow("lower case is no answer") << "open" << -1;
    QTest::newRow("error") << "ERROR\r\n" << -1;
}

void BytesAndTextsTest::deviceSwitch()
{
    QFETCH(QString, text);
    QFETCH(int, state);
    const std::optional<bool> open = replies::deviceOpen(text);
    QCOMPARE(open ? int(*open) : -1, state);
}

void BytesAndTextsTest::deviceLog_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state"); // -1 no answer, 0 off, 1 on
    QTest::newRow("on") << "+GSMLOG:(1)\r\nOK\r\n" << 1;
    QTest::newRow("off") << "+GSMLOG:(0)\r\nOK\r\n" << 0;
    QTest::newRow("no GSMLOG") << "OK\r\n" << -1;
}

void BytesAndTextsTest::deviceLog()
{
    QFETCH(QString, text);
    QFETCH(int, state);
    const std::optional<bool> on = replies::deviceLogOn(text);
    QCOMPARE(on ? int(*on) : -1, state);
}

void BytesAndTextsTest::serialNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("recognised");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("sn");
    QTest::newRow("number and OK") << "+SN:A1234\r\nOK\r\n" << true << true << "A1234";
    QTest::newRow("keyword mid-line") << "xxSN:B7\r\n" << true << true << "B7";
    QTest::newRow("empty number") << "SN:\r\n" << true << false << "";
    QTest::newRow("no line end") << "SN:A1234" << true << false << "";
    QTest::newRow("bare line feed") << "SN:A1234\n" << true << false << "";
    QTest::newRow("no keyword") << "ERROR\r\n" << false << false << "";
    QTest::newRow("lower case") << "sn:A1234\r\n" << false << false << "";
}

void BytesAndTextsTest::serialNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, recognised);
    QFETCH(bool, readable);
    QFETCH(QString, sn);
    const replies::Answer<QString> answer = replies::serialNumber(text);
    QCOMPARE(answer.recognised, recognised);
    QCOMPARE(answer.value.has_value(), readable);
    QCOMPARE(answer.value.value_or(QString()), sn);
}

void BytesAndTextsTest::beatSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("recognised");
    QTest::addColumn<QString>("intervalText");
    QTest::addColumn<int>("interval"); // -1: none read
    QTest::addColumn<QString>("key");  // "<none>": none read
    const QString none = QStringLiteral("<none>");
    QTest::newRow("interval, OK, key") << "+BEAT:60\r\nOK\r\nk3y\r\n"
                                       << true << "60" << 60 << "k3y";
    QTest::newRow("spaces around the interval")
        << "BEAT: 30 \r\nOK\r\nkey" << true << " 30 " << 30 << "key";
    QTest::newRow("empty key line") << "+BEAT:60\r\nOK\r\n\r\n" << true << "60" << 60 << "";
    QTest::newRow("interval beyond 16 bits") << "BEAT:70000\r\nOK\r\nk\r\n"
                                             << true << "70000" << -1 << "k";
    QTest::newRow("unreadable interval") << "BEAT:abc\r\nOK\r\nk\r\n" << true << "abc" << -1 << "k";
    QTest::newRow("no OK: no key") << "BEAT:60,abc" << true << "60,abc" << -1 << none;
    QTest::newRow("nothing after the keyword") << "BEAT:" << true << "" << -1 << none;
    QTest::newRow("no keyword") << "ERROR\r\n" << false << "" << -1 << none;
}

void BytesAndTextsTest::beatSettings()
{
    QFETCH(QString, text);
    QFETCH(bool, recognised);
    QFETCH(QString, intervalText);
    QFETCH(int, interval);
    QFETCH(QString, key);
    const std::optional<replies::BeatSettings> beat = replies::beatSettings(text);
    QCOMPARE(beat.has_value(), recognised);
    if (!beat)
        return;
    QCOMPARE(beat->intervalText, intervalText);
    QCOMPARE(beat->interval ? int(*beat->interval) : -1, interval);
    QCOMPARE(beat->key.value_or(QStringLiteral("<none>")), key);
}

void BytesAndTextsTest::serverAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("recognised");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("host and port") << "+DOMAIN:mq.example.com:3999\r\nOK\r\n"
                                   << true << true << "mq.example.com" << 3999;
    QTest::newRow("unreadable port") << "DOMAIN:h:abc\r\n" << true << true << "h" << -1;
    QTest::newRow("no port separator: the line is the host") << "+DOMAIN:4000\r\nOK\r\n"
                                                             << true << true << "4000" << -1;
    QTest::newRow("DOMAIN without DOMAIN:") << "AT+DOMAIN?\r\nERROR\r\n"
                                            << true << false << "" << 0;
    QTest::newRow("no keyword") << "OK\r\n" << false << false << "" << 0;
}

void BytesAndTextsTest::serverAddress()
{
    QFETCH(QString, text);
    QFETCH(bool, recognised);
    QFETCH(bool, readable);
    QFETCH(QString, host);
    QFETCH(int, port);
    const replies::Answer<replies::ServerAddress> answer = replies::serverAddress(text);
    QCOMPARE(answer.recognised, recognised);
    QCOMPARE(answer.value.has_value(), readable);
    if (!answer.value)
        return;
    QCOMPARE(answer.value->host, host);
    QCOMPARE(answer.value->port.value_or(-1), port);
}

void BytesAndTextsTest::indexAfter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("recognised");
    QTest::addColumn<int>("index"); // -1: no value
    QTest::newRow("protocol with name") << "+SRVPRO:3(MQTT)\r\nOK\r\n"
                                        << "SRVPRO" << true << 3;
    QTest::newRow("protocol without name") << "+SRVPRO:3\r\nOK\r\n"
                                           << "SRVPRO" << true << 3;
    QTest::newRow("index out of range") << "SRVPRO:9(?)"
                                        << "SRVPRO" << true << 9;
    QTest::newRow("unreadable index") << "DEVTYPE:x"
                                      << "DEVTYPE" << true << -1;
    QTest::newRow("keyword without colon") << "AT+SRVPRO?\r\nERROR"
                                           << "SRVPRO" << true << -1;
    QTest::newRow("device type") << "+DEVTYPE:8(RS485)\r\n"
                                 << "DEVTYPE" << true << 8;
    QTest::newRow("other keyword") << "SRVPRO:3"
                                   << "DEVTYPE" << false << -1;
    QTest::newRow("no keyword") << "OK\r\n"
                                << "SRVPRO" << false << -1;
}

void BytesAndTextsTest::indexAfter()
{
    QFETCH(QString, text);
    QFETCH(QString, keyword);
    QFETCH(bool, recognised);
    QFETCH(int, index);
    const replies::Answer<int> answer = replies::indexAfter(text, keyword);
    QCOMPARE(answer.recognised, recognised);
    QCOMPARE(answer.value.value_or(-1), index);
}

void BytesAndTextsTest::mqttName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name"); // empty: no name
    QTest::newRow("bare") << "user7"
                          << "user7";
    QTest::newRow("with line end and OK") << "user7\r\nOK\r\n"
                                          << "user7";
    QTest::newRow("after an empty line") << "\r\nuser7\r\n"
                                         << "user7";
    QTest::newRow("error") << "ERROR\r\n"
                           << "";
    QTest::newRow("OK alone") << "\r\nOK\r\n"
                              << "";
}

void BytesAndTextsTest::mqttName()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QCOMPARE(replies::mqttName(text).value_or(QString()), name);
}

void BytesAndTextsTest::unsolicitedEnd_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("from");
    QTest::addColumn<bool>("quietLongEnough");
    QTest::addColumn<int>("end");
    QTest::newRow("one whole line") << QByteArray("+CSQ: 9,99\r\n") << 0 << false << 12;
    QTest::newRow("no line end: waits") << QByteArray("+CSQ: 2") << 0 << false << 0;
    QTest::newRow("no line end, quiet: all") << QByteArray("+CSQ: 2") << 0 << true << 7;
    QTest::newRow("a line and a part") << QByteArray("+CSQ: 9,99\r\n+CS") << 0 << false << 12;
    QTest::newRow("from inside") << QByteArray("ab\ncd\nef") << 3 << false << 6;
    QTest::newRow("nothing new") << QByteArray("ab\n") << 3 << true << 3;
    QTest::newRow("from beyond") << QByteArray("ab\n") << 9 << true << 9;
    QTest::newRow("from before the start") << QByteArray("ab\ncd") << -5 << false << 3;
    QTest::newRow("empty") << QByteArray() << 0 << false << 0;
}

void BytesAndTextsTest::unsolicitedEnd()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, from);
    QFETCH(bool, quietLongEnough);
    QFETCH(int, end);
    QCOMPARE(replies::unsolicitedEnd(bytes.constData(), bytes.size(), from, quietLongEnough), end);
    const QByteArray withZero("\0+CSQ: 7,99\r\n", 13);
    QCOMPARE(replies::unsolicitedText(withZero.constData(), 0, withZero.size()),
             QStringLiteral("+CSQ: 7,99\r\n"));
}

void BytesAndTextsTest::unsolicitedReport_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("server"); // -1 no report, 0 not connected, 1 connected
    QTest::addColumn<int>("csq");    // -1 no report
    QTest::newRow("signal quality") << "+CSQ: 23,99\r\n" << -1 << 23;
    QTest::newRow("signal quality without comma") << "+CSQ: 17" << -1 << 17;
    QTest::newRow("no space after CSQ:") << "+CSQ:23,99\r\n" << -1 << -1;
    QTest::newRow("server connected") << "+CMQTTCONNECT: 0,0\r\nmq.example.com" << 1 << -1;
    QTest::newRow("server not connected") << "+CMQTTCONNECT: 0,7\r\n" << 0 << -1;
    QTest::newRow("other client index") << "+CMQTTCONNECT: 1,0 mq.example.com" << -1 << -1;
    QTest::newRow("both reports") << "+CSQ: 5,99\r\n+CMQTTCONNECT: 0,0 x.com\r\n" << 1 << 5;
    QTest::newRow("nothing") << "RDY\r\n" << -1 << -1;
}

void BytesAndTextsTest::unsolicitedReport()
{
    QFETCH(QString, text);
    QFETCH(int, server);
    QFETCH(int, csq);
    const replies::UnsolicitedReport report = replies::unsolicitedReport(text);
    QCOMPARE(report.serverConnected ? int(*report.serverConnected) : -1, server);
    QCOMPARE(report.signalQuality.value_or(-1), csq);
}

int runBytesAndTextsTest(int argc, char **argv)
{
    BytesAndTextsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_bytesandtexts.moc"
