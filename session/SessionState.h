#pragma once

#include <QString>
#include <QtAlgorithms>
#include <QtGlobal>

#include <array>
#include <optional>

// Connection states of the session (connectState).
enum ConnectState : qint32 {
    Idle = 0,
    ManualConnecting = 1,
    AutoConnecting = 2,
    Connected = 3,
    ConnectFailed = 4,
    Disconnected = 5,
};

// Bits of writeMask: one per parameter that a batch write sends and verifies.
namespace WriteBit {
constexpr quint16 devAddress = 0x001;
constexpr quint16 braudRate = 0x002;
constexpr quint16 srvProtocol = 0x004;
constexpr quint16 devType = 0x008;
constexpr quint16 upDataInterval = 0x010;
constexpr quint16 srvAddr = 0x020;
constexpr quint16 srvPort = 0x040;
constexpr quint16 mqttName = 0x080;
constexpr quint16 mqttCode = 0x100;
constexpr quint16 serialNumber = 0x200;
} // namespace WriteBit

// Step numbers of the two sequences.
constexpr quint16 kReadStepStart = 12; // started, nothing sent yet
constexpr quint16 kReadStepIdle = 26;  // no batch read running
constexpr quint16 kWriteStepStart = 27;
constexpr quint16 kWriteStepDone = 37;

// A batch write as it was accepted: the selection and the value of every
// parameter, taken once when "批量写入" is pressed. The commands, the
// read-back and the record go by these alone, so the technician may edit the
// fields, or scan the next terminal's label, while the write runs.
struct WriteSnapshot
{
    static constexpr int kParameters = 10;

    quint16 mask = 0;         // writeMask when the write was accepted
    quint16 sentMask = 0;     // the selected parameters whose command went out
    quint16 rejectedMask = 0; // those whose command the terminal answered with "ERROR"
    // A write step ends on the terminal's "OK" or "ERROR" until one step has
    // gone unanswered: its answer may still come, late, under a later step,
    // so from then on every step of this write waits out its time-out.
    bool resultCodesHeeded = true;
    std::array<QString, kParameters> values; // as text, by writeMask bit, 0x001 first
    QString bindingFile;   // where the MQTT name and key came from, if from a binding file
    bool repeated = false; // its SN had been written before, and the technician went on

    // bit is one bit of writeMask.
    const QString &value(quint16 bit) const { return values[index(bit)]; }
    void setValue(quint16 bit, const QString &text) { values[index(bit)] = text; }

private:
    static std::size_t index(quint16 bit)
    {
        Q_ASSERT(bit != 0 && (bit & (bit - 1)) == 0 && bit < (1u << kParameters));
        return qCountTrailingZeroBits(bit);
    }
};

// How far a sequence has come: steps done of steps to do.
struct Progress
{
    int done = 0;
    int total = 0;
};

// The session record: everything the procedures share about the terminal and
// the exchange in progress. Held by value in the main window.
struct SessionState
{
    enum Flag : quint16 {
        logOn = 0x01,        // the terminal reports its log output on
        logWanted = 0x02,    // the user wants the terminal's log on ("打开日志")
        devOpen = 0x04,      // the terminal reports its switch open
        srvConnected = 0x08, // the terminal reports a server connection
        atEnabled = 0x10,    // the terminal accepts AT commands
        snBinding = 0x20,    // the SN binding file is in use
        verifying = 0x40,    // two meanings: see readPendingAfterAutoConnect, verifyingWrite
    };

    quint16 sessionFlags = 0;
    QString comName;
    qint32 braudRate = 0;
    qint32 connectState = Idle;
    quint16 connectTick = 0;
    qint32 autoBraudIndex = 0;
    quint8 devAddress = 1;
    QString wSN;
    qint32 devBraudRate = 9600;
    quint16 devUpDataInterval = 0;
    QString devSrvAddr;
    qint32 devSrvPort = 0;
    QString devMqttName;
    QString devMqttCode;
    quint16 readTick = 0;
    // Idle at start: with any lower value the first connection would walk every
    // selector from 1 up, switching relays and the terminal's AT commands unasked.
    quint16 readStep = kReadStepIdle;
    quint16 atEnableCount = 0;
    quint8 wDevAddress = 0;
    qint32 wBraudRate = 0;
    QString wMqttName;
    QString wMqttCode;
    quint16 writeTick = 0;
    quint16 writeStep = 0;
    quint16 writeMask = 0;
    // The parameters (writeMask bits) whose value the terminal answered since
    // the current batch read began: a write is confirmed by these alone, never
    // by what the window still shows from an earlier read.
    quint16 answeredMask = 0;
    // The batch write running, or the last one.
    WriteSnapshot snapshot;

    // Starts a batch read from its first step.
    void startRead()
    {
        readTick = 0;
        readStep = kReadStepStart;
        answeredMask = 0;
    }
    void answered(quint16 bits) { answeredMask = quint16(answeredMask | bits); }

    // The verifying bit has two meanings, and each use names the one it means.
    // Both read and set the same bit, so whatever one meaning holds back, the
    // other holds back too.
    // After an automatic connection: a batch read is still to start, once the
    // terminal reports its AT commands enabled.
    bool readPendingAfterAutoConnect() const { return has(verifying); }
    void setReadPendingAfterAutoConnect(bool on) { setFlag(verifying, on); }
    // After a batch write's last command: its read-back runs, and its end
    // verifies the write.
    bool verifyingWrite() const { return has(verifying); }
    void setVerifyingWrite(bool on) { setFlag(verifying, on); }

    // A batch write runs from "批量写入" until its read-back has been verified.
    bool writing() const
    {
        return (writeStep >= kWriteStepStart && writeStep < kWriteStepDone) || verifyingWrite();
    }
    // The selection the commands go by: the running write's own, else the boxes'.
    quint16 selection() const { return writing() ? snapshot.mask : writeMask; }
    bool selected(quint16 bits) const { return (selection() & bits) != 0; }

    // How far the sequence under way has come, or nothing when none runs. A
    // batch read counts its 13 steps, a batch write its 9 steps and the 13 of
    // its read-back, each step once it is over, whether its command went out
    // or was skipped; the automatic connection counts its connect windows
    // (autoWindows in all) as they end.
    std::optional<Progress> progress(int autoWindows) const
    {
        constexpr int readSteps = kReadStepIdle - kReadStepStart - 1;
        constexpr int writeSteps = kWriteStepDone - kWriteStepStart - 1;
        const int readDone = qMax(0, readStep - kReadStepStart - 1);
        if (connectState == AutoConnecting)
            return Progress{autoBraudIndex, autoWindows};
        if (connectState != Connected)
            return std::nullopt;
        if (writeStep >= kWriteStepStart && writeStep < kWriteStepDone)
            return Progress{qMax(0, writeStep - kWriteStepStart - 1), writeSteps + readSteps};
        if (readStep >= kReadStepIdle)
            return std::nullopt;
        if (writeStep == kWriteStepDone && verifyingWrite())
            return Progress{writeSteps + readDone, writeSteps + readSteps};
        return Progress{readDone, readSteps};
    }

    // What a terminal has told: nothing yet on a new connection, which may be
    // another terminal than the last one.
    void forgetTerminal()
    {
        const SessionState fresh;
        devBraudRate = fresh.devBraudRate;
        devUpDataInterval = fresh.devUpDataInterval;
        devSrvAddr = fresh.devSrvAddr;
        devSrvPort = fresh.devSrvPort;
        devMqttName = fresh.devMqttName;
        devMqttCode = fresh.devMqttCode;
        answeredMask = fresh.answeredMask;
        sessionFlags = quint16(sessionFlags & ~(logOn | devOpen | srvConnected));
    }

    bool has(Flag flag) const { return (sessionFlags & flag) != 0; }
    void setFlag(Flag flag, bool on)
    {
        sessionFlags = on ? quint16(sessionFlags | flag) : quint16(sessionFlags & ~flag);
    }
    bool masked(quint16 bits) const { return (writeMask & bits) != 0; }
    void setMask(quint16 bits, bool on)
    {
        writeMask = on ? quint16(writeMask | bits) : quint16(writeMask & ~bits);
    }
};
