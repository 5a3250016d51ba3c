#include "harness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QStringView>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <sys/resource.h>
#include <time.h>

namespace bench {

namespace {

double seconds(const timeval &tv)
{
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

double cpuSecondsOf(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

qint64 nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double processCpuSeconds()
{
    return cpuSecondsOf(RUSAGE_SELF);
}

double threadCpuSeconds()
{
    return cpuSecondsOf(RUSAGE_THREAD);
}

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

qint64 bytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = io.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Looks every 20 ms, from the event loop: the loop sleeps in between, so the
// tick and the serial port are served as they would be without us.
bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(20);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

SimThread::SimThread()
{
    m_thread.setObjectName(QStringLiteral("terminal"));
    m_thread.start();
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    // The simulator is made on its thread: its timers are members, not
    // children, and would not follow a moveToThread.
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            m_sim = new TerminalSimulator;
            m_open = m_sim->openPty();
            m_slavePath = m_sim->slavePath();
            QObject::connect(m_sim, &TerminalSimulator::sent, m_context,
                             [this](const QByteArray &bytes) { m_sentBytes += bytes.size(); });
            QObject::connect(m_sim, &TerminalSimulator::floodFinished, m_context,
                             [this] { m_flooding = false; });
            QObject::connect(m_sim, &TerminalSimulator::requestReceived, m_context, [this] {
                const QMutexLocker lock(&m_timesLock);
                m_requestTimes.append(nowNs());
            });
        },
        Qt::BlockingQueuedConnection);
}

SimThread::~SimThread()
{
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            delete m_sim;
            m_sim = nullptr;
            delete m_context;
            m_context = nullptr;
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void SimThread::run(const std::function<void(TerminalSimulator &)> &f)
{
    QMetaObject::invokeMethod(
        m_context, [this, &f] { f(*m_sim); }, Qt::BlockingQueuedConnection);
}

double SimThread::cpuSeconds()
{
    double cpu = 0;
    run([&cpu](TerminalSimulator &) { cpu = threadCpuSeconds(); });
    return cpu;
}

void SimThread::startFlood(int durationMs)
{
    m_flooding = true;
    run([durationMs](TerminalSimulator &sim) { sim.startFlood(durationMs); });
}

QVector<qint64> SimThread::requestTimesNs() const
{
    const QMutexLocker lock(&m_timesLock);
    return m_requestTimes;
}

void SimThread::clearRequestTimes()
{
    const QMutexLocker lock(&m_timesLock);
    m_requestTimes.clear();
}

LogTap::LogTap(QTextDocument *log, const QStringList &prefixes) : m_log(log), m_prefixes(prefixes)
{
    connect(log, &QTextDocument::contentsChange, this, &LogTap::onContentsChange);
}

// Entries arrive as one change for all that came in together: their
// paragraphs, each "stamp\tmessage". The document drops its oldest blocks only
// after it has reported the change, so the position still points at the new
// text here.
void LogTap::onContentsChange(int position, int, int added)
{
    if (added < 2)
        return;
    QTextCursor cursor(m_log);
    cursor.setPosition(position);
    cursor.setPosition(position + added, QTextCursor::KeepAnchor);
    const QStringList paragraphs = cursor.selectedText().split(QChar::ParagraphSeparator);
    for (const QString &text : paragraphs) {
        const int tab = text.indexOf(QLatin1Char('\t'));
        if (tab < 0)
            continue;
        const QStringView message = QStringView(text).mid(tab + 1);
        for (const QString &prefix : qAsConst(m_prefixes)) {
            if (message.startsWith(prefix)) {
                ++m_counts[prefix];
                m_lastNs[prefix] = nowNs();
            }
        }
    }
}

BoxCloser::BoxCloser()
{
    qApp->installEventFilter(this);
}

// Driven by the box's own show event rather than a polling timer, so that it
// costs nothing while the idle window is measured.
bool BoxCloser::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show) {
        if (auto *box = qobject_cast<QMessageBox *>(watched)) {
            seen << box->windowTitle() + QStringLiteral(": ") + box->text();
            QTimer::singleShot(0, box, [box] {
                if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                    ok->click();
                else
                    box->done(0);
            });
        }
    }
    return QObject::eventFilter(watched, event);
}

double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace bench
