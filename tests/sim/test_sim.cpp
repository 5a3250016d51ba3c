// The simulated terminal, checked from the tool's side of the line: a serial
// port opened on the simulator's pseudo-terminal, bytes written, bytes read.

#include "PtyPair.h"
#include "TerminalSimulator.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>
#include <array>
#include <memory>

namespace {

// Written here from the published definition of CRC-16/MODBUS, table-driven,
// so that it shares nothing with the simulator's own routine.
quint16 referenceCrc(const QByteArray &bytes)
{
    static const std::array<quint16, 256> table = [] {
        std::array<quint16, 256> t{};
        for (int n = 0; n < 256; ++n) {
            quint16 value = static_cast<quint16>(n);
            for (int k = 0; k < 8; ++k)
                value = (value & 1) ? static_cast<quint16>((value >> 1) ^ 0xA001) : (value >> 1);
            t[n] = value;
        }
        return t;
    }();
    quint16 crc = 0xFFFF;
    for (const char c : bytes)
        crc = static_cast<quint16>((crc >> 8) ^ table[(crc ^ static_cast<quint8>(c)) & 0xFF]);
    return crc;
}

QByteArray frame(std::initializer_list<int> body)
{
    QByteArray bytes;
    for (const int b : body)
        bytes.append(static_cast<char>(b));
    const quint16 crc = referenceCrc(bytes);
    bytes.append(static_cast<char>(crc & 0xFF));
    bytes.append(static_cast<char>(crc >> 8));
    return bytes;
}

bool crcHolds(const QByteArray &reply)
{
    if (reply.size() < 3)
        return false;
    const quint16 crc = referenceCrc(reply.left(reply.size() - 2));
    return static_cast<quint8>(reply.at(reply.size() - 2)) == (crc & 0xFF) &&
           static_cast<quint8>(reply.at(reply.size() - 1)) == (crc >> 8);
}

QByteArray at(const char *body)
{
    return QByteArray("AT+") + body + "\r\n";
}

// The station-address read the tool sends before it knows the address.
const QByteArray kReadAddressAnyStation = frame({0x00, 0x03, 0x01, 0x00, 0x00, 0x01});

} // namespace

class SimTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void referenceCrcMatchesThePublishedCheckValue();
    void registerReadsAreAnsweredWithACorrectCrc();
    void stationZeroReadIsAnsweredWhateverTheAddress();
    void registerWritesAreEchoedAndChangeTheState();
    void baudCodeWriteMovesTheTerminalToTheNewRate();
    void badCrcAndOtherStationGetNoAnswer();
    void requestInPiecesIsAssembled();
    void staleHalfRequestIsForgotten();

    void atAnswersHaveTheirShapes_data();
    void atAnswersHaveTheirShapes();
    void atWritesChangeTheState_data();
    void atWritesChangeTheState();
    void ignoredWritesAreConfirmedButKeepTheState();
    void disabledTerminalAnswersOnlyEnatcmd();
    void enatcmdEnablesRefusesAndDisables();

    void answersOnlyAtItsOwnRateAnd8N1();
    void reopeningThePortKeepsTheLine();
    void everyRequestIsRecorded();
    void silentTerminalAnswersNothing();
    void echoPrecedesTheAnswer();
    void delayedAnswerArrivesLater();
    void splitAnswerArrivesInPieces();

    void reportsAreSentAtTheirInterval();
    void deviceLogLinesFlowOnlyWhileTheLogIsOn();
    void garbageArrivesAsGiven();
    void floodRepeatsItsTextAtLineRate();
    void droppedLineIsAnErrorOnTheToolsSide();

    void ptyPairSeesTheSlavesLineSettings();

private:
    void send(const QByteArray &bytes);
    void expectAnswer(const QByteArray &request, const QByteArray &answer);
    void expectNoAnswer(const QByteArray &request);
    void expectOnlyTheMarkerAnswer();
    QByteArray addressReply() const;

    std::unique_ptr<TerminalSimulator> m_sim;
    std::unique_ptr<QSerialPort> m_tool;
    QByteArray m_rx;
    QList<QByteArray> m_chunks;
};

void SimTest::initTestCase()
{
    qRegisterMetaType<QSerialPort::SerialPortError>();
}

void SimTest::init()
{
    m_sim = std::make_unique<TerminalSimulator>();
    QVERIFY2(m_sim->openPty(), qPrintable(m_sim->errorString()));
    TerminalSimulator::State &state = m_sim->state();
    state.serialNumber = QStringLiteral("A1234");
    state.softwareVersion = QStringLiteral("SIM V9.9");
    state.mqttKey = QStringLiteral("secretkey");
    state.serverHost = QStringLiteral("iot.tavrin.example.com");
    state.serverPort = 3999;
    state.mqttLoginName = QStringLiteral("user01");
    state.serverProtocol = 3;
    state.deviceType = 7;

    m_rx.clear();
    m_chunks.clear();
    m_tool = std::make_unique<QSerialPort>();
    m_tool->setPortName(m_sim->slavePath());
    m_tool->setBaudRate(9600);
    QVERIFY2(m_tool->open(QIODevice::ReadWrite), qPrintable(m_tool->errorString()));
    connect(m_tool.get(), &QSerialPort::readyRead, this, [this] {
        const QByteArray chunk = m_tool->readAll();
        m_rx += chunk;
        m_chunks << chunk;
    });
}

void SimTest::cleanup()
{
    m_tool.reset();
    m_sim.reset();
}

void SimTest::send(const QByteArray &bytes)
{
    m_tool->write(bytes);
    QVERIFY(m_tool->flush());
}

void SimTest::expectAnswer(const QByteArray &request, const QByteArray &answer)
{
    m_rx.clear();
    send(request);
    QTRY_VERIFY(m_rx.size() >= answer.size());
    QCOMPARE(m_rx, answer);
}

// Nothing comes back: the request is seen, and a request sent after it is
// answered with nothing in front of its own answer.
void SimTest::expectNoAnswer(const QByteArray &request)
{
    m_rx.clear();
    const int seen = m_sim->requests().size();
    send(request);
    QTRY_VERIFY(m_sim->requests().size() > seen);
    QVERIFY(!m_sim->requests().last().answered);
    expectOnlyTheMarkerAnswer();
}

void SimTest::expectOnlyTheMarkerAnswer()
{
    send(kReadAddressAnyStation);
    QTRY_VERIFY(m_rx.size() >= addressReply().size());
    QCOMPARE(m_rx, addressReply());
    m_rx.clear();
}

QByteArray SimTest::addressReply() const
{
    const int address = m_sim->state().address;
    return frame({address, 0x03, 0x02, 0x00, address});
}

void SimTest::referenceCrcMatchesThePublishedCheckValue()
{
    QCOMPARE(referenceCrc("123456789"), quint16(0x4B37));
    QCOMPARE(frame({0x00, 0x03, 0x01, 0x00, 0x00, 0x01}).toHex(' '),
             QByteArray("00 03 01 00 00 01 84 27"));
    QCOMPARE(frame({0x01, 0x06, 0x01, 0x06, 0x00, 0x01}).toHex(' '),
             QByteArray("01 06 01 06 00 01 a9 f7"));
}

void SimTest::registerReadsAreAnsweredWithACorrectCrc()
{
    m_sim->state().address = 1;
    m_sim->state().baudCode = 2;
    expectAnswer(frame({0x01, 0x03, 0x01, 0x01, 0x00, 0x01}),
                 frame({0x01, 0x03, 0x02, 0x00, 0x02}));
    QVERIFY(crcHolds(m_rx));
    QCOMPARE(m_rx.toHex(' '), QByteArray("01 03 02 00 02 39 85"));

    expectAnswer(frame({0x01, 0x03, 0x01, 0x00, 0x00, 0x01}),
                 frame({0x01, 0x03, 0x02, 0x00, 0x01}));
    QVERIFY(crcHolds(m_rx));
}

void SimTest::stationZeroReadIsAnsweredWhateverTheAddress()
{
    m_sim->state().address = 37;
    expectAnswer(kReadAddressAnyStation, frame({37, 0x03, 0x02, 0x00, 37}));
    QVERIFY(crcHolds(m_rx));
}

void SimTest::registerWritesAreEchoedAndChangeTheState()
{
    const QByteArray relay1On = frame({0x01, 0x06, 0x01, 0x06, 0x00, 0x01});
    expectAnswer(relay1On, relay1On);
    const QByteArray relay2On = frame({0x01, 0x06, 0x01, 0x0C, 0x00, 0x01});
    expectAnswer(relay2On, relay2On);
    const QByteArray relay3On = frame({0x01, 0x06, 0x01, 0x0D, 0x00, 0x01});
    expectAnswer(relay3On, relay3On);
    QVERIFY(m_sim->state().relays[0] && m_sim->state().relays[1] && m_sim->state().relays[2]);
    expectAnswer(frame({0x01, 0x03, 0x01, 0x0C, 0x00, 0x01}),
                 frame({0x01, 0x03, 0x02, 0x00, 0x01}));

    const QByteArray relay2Off = frame({0x01, 0x06, 0x01, 0x0C, 0x00, 0x00});
    expectAnswer(relay2Off, relay2Off);
    QVERIFY(!m_sim->state().relays[1]);

    const QByteArray moveToStation9 = frame({0x01, 0x06, 0x01, 0x00, 0x00, 0x09});
    expectAnswer(moveToStation9, moveToStation9);
    QCOMPARE(m_sim->state().address, 9);
    expectAnswer(kReadAddressAnyStation, frame({0x09, 0x03, 0x02, 0x00, 0x09}));
    expectNoAnswer(frame({0x01, 0x03, 0x01, 0x00, 0x00, 0x01}));
}

void SimTest::baudCodeWriteMovesTheTerminalToTheNewRate()
{
    // The echo still comes at 9600; from then on the terminal hears 115200 only.
    const QByteArray to115200 = frame({0x01, 0x06, 0x01, 0x01, 0x00, 0x03});
    expectAnswer(to115200, to115200);
    QCOMPARE(m_sim->state().baudCode, 3);
    QCOMPARE(m_sim->ownBaudRate(), 115200);

    m_rx.clear();
    send(at("SN?"));
    QTRY_COMPARE(m_sim->requests().size(), 2);
    QVERIFY(!m_sim->requests().last().answered);
    QCOMPARE(m_sim->requests().last().lineBaudRate, 9600);

    QVERIFY(m_tool->setBaudRate(115200));
    expectAnswer(at("SN?"), "+SN:A1234\r\nOK\r\n");
    QCOMPARE(m_sim->requests().last().lineBaudRate, 115200);
}

void SimTest::badCrcAndOtherStationGetNoAnswer()
{
    QByteArray corrupted = frame({0x01, 0x03, 0x01, 0x00, 0x00, 0x01});
    corrupted[7] = static_cast<char>(corrupted.at(7) ^ 0x01);
    m_rx.clear();
    send(corrupted);
    // Bytes that never form a request are noted once the line falls quiet.
    QTRY_VERIFY(!m_sim->requests().isEmpty());
    QCOMPARE(m_sim->requests().last().kind, TerminalSimulator::RequestKind::Noise);
    QCOMPARE(m_sim->requests().last().raw, corrupted);
    expectOnlyTheMarkerAnswer();

    expectNoAnswer(frame({0x02, 0x03, 0x01, 0x00, 0x00, 0x01}));
    expectNoAnswer(frame({0x02, 0x06, 0x01, 0x06, 0x00, 0x01}));
    QVERIFY(!m_sim->state().relays[0]);
}

void SimTest::requestInPiecesIsAssembled()
{
    const QByteArray request = frame({0x01, 0x03, 0x01, 0x01, 0x00, 0x01});
    m_rx.clear();
    send(request.left(3));
    QCoreApplication::processEvents(); // the simulator reads the first piece alone
    send(request.mid(3));
    QTRY_VERIFY(m_rx.size() >= 7);
    QCOMPARE(m_rx, frame({0x01, 0x03, 0x02, 0x00, 0x02}));

    m_rx.clear();
    send("AT+S");
    QCoreApplication::processEvents();
    send("N?\r");
    QCoreApplication::processEvents();
    send("\n");
    QTRY_COMPARE(m_rx, QByteArray("+SN:A1234\r\nOK\r\n"));
    QCOMPARE(m_sim->atCommands(), QStringList{QStringLiteral("SN?")});
}

void SimTest::staleHalfRequestIsForgotten()
{
    const QByteArray request = frame({0x01, 0x03, 0x01, 0x01, 0x00, 0x01});
    m_rx.clear();
    send(request.left(4));
    QTRY_COMPARE(m_sim->requests().size(), 1);
    QCOMPARE(m_sim->requests().first().kind, TerminalSimulator::RequestKind::Noise);
    QCOMPARE(m_sim->requests().first().raw, request.left(4));

    expectAnswer(request, frame({0x01, 0x03, 0x02, 0x00, 0x02}));
    QCOMPARE(m_sim->modbusFrames(), QList<QByteArray>{request});
}

void SimTest::atAnswersHaveTheirShapes_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("ENATCMD?") << at("ENATCMD?") << QByteArray("ENATCMD:1:1\r\nOK\r\n");
    QTest::newRow("SN?") << at("SN?") << QByteArray("+SN:A1234\r\nOK\r\n");
    QTest::newRow("VER") << at("VER") << QByteArray("SIM V9.9\r\nOK\r\n");
    QTest::newRow("OPENDEV?") << at("OPENDEV?") << QByteArray("+OPENDEV:OPEN\r\nOK\r\n");
    QTest::newRow("OPENDEV=0") << at("OPENDEV=0") << QByteArray("+OPENDEV:CLOSE\r\nOK\r\n");
    QTest::newRow("OPENDEV=1") << at("OPENDEV=1") << QByteArray("+OPENDEV:OPEN\r\nOK\r\n");
    QTest::newRow("GSMLOG=1") << at("GSMLOG=1") << QByteArray("+GSMLOG:(1)\r\nOK\r\n");
    QTest::newRow("GSMLOG=0") << at("GSMLOG=0") << QByteArray("+GSMLOG:(0)\r\nOK\r\n");
    QTest::newRow("BEAT?") << at("BEAT?") << QByteArray("+BEAT:60\r\nOK\r\nsecretkey\r\n");
    QTest::newRow("DOMAIN?") << at("DOMAIN?")
                             << QByteArray("+DOMAIN:iot.tavrin.example.com:3999\r\nOK\r\n");
    QTest::newRow("PKEY?") << at("PKEY?") << QByteArray("user01");
    QTest::newRow("SRVPRO?") << at("SRVPRO?") << QByteArray("+SRVPRO:3(MQTT)\r\nOK\r\n");
    QTest::newRow("DEVTYPE?") << at("DEVTYPE?")
                              << QByteArray("+DEVTYPE:7(RELAY_BOARD_3)\r\nOK\r\n");
    QTest::newRow("unknown") << at("NOSUCH?") << QByteArray("ERROR\r\n");
    QTest::newRow("bad value") << at("SRVPRO=9") << QByteArray("ERROR\r\n");
}

void SimTest::atAnswersHaveTheirShapes()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    expectAnswer(command, answer);
}

void SimTest::atWritesChangeTheState_data()
{
    QTest::addColumn<QByteArray>("write");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("readBack");
    QTest::newRow("SN") << at("SN=B5678") << at("SN?") << QByteArray("+SN:B5678\r\nOK\r\n");
    QTest::newRow("DEVTYPE") << at("DEVTYPE=4") << at("DEVTYPE?")
                             << QByteArray("+DEVTYPE:4(SOCKET)\r\nOK\r\n");
    QTest::newRow("SRVPRO") << at("SRVPRO=1") << at("SRVPRO?")
                            << QByteArray("+SRVPRO:1(TCP_JT808)\r\nOK\r\n");
    QTest::newRow("BEAT key and interval")
        << at("BEAT=newkey,120") << at("BEAT?") << QByteArray("+BEAT:120\r\nOK\r\nnewkey\r\n");
    QTest::newRow("BEAT key alone")
        << at("BEAT=onlykey,") << at("BEAT?") << QByteArray("+BEAT:60\r\nOK\r\nonlykey\r\n");
    QTest::newRow("DOMAIN") << at("DOMAIN=mqtt.example.com:1883") << at("DOMAIN?")
                            << QByteArray("+DOMAIN:mqtt.example.com:1883\r\nOK\r\n");
    QTest::newRow("PKEY") << at("PKEY=user42,") << at("PKEY?") << QByteArray("user42");
}

void SimTest::atWritesChangeTheState()
{
    QFETCH(QByteArray, write);
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, readBack);
    expectAnswer(write, "OK\r\n");
    expectAnswer(query, readBack);
}

void SimTest::ignoredWritesAreConfirmedButKeepTheState()
{
    m_sim->setIgnoredWrites({"SN", "DEVTYPE", "SRVPRO", "BEAT", "DOMAIN", "PKEY", "0100", "0101"});
    expectAnswer(at("SN=B5678"), "OK\r\n");
    expectAnswer(at("SN?"), "+SN:A1234\r\nOK\r\n");
    expectAnswer(at("DEVTYPE=4"), "OK\r\n");
    expectAnswer(at("DEVTYPE?"), "+DEVTYPE:7(RELAY_BOARD_3)\r\nOK\r\n");
    expectAnswer(at("SRVPRO=1"), "OK\r\n");
    expectAnswer(at("SRVPRO?"), "+SRVPRO:3(MQTT)\r\nOK\r\n");
    expectAnswer(at("BEAT=newkey,120"), "OK\r\n");
    expectAnswer(at("BEAT?"), "+BEAT:60\r\nOK\r\nsecretkey\r\n");
    expectAnswer(at("DOMAIN=mqtt.example.com:1883"), "OK\r\n");
    expectAnswer(at("DOMAIN?"), "+DOMAIN:iot.tavrin.example.com:3999\r\nOK\r\n");
    expectAnswer(at("PKEY=user42,"), "OK\r\n");
    expectAnswer(at("PKEY?"), "user01");

    const QByteArray moveToStation9 = frame({0x01, 0x06, 0x01, 0x00, 0x00, 0x09});
    expectAnswer(moveToStation9, moveToStation9);
    const QByteArray to115200 = frame({0x01, 0x06, 0x01, 0x01, 0x00, 0x03});
    expectAnswer(to115200, to115200);
    expectAnswer(kReadAddressAnyStation, frame({0x01, 0x03, 0x02, 0x00, 0x01}));
    expectAnswer(frame({0x01, 0x03, 0x01, 0x01, 0x00, 0x01}),
                 frame({0x01, 0x03, 0x02, 0x00, 0x02}));
}

void SimTest::disabledTerminalAnswersOnlyEnatcmd()
{
    m_sim->state().atEnabled = false;
    for (const char *command : {"SN?", "VER", "OPENDEV?", "GSMLOG=1", "BEAT?", "DOMAIN?", "PKEY?",
                                "SRVPRO?", "DEVTYPE?", "SN=B5678", "NOSUCH?"})
        expectNoAnswer(at(command));
    QCOMPARE(m_sim->state().serialNumber, QStringLiteral("A1234"));
    expectAnswer(at("ENATCMD?"), "ENATCMD:1:0\r\nOK\r\n");
}

void SimTest::enatcmdEnablesRefusesAndDisables()
{
    m_sim->state().atEnabled = false;
    m_sim->setRefuseAtEnable(true);
    expectAnswer(at("ENATCMD=1,1"), "ENATCMD:1:0\r\nOK\r\n");
    QVERIFY(!m_sim->state().atEnabled);

    m_sim->setRefuseAtEnable(false);
    expectAnswer(at("ENATCMD=1,1"), "ENATCMD:1:1\r\nOK\r\n");
    QVERIFY(m_sim->state().atEnabled);
    expectAnswer(at("SN?"), "+SN:A1234\r\nOK\r\n");

    expectNoAnswer(at("ENATCMD=2,0")); // another station's
    expectAnswer(at("ENATCMD=1,0"), "OK\r\n");
    QVERIFY(!m_sim->state().atEnabled);
    expectNoAnswer(at("SN?"));
}

void SimTest::answersOnlyAtItsOwnRateAnd8N1()
{
    QVERIFY(m_tool->setBaudRate(4800));
    m_rx.clear();
    send(at("SN?"));
    QTRY_COMPARE(m_sim->requests().size(), 1);
    QVERIFY(!m_sim->requests().last().answered);
    QCOMPARE(m_sim->requests().last().lineBaudRate, 4800);

    // A pseudo-terminal always carries 8 data bits without parity, so the
    // framing that can go wrong here is the stop bits.
    QVERIFY(m_tool->setBaudRate(9600));
    QVERIFY(m_tool->setStopBits(QSerialPort::TwoStop));
    send(at("SN?"));
    QTRY_COMPARE(m_sim->requests().size(), 2);
    QVERIFY(!m_sim->requests().last().answered);

    QVERIFY(m_tool->setStopBits(QSerialPort::OneStop));
    expectOnlyTheMarkerAnswer();
    expectAnswer(at("SN?"), "+SN:A1234\r\nOK\r\n");

    m_sim->state().baudCode = 0;
    QVERIFY(m_tool->setBaudRate(2400));
    expectAnswer(at("SN?"), "+SN:A1234\r\nOK\r\n");
}

void SimTest::reopeningThePortKeepsTheLine()
{
    expectAnswer(at("SN?"), "+SN:A1234\r\nOK\r\n");
    m_tool->close();
    QTest::qWait(50); // the simulator's loop runs while the port is closed
    QVERIFY(m_tool->open(QIODevice::ReadWrite));
    expectAnswer(at("SN?"), "+SN:A1234\r\nOK\r\n");
}

void SimTest::everyRequestIsRecorded()
{
    QSignalSpy spy(m_sim.get(), &TerminalSimulator::requestReceived);
    const QByteArray readBaud = frame({0x01, 0x03, 0x01, 0x01, 0x00, 0x01});
    expectAnswer(at("SN?"), "+SN:A1234\r\nOK\r\n");
    expectAnswer(readBaud, frame({0x01, 0x03, 0x02, 0x00, 0x02}));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(m_sim->atCommands(), QStringList{QStringLiteral("SN?")});
    QCOMPARE(m_sim->modbusFrames(), QList<QByteArray>{readBaud});
    const TerminalSimulator::Request first = m_sim->requests().first();
    QCOMPARE(first.raw, at("SN?"));
    QCOMPARE(first.kind, TerminalSimulator::RequestKind::At);
    QCOMPARE(first.text, QStringLiteral("AT+SN?"));
    QCOMPARE(first.lineBaudRate, 9600);
    QVERIFY(first.answered);

    m_sim->clearRequests();
    QVERIFY(m_sim->requests().isEmpty());
}

void SimTest::silentTerminalAnswersNothing()
{
    m_sim->setSilent(true);
    send(at("SN?"));
    send(kReadAddressAnyStation);
    QTRY_COMPARE(m_sim->requests().size(), 2);
    QVERIFY(!m_sim->requests().at(0).answered && !m_sim->requests().at(1).answered);
    QTest::qWait(200);
    QVERIFY(m_rx.isEmpty());

    m_sim->setSilent(false);
    expectOnlyTheMarkerAnswer();
}

void SimTest::echoPrecedesTheAnswer()
{
    m_sim->setEchoRequests(true);
    expectAnswer(at("SN?"), at("SN?") + "+SN:A1234\r\nOK\r\n");
    const QByteArray readBaud = frame({0x01, 0x03, 0x01, 0x01, 0x00, 0x01});
    expectAnswer(readBaud, readBaud + frame({0x01, 0x03, 0x02, 0x00, 0x02}));
}

void SimTest::delayedAnswerArrivesLater()
{
    m_sim->setReplyDelay(800);
    m_rx.clear();
    send(at("SN?"));
    QTRY_COMPARE(m_sim->requests().size(), 1);
    QVERIFY(m_sim->requests().last().answered);
    QVERIFY(m_rx.isEmpty());
    QTRY_COMPARE(m_rx, QByteArray("+SN:A1234\r\nOK\r\n"));
}

void SimTest::splitAnswerArrivesInPieces()
{
    m_sim->setReplySplit(3, 300);
    const QByteArray answer = "+SN:A1234\r\nOK\r\n";
    m_rx.clear();
    m_chunks.clear();
    send(at("SN?"));
    QTRY_VERIFY(!m_rx.isEmpty());
    QVERIFY(m_rx.size() < answer.size());
    QTRY_COMPARE(m_rx, answer);
    QCOMPARE(m_chunks.size(), 3);
    QCOMPARE(m_chunks.first(), answer.left(5));
}

void SimTest::reportsAreSentAtTheirInterval()
{
    m_sim->state().signalQuality = 17;
    m_sim->setReportInterval(100);
    QTRY_VERIFY(m_rx.contains("+CSQ: 17,99\r\n"));
    QTRY_VERIFY(m_rx.contains("+CMQTTCONNECT: 0,\"tcp://iot.tavrin.example.com:3999\"\r\n"));

    m_sim->state().serverConnected = false;
    QTRY_VERIFY(m_rx.contains("+CMQTTCONNECT: 0,1\r\n"));
    m_sim->setReportInterval(0);
}

void SimTest::deviceLogLinesFlowOnlyWhileTheLogIsOn()
{
    m_sim->setLogLineInterval(50);
    QTest::qWait(300);
    QVERIFY(m_rx.isEmpty());

    m_rx.clear();
    send(at("GSMLOG=1"));
    QTRY_VERIFY(m_rx.contains("[LOG] heartbeat sent\r\n"));
    QVERIFY(m_rx.startsWith("+GSMLOG:(1)\r\nOK\r\n"));
}

void SimTest::garbageArrivesAsGiven()
{
    const QByteArray garbage = QByteArray::fromHex("00ff7e0d0a415431fe");
    m_sim->sendGarbage(garbage);
    QTRY_COMPARE(m_rx, garbage);
}

void SimTest::floodRepeatsItsTextAtLineRate()
{
    qint64 sentBytes = 0;
    const QMetaObject::Connection counting =
        connect(m_sim.get(), &TerminalSimulator::sent, this,
                [&sentBytes](const QByteArray &bytes) { sentBytes += bytes.size(); });
    QSignalSpy finished(m_sim.get(), &TerminalSimulator::floodFinished);
    m_sim->startFlood(400);
    QVERIFY(finished.wait(10000));
    QTRY_COMPARE(qint64(m_rx.size()), sentBytes);

    const QByteArray text = TerminalSimulator::kDefaultFloodText;
    QVERIFY(m_rx.size() > 3 * text.size());
    QCOMPARE(m_rx, text.repeated(m_rx.size() / text.size() + 1).left(m_rx.size()));
    disconnect(counting);
}

void SimTest::droppedLineIsAnErrorOnTheToolsSide()
{
    QSignalSpy errors(m_tool.get(), &QSerialPort::errorOccurred);
    m_sim->dropLine();
    QVERIFY(!m_sim->isOpen());
    QTRY_VERIFY(errors.count() > 0);
    // Qt reports a hung-up pseudo-terminal as a read error (a vanished USB
    // adapter usually as a resource error); either way the tool hears of it.
    const auto error = errors.first().first().value<QSerialPort::SerialPortError>();
    QVERIFY2(error == QSerialPort::ReadError || error == QSerialPort::ResourceError,
             qPrintable(m_tool->errorString()));
    m_tool->close();
}

void SimTest::ptyPairSeesTheSlavesLineSettings()
{
    PtyPair pair;
    QVERIFY(pair.isValid());
    QSerialPort port;
    port.setPortName(pair.slavePath());
    port.setBaudRate(115200);
    port.setStopBits(QSerialPort::TwoStop);
    port.setFlowControl(QSerialPort::HardwareControl);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));

    const PtyPair::LineSettings settings = pair.lineSettings();
    QCOMPARE(settings.baudRate, 115200);
    QCOMPARE(settings.dataBits, 8);
    QCOMPARE(settings.parity, 'N');
    QCOMPARE(settings.stopBits, 2);
    QVERIFY(settings.rtsCts);
    QVERIFY(!settings.xonXoff);

    QCOMPARE(pair.write("hello"), qint64(5));
    QByteArray fromMaster;
    QTRY_COMPARE((fromMaster += port.readAll()), QByteArray("hello"));
    port.write("world");
    QVERIFY(port.flush());
    QByteArray fromSlave;
    QTRY_COMPARE((fromSlave += pair.readAvailable()), QByteArray("world"));

    QSignalSpy errors(&port, &QSerialPort::errorOccurred);
    pair.closeMaster();
    QTRY_VERIFY(errors.count() > 0);
}

QTEST_GUILESS_MAIN(SimTest)
#include "test_sim.moc"
