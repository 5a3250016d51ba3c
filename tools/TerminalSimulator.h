#pragma once

#include "simcodec.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <functional>

class SimLink;
struct LineSettings;

// A field terminal on a serial line, simulated in-process on the Qt event
// loop. It answers Modbus RTU register frames and "AT+" text commands the way
// the terminal does, can be told to misbehave the way terminals and adapters
// do, and records every request it receives so that a test can assert what
// went on the line.
class TerminalSimulator : public QObject
{
    Q_OBJECT
public:
    using RequestKind = termsim::RequestKind;

    // What the terminal holds. Tests set and read it directly.
    struct State
    {
        int address = 1;  // station address, 1 to 254 (register 0x0100)
        int baudCode = 2; // register 0x0101: 0 = 2400, 1 = 4800, 2 = 9600, 3 = 115200, 4 = 19200
        bool atEnabled = true;
        QString serialNumber = QStringLiteral("TV2400001");
        QString softwareVersion = QStringLiteral("TV2400 SIM V1.0.0 2024-06-01");
        bool switchOpen = true;
        bool deviceLog = false;
        int uploadInterval = 60; // seconds
        QString mqttKey = QStringLiteral("k7Qx2mPa9Lw4");
        QString serverHost = QStringLiteral("iot.tavrin.example.com");
        int serverPort = 3999;
        QString mqttLoginName = QStringLiteral("tv2400001");
        int serverProtocol = 3; // index into serverProtocolNames(): MQTT
        int deviceType = 0;     // index into deviceTypeNames()
        std::array<bool, 3> relays = {false, false, false};
        int signalQuality = 23;      // reported as "+CSQ: <n>,99"
        bool serverConnected = true; // decides which "+CMQTTCONNECT: 0" is reported
    };

    struct Request
    {
        QByteArray raw;
        RequestKind kind = RequestKind::Noise;
        QString text;         // AT: the line without "\r\n"; otherwise the bytes in hex
        int lineBaudRate = 0; // the tool's rate when the request arrived
        bool answered = false;
    };

    static const QByteArray kDefaultFloodText;

    explicit TerminalSimulator(QObject *parent = nullptr);
    ~TerminalSimulator() override;

    // Creates a pseudo-terminal; the tool opens slavePath().
    bool openPty();
    // Runs on a real serial port, opened at the terminal's own rate.
    bool openSerialPort(const QString &portName);
    bool isOpen() const;
    QString slavePath() const;
    QString errorString() const { return m_errorString; }

    State &state() { return m_state; }
    const State &state() const { return m_state; }
    int ownBaudRate() const;

    // Behaviours a test or a trainer switches on.
    void setRefuseAtEnable(bool refuse);
    void setSilent(bool silent);
    void setReplyDelay(int ms);
    void setReplySplit(int pieces, int pauseMs);
    void setEchoRequests(bool echo);
    // Sends a zero byte in front of every text answer, as some terminals do
    // after waking their line driver.
    void setZeroBeforeAnswers(bool zero);
    // How the bare answer to "PKEY?" ends: nothing (the default), "\r\n", or
    // "\r\nOK\r\n", as other firmware versions answer it.
    void setLoginNameEnd(const QByteArray &end);
    // Keywords "SN", "DEVTYPE", "SRVPRO", "BEAT", "DOMAIN", "PKEY", "OPENDEV",
    // "GSMLOG", "ENATCMD" or a register in hex ("0100", "0101", "0106" …): the
    // write is answered as usual but the state does not change.
    void setIgnoredWrites(const QStringList &keywords);
    // The same keywords: the write is answered "ERROR" and the state does not
    // change, as for a value the terminal refuses.
    void setRefusedWrites(const QStringList &keywords);
    // How the writes of settings (SN, DEVTYPE, SRVPRO, BEAT, DOMAIN, PKEY) are
    // answered: "OK", or "ERROR" for a refused value (the default), or, when
    // silent, not at all, though the value is taken as usual.
    void setSilentWrites(bool silent);
    // Sends "+CSQ: <n>,99" and "+CMQTTCONNECT: 0,…" every ms; 0 stops.
    void setReportInterval(int ms);
    // Sends a line of the device's own log every ms while its log is on; 0 stops.
    void setLogLineInterval(int ms);
    void sendGarbage(const QByteArray &bytes);
    // Repeats text at the full line rate for durationMs.
    void startFlood(int durationMs, const QByteArray &text = kDefaultFloodText);
    bool isFlooding() const { return m_floodTimer.isActive(); }
    // Closes the line as if the adapter were unplugged.
    void dropLine();

    // Every byte that crossed the line, counted since the simulator started.
    qint64 bytesReceived() const { return m_bytesReceived; }
    qint64 bytesSent() const { return m_bytesSent; }

    // Time-lapse, for tests that drive the tool's tick themselves: from the
    // call on, the terminal's time runs only when advanceClock() moves it. Its
    // answer delay and split pauses count in that time, and every byte takes
    // its time on the line (ten bit times at the rate the tool has set) both
    // ways: a request reaches the terminal, and an answer the tool, a few bytes
    // at a time, as on a real line. Reports, log lines and floods still fall
    // due by the wall clock; their bytes then take the line's time too.
    void useSteppedClock();
    void advanceClock(int ms);
    // Bytes that are still to cross the line in the terminal's time, in either
    // direction, or an answer still waiting out its delay.
    bool lineBusy() const { return !m_lineIn.isEmpty() || !m_lineOut.isEmpty(); }
    // Bytes the line has taken from the tool's side so far: with the stepped
    // clock some of them may still be crossing it.
    qint64 bytesFromLink() const { return m_bytesFromLink; }
    // Bytes the tool has written that the line has not taken yet.
    qint64 bytesWaitingOnLink() const;
    // Bytes the tool's side has not read are lost, as on a real line that
    // nobody listens to (the tool's port is closed).
    void discardUnheard();

    const QList<Request> &requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }
    // The AT commands received, without "AT+" and "\r\n".
    QStringList atCommands() const;
    QList<QByteArray> modbusFrames() const;

signals:
    void requestReceived(const TerminalSimulator::Request &request);
    // Bytes the terminal put on the line (answers, echoes, reports, garbage).
    void sent(const QByteArray &bytes);
    void floodFinished();
    void lineFailed(const QString &reason);

private:
    // An answer and what happens once it has been written.
    struct Answer
    {
        QByteArray bytes;
        std::function<void()> afterSent;
    };
    struct OutStep
    {
        int delayMs = 0;
        QByteArray bytes;
        std::function<void()> afterSent;
    };

    void attachLink(SimLink *link);
    void onReceived(const QByteArray &bytes);
    void takeRequestBytes(const QByteArray &bytes);
    void onSilence();
    void handleRequest(RequestKind kind, const QByteArray &bytes);
    Request describe(RequestKind kind, const QByteArray &bytes, const LineSettings &line) const;
    bool understands(const LineSettings &line) const;
    Answer answerFor(RequestKind kind, const QByteArray &bytes);
    void queueAnswer(const Answer &answer);
    void runOutbox();
    void writeToLine(const QByteArray &bytes);
    void putOnLink(const QByteArray &bytes);
    bool writeIgnored(const QString &keyword) const { return m_ignoredWrites.contains(keyword); }
    static QSet<QString> keywordSet(const QStringList &keywords);

    // Modbus RTU (simmodbus.cpp)
    Answer answerModbus(const QByteArray &frame);
    Answer readRegister(quint8 function, quint16 reg, quint16 quantity) const;
    Answer writeRegister(const QByteArray &frame, quint16 reg, quint16 value);
    QByteArray exceptionReply(quint8 function, quint8 code) const;

    // AT commands (simat.cpp)
    QByteArray answerAt(const QByteArray &line);
    QByteArray answerEnAtCmd(char op, const QString &argument);

    // The stepped clock (simclock.cpp)
    struct LineChunk
    {
        QByteArray bytes;
        double queuedAt = 0; // ms of the terminal's time
        double pauseMs = 0;  // silence before its first byte, after what went before
        std::function<void()> afterSent;
        double startAt = -1; // when its first byte may begin, once known
        int sent = 0;
    };
    double msPerByte() const;
    void receiveUntil(double endMs, double perByte);
    void transmitUntil(double endMs, double perByte);

    // Unsolicited output (simbehaviours.cpp)
    void sendReports();
    void sendLogLine();
    void floodStep();

    State m_state;
    QByteArray m_loginNameEnd;
    SimLink *m_link = nullptr;
    QString m_slavePath;
    QString m_errorString;

    termsim::RequestFramer m_framer;
    QTimer m_silenceTimer;
    QList<Request> m_requests;
    qint64 m_bytesReceived = 0;
    qint64 m_bytesSent = 0;

    QList<OutStep> m_outbox;
    QTimer m_outboxTimer;

    bool m_stepped = false;
    double m_nowMs = 0;
    QByteArray m_lineIn;       // from the tool, not yet across
    double m_lineInFreeAt = 0; // when the last byte taken off it had crossed
    double m_lastHeardAt = 0;
    bool m_silencePending = false;
    QList<LineChunk> m_lineOut; // to the tool, not yet across
    double m_lineOutFreeAt = 0;
    qint64 m_bytesFromLink = 0;

    bool m_refuseAtEnable = false;
    bool m_silent = false;
    bool m_echoRequests = false;
    bool m_zeroBeforeAnswers = false;
    int m_replyDelayMs = 0;
    int m_splitPieces = 1;
    int m_splitPauseMs = 0;
    QSet<QString> m_ignoredWrites;
    QSet<QString> m_refusedWrites;
    bool m_silentWrites = false;

    QTimer m_reportTimer;
    QTimer m_logLineTimer;
    int m_logLineIndex = 0;

    QTimer m_floodTimer;
    QByteArray m_floodText;
    int m_floodPosition = 0;
    QElapsedTimer m_floodClock;
    qint64 m_floodSentBytes = 0;
    int m_floodDurationMs = 0;
};

Q_DECLARE_METATYPE(TerminalSimulator::Request)
