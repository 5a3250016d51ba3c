#pragma once

#include "BoxCatcher.h"
#include "TerminalSimulator.h"
#include "WindowProbe.h"

#include <QStringList>
#include <QVector>
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
    void click(QAbstractButton *button);

    // Chooses the port, clicks "连接设备" (or "自动连接") and waits until the
    // window shows the connection. False if it did not come.
    bool connectManually(int timeoutMs = 5000);
    bool connectAutomatically(int timeoutMs = 15000);
    // Waits for the connection to settle: nothing awaited and no batch running.
    bool waitIdle(int timeoutMs = 30000);

    // The log window's entries, timestamps removed; a message's own line
    // breaks come back as "\r\n", so entries compare equal to the texts the
    // window logs.
    QStringList logMessages() const;
    bool logContains(const QString &message) const { return logMessages().contains(message); }
    int logCount(const QString &message) const { return logMessages().count(message); }
    bool waitForLog(const QString &message, int timeoutMs = 10000) const;

    // From the call on, every request the terminal receives is kept with the
    // selector the window was waiting on when it arrived: the step of a batch
    // sequence that sent it.
    struct SentStep
    {
        int selector = 0;
        QString text;   // AT: the line without "\r\n"; otherwise the bytes in hex
        QByteArray raw; // as received
    };
    void recordSteps();
    QVector<SentStep> sentSteps;
    QMetaObject::Connection stepRecording;
};
