#pragma once

#include "BoxCatcher.h"
#include "TerminalSimulator.h"
#include "WindowProbe.h"

#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>

class QAbstractButton;

// The real window against a simulated terminal on a pseudo-terminal, driven
// like a technician drives it: choose the port, click, read the log. Message
// boxes are closed from a timer and remembered.
class SimFixture
{
public:
    SimFixture();
    ~SimFixture();

    TerminalSimulator sim;
    BoxCatcher boxes;
    std::unique_ptr<ZorvikTestTool> window;
    std::unique_ptr<WindowProbe> probe;

    Ui::ZorvikTestToolClass &ui() { return probe->ui(); }
    SessionState &session() { return probe->session(); }

    // Puts the simulator's port into the port list and makes it current. It
    // goes after "刷新串口": inserting it in front would make "刷新串口" current
    // for a moment, and choosing that rebuilds the list.
    void choosePort();
    // The same for another port, such as a second simulator's.
    void choosePort(const QString &portName);
    static void click(QAbstractButton *button);

    // Time-lapse: the window's timer is stopped and the fixture drives the
    // ticks. Between two ticks the line carries 10 ms worth of bytes at its
    // rate, both ways, in the simulator's stepped clock (its answer delay too):
    // timings are counted in ticks as on a real line. Behind a box opened
    // outside the tick the ticks go on, as Qt's timer does, while it is read.
    void runTicks(int count);
    // Ticks until done() holds (checked before every tick) or timeoutMs of
    // the window's time has passed; false then.
    bool runUntil(const std::function<bool()> &done, int timeoutMs = 10000);
    int ticks = 0;                         // driven so far
    int lastArrival = 0;                   // ticks driven when bytes last reached the window's port
    bool drainLine(int timeoutMs = 10000); // ticks until the line has carried all, both ways
    // Waits until the pseudo-terminal has handed over what the line carried.
    void settleLine();
    static constexpr int kTickMs = 10;
    static constexpr int kTicksBehindABox = 100; // a second to read it and press OK

    // Chooses the port, clicks "连接设备" (or "自动连接") and waits until the
    // window shows the connection. False if it did not come.
    bool connectManually(int timeoutMs = 5000) { return connectBy(ui().connectButton, timeoutMs); }
    bool connectAutomatically() { return connectBy(ui().autoConnectButton, 15000); }
    bool connectBy(QAbstractButton *button, int timeoutMs);
    // Waits for the connection to settle: nothing awaited and no batch running.
    bool waitIdle(int timeoutMs = 30000);

    QStringList logMessages() const { return probe->logEntries(); }
    bool logContains(const QString &message) const { return logMessages().contains(message); }
    int logCount(const QString &message) const { return logMessages().count(message); }
    bool waitForLog(const QString &message, int timeoutMs = 10000);
    QStringList logSince(int count) const { return logMessages().mid(count); }
    // The status bar's progress as "<done>/<total>", empty while it is hidden.
    QString progress() const;
    // The provisioning record's lines after its byte-order mark.
    QStringList recordLines() const;
    // The adapter is pulled as the terminal receives this request (as recorded).
    void pullAdapterOn(const QString &request);

    // From the call on, every request the terminal receives is kept with the
    // selector the window was waiting on: the step of a batch that sent it.
    struct SentStep
    {
        int selector = 0;
        QString text; // AT: the line without "\r\n"; otherwise the bytes in hex
    };
    void recordSteps();
    QVector<SentStep> sentSteps;
    QStringList steps() const; // "<selector> <request>" for each of sentSteps
    QMetaObject::Connection stepRecording;

private:
    void tick();
    void carryLine(); // ten milliseconds of the line
    void whileBoxOpen();
    bool onSimLine() const;
    qint64 bytesInFlight();

    bool m_inTick = false;
    // Counted at both ends: the kernel hands bytes over a little after they
    // were written, its queues alone may read empty while bytes are under way.
    qint64 m_windowWritten = 0; // bytes the window has written to the simulator's line
    qint64 m_windowRead = 0;    // bytes that reached the window's port from it
};
