#pragma once

// What the benchmarks stand on: a simulated terminal on a thread of its own
// (so that the tool's cost can be told from the terminal's), clocks for wall
// and CPU time, the resident memory of the process, and a tap on the log
// window that counts entries as they are written.

#include "TerminalSimulator.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVector>

#include <atomic>
#include <functional>

class QTextDocument;

namespace bench {

// Monotonic clock in nanoseconds; the same clock in every process, so a
// parent and a child it starts can compare their readings.
qint64 nowNs();
// CPU time (user + system) of the whole process, and of the calling thread.
double processCpuSeconds();
double threadCpuSeconds();
// VmRSS of the process in KiB.
qint64 residentKiB();
// Bytes the process has read through read() and the like so far (rchar).
qint64 bytesRead();

// Runs the event loop for ms milliseconds without polling.
void runFor(int ms);
// Runs the event loop until done() holds or timeoutMs passes; true if it held.
bool runUntil(const std::function<bool()> &done, int timeoutMs);

// A field terminal on its own thread and pseudo-terminal. Everything it does
// (answers, reports, the flood) runs there; the tool runs on the GUI thread.
class SimThread
{
public:
    SimThread();
    ~SimThread();
    SimThread(const SimThread &) = delete;
    SimThread &operator=(const SimThread &) = delete;

    bool isOpen() const { return m_open; }
    QString slavePath() const { return m_slavePath; }
    // Runs f on the simulator's thread and waits until it has run.
    void run(const std::function<void(TerminalSimulator &)> &f);
    // CPU time of the simulator's thread so far.
    double cpuSeconds();

    // Bytes the terminal has put on the line, and when each request arrived.
    qint64 sentBytes() const { return m_sentBytes.load(); }
    bool floodRunning() const { return m_flooding.load(); }
    void startFlood(int durationMs);
    QVector<qint64> requestTimesNs() const;
    void clearRequestTimes();

private:
    QThread m_thread;
    QObject *m_context = nullptr; // lives on m_thread
    TerminalSimulator *m_sim = nullptr;
    QString m_slavePath;
    bool m_open = false;
    std::atomic<qint64> m_sentBytes{0};
    std::atomic<bool> m_flooding{false};
    mutable QMutex m_timesLock;
    QVector<qint64> m_requestTimes;
};

// Counts the log window's entries by the start of their message (the part
// after the time stamp and the tab) and notes when the last of each came.
class LogTap : public QObject
{
    Q_OBJECT
public:
    LogTap(QTextDocument *log, const QStringList &prefixes);

    int count(const QString &prefix) const { return m_counts.value(prefix); }
    qint64 lastNs(const QString &prefix) const { return m_lastNs.value(prefix); }

private:
    void onContentsChange(int position, int removed, int added);

    QTextDocument *m_log;
    QStringList m_prefixes;
    QHash<QString, int> m_counts;
    QHash<QString, qint64> m_lastNs;
};

// Presses OK on every message box the window opens, as soon as it shows, and
// keeps what it said: a benchmark that meets a box has gone wrong, and says so.
class BoxCloser : public QObject
{
    Q_OBJECT
public:
    BoxCloser();
    QStringList seen;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

double median(QVector<double> values);

} // namespace bench
