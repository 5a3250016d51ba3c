#include "benchmarks.h"

#include "WindowProbe.h"
#include "harness.h"
#include "session/timing.h"

#include <QApplication>
#include <QProcess>
#include <QTextDocument>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace bench {

namespace {

constexpr int kBeatMs = timing::kTickIntervalMs * timing::kTicksPerBeat;
constexpr int kTicksPerSecond = 1000 / timing::kTickIntervalMs;
// A batch read is 13 steps and the beat that completes it; each step may go
// out no sooner than the beat after the previous reply was taken.
constexpr int kBatchReadMinimumBeats = 14;
constexpr double kBatchReadLimitRatio = 1.15;
// A provisioning write, click to verdict, against a terminal that confirms.
constexpr double kProvisionWriteLimitMs = 3000;
constexpr double kIdleLimitCpuSecondsPerMinute = 0.6; // 1 % of one core
constexpr double kFloodLimitCpuShare = 0.05;          // a report storm at a twentieth of a core
constexpr double kFloodLimitGrowthMiB = 5.0;
constexpr int kLogBlockCap = 5000;

const QString kReadDone = QStringLiteral("已发完批量读取命令");
const QString kWriteSucceeded = QStringLiteral("批量写入成功");
const QString kSignalEntry = QStringLiteral("CSQ=");
// The flood's reports all say 17; any other value logged is a misread report.
const QString kFloodSignalEntry = QStringLiteral("CSQ=17");

double msSince(qint64 startNs, qint64 endNs)
{
    return double(endNs - startNs) / 1e6;
}

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// The window connected to a terminal of its own, shown as a technician sees it.
class ConnectedWindow
{
public:
    explicit ConnectedWindow(int baudRate)
    {
        if (!sim.isOpen())
            return;
        const int code = baudRate == 115200 ? 3 : 2;
        sim.run([code](TerminalSimulator &s) { s.state().baudCode = code; });
        window = std::make_unique<ZorvikTestTool>();
        probe = std::make_unique<WindowProbe>(*window);
        tap = std::make_unique<LogTap>(
            ui().textEdit->document(),
            QStringList{kReadDone, kWriteSucceeded, kSignalEntry, kFloodSignalEntry});
        window->show();

        // The port goes after "刷新串口": choosing that entry rebuilds the list.
        QComboBox *ports = ui().SerialComNum;
        ports->addItem(sim.slavePath());
        ports->setCurrentIndex(ports->count() - 1);
        ui().BraudRate_1->setCurrentIndex(ui().BraudRate_1->findText(QString::number(baudRate)));
        ui().connectButton->click();
        connected = runUntil([this] { return probe->session().connectState == Connected; }, 5000) &&
                    waitIdle(10000);
    }

    Ui::ZorvikTestToolClass &ui() { return probe->ui(); }

    bool waitIdle(int timeoutMs)
    {
        return runUntil(
            [this] {
                const SessionState &s = probe->session();
                return probe->waitSelector() == 0 && s.readStep >= kReadStepIdle &&
                       (s.writeStep < kWriteStepStart || s.writeStep >= kWriteStepDone);
            },
            timeoutMs);
    }

    BoxCloser boxes;
    SimThread sim;
    std::unique_ptr<ZorvikTestTool> window;
    std::unique_ptr<WindowProbe> probe;
    std::unique_ptr<LogTap> tap;
    bool connected = false;
};

// Entries as the window writes them; the first ends in a line break and so
// takes two blocks.
const QStringList kLogMessages = {
    QStringLiteral("发送AT指令:AT+BEAT?\r\n"),
    QStringLiteral("心跳间隔为：60"),
    QStringLiteral("CSQ=17"),
    QStringLiteral("设备ID为：TV2400001"),
};

void fillLogToCap(WindowProbe &probe)
{
    QTextDocument *log = probe.ui().textEdit->document();
    for (int i = 0; log->blockCount() < kLogBlockCap; ++i)
        probe.appendLog(kLogMessages[i % kLogMessages.size()]);
    QApplication::processEvents();
}

Figure failure(const QString &name, const QString &why)
{
    Figure figure;
    figure.name = name;
    figure.value = -1;
    figure.note = QStringLiteral("NOT MEASURED: ") + why;
    return figure;
}

// One timed click: when it fell, when its log line came, and when each request
// reached the terminal in between.
struct ClickRun
{
    qint64 clickNs = 0;
    qint64 doneNs = 0;
    QVector<qint64> requestNs;

    double ms() const { return msSince(clickNs, doneNs); }
};

// Clicks button runs times, each once the window is idle, and waits for the
// log line done. The click falls at a different point of the 100 ms beat each
// run: the first step goes out on the next beat, 0 to 100 ms later. Empty when
// a run failed; then why says so.
QVector<ClickRun> timeClicks(ConnectedWindow &w, QAbstractButton *button, const QString &done,
                             int runs, int timeoutMs, QString &why)
{
    QVector<ClickRun> timed;
    for (int run = 0; run < runs; ++run) {
        if (!w.waitIdle(30000)) {
            why = QStringLiteral("window never idle");
            return {};
        }
        runFor(300 + run * kBeatMs / runs);
        const int before = w.tap->count(done);
        w.sim.clearRequestTimes();
        const qint64 click = nowNs();
        button->click();
        if (!runUntil([&] { return w.tap->count(done) > before; }, timeoutMs)) {
            why = QStringLiteral("no \"%1\"").arg(done);
            return {};
        }
        timed.append({click, w.tap->lastNs(done), w.sim.requestTimesNs()});
    }
    return timed;
}

} // namespace

void print(const Figure &f)
{
    QTextStream &o = out();
    o << qSetFieldWidth(52) << Qt::left << f.name << qSetFieldWidth(0) << " "
      << QString::number(f.value, 'f', f.value < 10 ? 3 : 1) << " " << f.unit;
    if (f.hasTarget()) {
        const char *relation = f.target == Figure::upper   ? "< "
                               : f.target == Figure::exact ? "= "
                                                           : "<= ";
        o << "   target " << relation << f.limit << " " << f.unit << "   ratio "
          << QString::number(f.ratio(), 'f', 3) << (f.met() ? "   met" : "   NOT MET");
    }
    if (!f.note.isEmpty())
        o << "   (" << f.note << ")";
    o << Qt::endl;
}

namespace {

// CPU seconds per minute, slice by slice: the window as it runs (the tool's
// GUI thread, the whole process, the terminal's thread), then an empty timer
// in the place of its tick.
struct IdleSlices
{
    QVector<double> tool, process, terminal, reference;
};

IdleSlices idleSlices(ConnectedWindow &w, int slices, int sliceMs)
{
    IdleSlices measured;
    for (int slice = 0; slice < slices; ++slice) {
        const double process0 = processCpuSeconds();
        const double tool0 = threadCpuSeconds();
        const double sim0 = w.sim.cpuSeconds();
        qint64 start = nowNs();
        runFor(sliceMs);
        double minutes = double(nowNs() - start) / 60e9;
        measured.process << (processCpuSeconds() - process0) / minutes;
        measured.tool << (threadCpuSeconds() - tool0) / minutes;
        measured.terminal << (w.sim.cpuSeconds() - sim0) / minutes;

        QTimer empty;
        QObject::connect(&empty, &QTimer::timeout, [] {});
        w.probe->tickTimer().stop();
        empty.start(timing::kTickIntervalMs);
        const double empty0 = threadCpuSeconds();
        start = nowNs();
        runFor(sliceMs);
        minutes = double(nowNs() - start) / 60e9;
        measured.reference << (threadCpuSeconds() - empty0) / minutes;
        empty.stop();
        w.probe->tickTimer().start();
    }
    return measured;
}

// The tick's own work, without the wake-up that brings it: the tick run back
// to back, with nothing received and nothing due. Too short for the CPU
// clock, so timed by the wall clock; nothing waits in between. Seconds per
// tick; stillIdle says whether the ticks sent nothing meanwhile.
double directTickSeconds(ConnectedWindow &w, int ticks, bool &stillIdle)
{
    const int requestsBefore = w.sim.requestTimesNs().size();
    const qint64 direct0 = nowNs();
    for (int i = 0; i < ticks; ++i)
        w.probe->tick();
    const double perTick = double(nowNs() - direct0) / 1e9 / ticks;
    runFor(200); // anything the ticks sent reaches the terminal
    stillIdle = w.probe->waitSelector() == 0 && w.sim.requestTimesNs().size() == requestsBefore;
    return perTick;
}

QString listed(const QVector<double> &values)
{
    QStringList texts;
    for (double value : values)
        texts << QString::number(value, 'f', 3);
    return texts.join(QStringLiteral(", "));
}

} // namespace

// The window is connected and nothing happens on the line: the tick runs its
// 100 rounds a second and finds nothing to do. The terminal sends no reports.
// Slices of the window as it runs alternate with slices in which its tick is
// replaced by an empty 10 ms timer: what any program pays for waking up that
// often. The wake-ups of a virtual machine cost more, and vary more, than the
// tick's own work, so the two are measured side by side.
QVector<Figure> idleCost(int seconds)
{
    constexpr int kSlices = 5;
    constexpr int kDirectTicks = 2000000;
    ConnectedWindow w(9600);
    if (!w.connected)
        return {failure(QStringLiteral("idle: CPU per minute"), QStringLiteral("no connection"))};
    runFor(2000); // let the connection's last answers and paints settle

    const int sliceMs = seconds * 1000 / kSlices;
    const IdleSlices measured = idleSlices(w, kSlices, sliceMs);
    bool stillIdle = false;
    const double perTick = directTickSeconds(w, kDirectTicks, stillIdle);

    const QString slices =
        QStringLiteral("median of %1 slices of %2 s: ").arg(kSlices).arg(sliceMs / 1000);
    Figure gui{QStringLiteral("idle: CPU per minute, tool (GUI thread)"),
               median(measured.tool),
               QStringLiteral("s"),
               kIdleLimitCpuSecondsPerMinute,
               Figure::upper,
               slices + listed(measured.tool)};
    Figure whole{QStringLiteral("idle: CPU per minute, whole process"),
                 median(measured.process),
                 QStringLiteral("s"),
                 kIdleLimitCpuSecondsPerMinute,
                 Figure::upper,
                 QStringLiteral("terminal thread: %1 s").arg(median(measured.terminal), 0, 'f', 3)};
    Figure floor{QStringLiteral("idle: the same with an empty 10 ms timer"),
                 median(measured.reference),
                 QStringLiteral("s"),
                 0,
                 Figure::upper,
                 QStringLiteral("tick stopped, window shown; ") + slices +
                     listed(measured.reference)};
    Figure own{QStringLiteral("idle: the tick's own work per minute"),
               perTick * kTicksPerSecond * 60,
               QStringLiteral("s"),
               0,
               Figure::upper,
               QStringLiteral("%1 ns per tick, %2 ticks run directly%3")
                   .arg(perTick * 1e9, 0, 'f', 1)
                   .arg(kDirectTicks)
                   .arg(stillIdle ? QString() : QStringLiteral("; NOT idle meanwhile"))};
    if (!w.boxes.seen.isEmpty())
        gui.note += QStringLiteral("; boxes: ") + w.boxes.seen.join(QStringLiteral(" | "));
    return {gui, whole, floor, own};
}

// "批量读取" against a terminal that answers at once, from the click to the
// log line that ends the read.
QVector<Figure> batchRead(int runs, int replyDelayMs)
{
    const QString name = replyDelayMs == 0
                             ? QStringLiteral("batch read: ")
                             : QStringLiteral("batch read, answers %1 ms late: ").arg(replyDelayMs);
    ConnectedWindow w(9600);
    if (!w.connected)
        return {failure(name, QStringLiteral("no connection"))};
    w.sim.run([replyDelayMs](TerminalSimulator &s) { s.setReplyDelay(replyDelayMs); });

    QString why;
    const QVector<ClickRun> timed = timeClicks(w, w.ui().readButton, kReadDone, runs, 30000, why);
    if (timed.isEmpty())
        return {failure(name, why)};
    QVector<double> fromClick;
    QVector<double> fromFirstRequest;
    QVector<double> requests;
    QStringList each;
    for (const ClickRun &run : timed) {
        fromClick << run.ms();
        fromFirstRequest << (run.requestNs.isEmpty() ? 0
                                                     : msSince(run.requestNs.first(), run.doneNs));
        requests << run.requestNs.size();
        each << QString::number(run.ms(), 'f', 0);
    }

    const double minimumMs = kBatchReadMinimumBeats * kBeatMs;
    const double wall = median(fromClick);
    Figure ratio{name + QStringLiteral("wall time / 14 beats"),
                 wall / minimumMs,
                 QStringLiteral("x"),
                 replyDelayMs == 0 ? kBatchReadLimitRatio : 0,
                 Figure::upperOrEqual,
                 QStringLiteral("median of %1 runs").arg(runs)};
    Figure time{name + QStringLiteral("wall time, click to end"),
                wall,
                QStringLiteral("ms"),
                0,
                Figure::upper,
                QStringLiteral("runs: ") + each.join(QStringLiteral(", ")) +
                    QStringLiteral(" ms; %1 requests per read").arg(median(requests))};
    Figure line{name + QStringLiteral("first request to end"),
                median(fromFirstRequest),
                QStringLiteral("ms"),
                0,
                Figure::upper,
                QStringLiteral("13 beats = 1300 ms at the least")};
    return {ratio, time, line};
}

// "批量写入" of what a technician writes into each new terminal, from the click
// to "批量写入成功". The values are written again on every run; the terminal
// holds them after the first, which changes nothing of the exchange.
QVector<Figure> provisionWrite(int runs, bool confirming)
{
    const QString name = confirming ? QStringLiteral("provisioning write, terminal confirms: ")
                                    : QStringLiteral("provisioning write, terminal silent: ");
    ConnectedWindow w(9600);
    if (!w.connected)
        return {failure(name, QStringLiteral("no connection"))};
    w.sim.run([confirming](TerminalSimulator &s) { s.setSilentWrites(!confirming); });
    Ui::ZorvikTestToolClass &ui = w.ui();
    ui.textEdit_2->setPlainText(QStringLiteral("iot2.tavrin.example.com"));
    ui.textEdit_3->setPlainText(QStringLiteral("4001"));
    ui.textEdit_5->setPlainText(QStringLiteral("tv2400042"));
    ui.textEdit_4->setPlainText(QStringLiteral("Zk93pQa7Lw4m"));
    ui.readAddress_5->setValue(120);
    ui.BraudRate_4->setCurrentIndex(3);
    ui.BraudRate_10->setCurrentIndex(2);
    // The server address ticks the port, the interval the key.
    for (QCheckBox *box :
         {ui.checkBox_3, ui.checkBox_14, ui.checkBox_16, ui.checkBox_7, ui.checkBox_13})
        box->click();

    QString why;
    const QVector<ClickRun> timed =
        timeClicks(w, ui.writeButton, kWriteSucceeded, runs, 60000, why);
    if (timed.isEmpty())
        return {failure(name, why)};
    QVector<double> fromClick;
    QVector<double> requests;
    QStringList each;
    for (const ClickRun &run : timed) {
        fromClick << run.ms();
        requests << run.requestNs.size();
        each << QString::number(run.ms(), 'f', 0);
    }
    Figure time{name + QStringLiteral("click to \"批量写入成功\""),
                median(fromClick),
                QStringLiteral("ms"),
                confirming ? kProvisionWriteLimitMs : 0,
                Figure::upperOrEqual,
                QStringLiteral("median of %1 runs: %2 ms; %3 requests per write")
                    .arg(runs)
                    .arg(each.join(QStringLiteral(", ")))
                    .arg(median(requests))};
    if (!w.boxes.seen.isEmpty())
        time.note += QStringLiteral("; boxes: ") + w.boxes.seen.join(QStringLiteral(" | "));
    return {time};
}

namespace {

// What a flood cost and what the window made of it.
struct FloodRun
{
    double wall = 0;                        // seconds
    double process = 0, tool = 0, sim = 0;  // CPU share of one core
    qint64 rss0 = 0, rss1 = 0, rssPeak = 0; // KiB
    qint64 sentBytes = 0, readBytes = 0;
    int lines = 0;   // "CSQ=" entries logged
    int misread = 0; // of those, with a value other than 17
};

FloodRun runFlood(ConnectedWindow &w, int seconds)
{
    FloodRun r;
    r.rss0 = residentKiB();
    r.rssPeak = r.rss0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout,
                     [&r] { r.rssPeak = qMax(r.rssPeak, residentKiB()); });
    sampler.start(1000);

    const int lines0 = w.tap->count(kSignalEntry);
    const int right0 = w.tap->count(kFloodSignalEntry);
    const qint64 sent0 = w.sim.sentBytes();
    const qint64 read0 = bytesRead();
    const double process0 = processCpuSeconds();
    const double tool0 = threadCpuSeconds();
    const double sim0 = w.sim.cpuSeconds();
    const qint64 start = nowNs();
    w.sim.startFlood(seconds * 1000);
    runUntil([&] { return !w.sim.floodRunning(); }, (seconds + 10) * 1000);
    r.wall = double(nowNs() - start) / 1e9;
    r.process = (processCpuSeconds() - process0) / r.wall;
    r.tool = (threadCpuSeconds() - tool0) / r.wall;
    r.sim = (w.sim.cpuSeconds() - sim0) / r.wall;
    sampler.stop();

    runFor(500); // the last bytes fall quiet and are handled
    r.rss1 = residentKiB();
    r.rssPeak = qMax(r.rssPeak, r.rss1);
    r.sentBytes = w.sim.sentBytes() - sent0;
    // Nothing else in the process reads much while the terminal floods: the
    // count is what the tool took off the line, within a few KiB.
    r.readBytes = bytesRead() - read0;
    r.lines = w.tap->count(kSignalEntry) - lines0;
    r.misread = r.lines - (w.tap->count(kFloodSignalEntry) - right0);
    return r;
}

} // namespace

// The terminal talks without a pause at 115200 baud: "+CSQ: 17,99\r\n" over
// and over, about 886 reports a second.
QVector<Figure> flood(int seconds, bool logAtCap)
{
    const QString name =
        logAtCap ? QStringLiteral("flood, log at its cap: ") : QStringLiteral("flood: ");
    ConnectedWindow w(115200);
    if (!w.connected)
        return {failure(name, QStringLiteral("no connection at 115200"))};
    if (logAtCap)
        fillLogToCap(*w.probe);
    runFor(1000);

    const FloodRun r = runFlood(w, seconds);
    const double reports = double(r.sentBytes) / TerminalSimulator::kDefaultFloodText.size();
    const double ticks = r.wall * kTicksPerSecond;

    const QString over = QStringLiteral("%1 s at 115200 baud").arg(r.wall, 0, 'f', 1);
    QVector<Figure> figures;
    figures << Figure{name + QStringLiteral("CPU share of one core, tool"),
                      r.tool * 100,
                      QStringLiteral("%"),
                      kFloodLimitCpuShare * 100,
                      Figure::upper,
                      over};
    figures << Figure{name + QStringLiteral("CPU share, whole process"),
                      r.process * 100,
                      QStringLiteral("%"),
                      0,
                      Figure::upper,
                      QStringLiteral("terminal thread: %1 %").arg(r.sim * 100, 0, 'f', 1)};
    figures << Figure{
        name + QStringLiteral("resident memory growth"),
        double(r.rss1 - r.rss0) / 1024,
        QStringLiteral("MiB"),
        kFloodLimitGrowthMiB,
        Figure::upper,
        QStringLiteral("VmRSS %1 -> %2 KiB, peak %3 KiB").arg(r.rss0).arg(r.rss1).arg(r.rssPeak)};
    figures << Figure{
        name + QStringLiteral("log lines per report"),
        reports > 0 ? r.lines / reports : 0,
        QStringLiteral("lines"),
        1.0,
        Figure::exact,
        QStringLiteral("%1 \"CSQ=\" lines for %2 reports (%3 bytes sent, about %4 read); "
                       "%5 lines per tick; %6 with a value other than 17")
            .arg(r.lines)
            .arg(reports, 0, 'f', 0)
            .arg(r.sentBytes)
            .arg(r.readBytes)
            .arg(r.lines / ticks, 0, 'f', 2)
            .arg(r.misread)};
    if (!w.boxes.seen.isEmpty())
        figures[0].note += QStringLiteral("; boxes: ") + w.boxes.seen.join(QStringLiteral(" | "));
    return figures;
}

// The log window already at its cap of 5000 blocks takes `entries` more: each
// one drops the oldest block.
QVector<Figure> logWindow(int entries)
{
    ZorvikTestTool window;
    WindowProbe probe(window);
    window.show();
    runFor(200);
    fillLogToCap(probe);
    QTextDocument *log = probe.ui().textEdit->document();

    const qint64 start = nowNs();
    for (int i = 0; i < entries; ++i)
        probe.appendLog(kLogMessages[i % kLogMessages.size()]);
    const qint64 appended = nowNs();
    QApplication::processEvents(); // layout and paint of what is now at the bottom
    const qint64 painted = nowNs();

    const QString blocks = QStringLiteral("%1 blocks after").arg(log->blockCount());
    return {Figure{QStringLiteral("log: %1 entries at the 5000-block cap").arg(entries),
                   msSince(start, appended), QStringLiteral("ms"), 0, Figure::upper,
                   QStringLiteral("%1 us per entry; %2")
                       .arg(msSince(start, appended) * 1000 / entries, 0, 'f', 1)
                       .arg(blocks)},
            Figure{QStringLiteral("log: the same, paint included"), msSince(start, painted),
                   QStringLiteral("ms"), 0, Figure::upper, QString()}};
}

// Nine reports a tick is what 115200 baud brings in 10 ms. Each tick is
// followed by one pass of the event loop, where the window is painted when
// it is due. The ticks run back to back, so the repaints held back in a storm
// come once per 100 ms of this loop, not of the line: paint counts for less
// here than in the flood.
void stormReplayTicks(WindowProbe &probe, int ticks)
{
    const QByteArray reports = TerminalSimulator::kDefaultFloodText.repeated(9);
    for (int t = 0; t < ticks; ++t) {
        // As the serial port's handler takes them in: the buffer keeps its
        // last 4 KiB, and the marks of what was looked at move with it.
        QByteArray &buffer = probe.rxBuffer();
        buffer.append(reports);
        const int excess = buffer.size() - timing::kMaxRxBufferBytes;
        if (excess > 0) {
            buffer.remove(0, excess);
            probe.rxOfferedSize() = qMax(0, probe.rxOfferedSize() - excess);
            probe.rxUnsolicitedFrom() = qMax(0, probe.rxUnsolicitedFrom() - excess);
        }
        probe.tick();
        QApplication::processEvents();
    }
}

QVector<Figure> stormReplay(int ticks)
{
    ZorvikTestTool window;
    WindowProbe probe(window);
    probe.tickTimer().stop();
    window.show();
    runFor(200);
    fillLogToCap(probe);
    runFor(200); // the repaint held back while the log filled runs out first
    LogTap tap(probe.ui().textEdit->document(), {kFloodSignalEntry});

    const double cpu0 = threadCpuSeconds();
    stormReplayTicks(probe, ticks);
    const double cpu = threadCpuSeconds() - cpu0;
    const int lines = tap.count(kFloodSignalEntry);
    return {Figure{QStringLiteral("storm replay: CPU per tick of 9 reports"), cpu * 1e6 / ticks,
                   QStringLiteral("us"), 0, Figure::upper,
                   QStringLiteral("%1 ticks, log at its cap; %2 \"CSQ=17\" lines for %3 reports")
                       .arg(ticks)
                       .arg(lines)
                       .arg(ticks * 9)}};
}

namespace {

struct StartUpStages
{
    double main = 0;   // exec to main()
    double app = 0;    // to the application object
    double window = 0; // to the constructed window
    double shown = 0;  // to show() returning
    double painted = 0;
};

// The first paint of the window, and the end of the paint pass it belongs to.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(QWidget *window) : m_window(window) { qApp->installEventFilter(this); }
    qint64 paintedNs = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            auto *widget = qobject_cast<QWidget *>(watched);
            if (widget && widget->window() == m_window) {
                m_seen = true;
                QTimer::singleShot(0, this, [this] { paintedNs = nowNs(); });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_window;
    bool m_seen = false;
};

} // namespace

int startUpChild(int argc, char **argv, qint64 enteredMainNs)
{
    QApplication app(argc, argv);
    const qint64 appNs = nowNs();
    ZorvikTestTool window;
    const qint64 windowNs = nowNs();
    FirstPaint paint(&window);
    window.show();
    const qint64 shownNs = nowNs();
    runUntil([&paint] { return paint.paintedNs != 0; }, 20000);
    std::printf("startup-child %s %lld %lld %lld %lld %lld\n",
                qPrintable(QGuiApplication::platformName()), (long long)enteredMainNs,
                (long long)appNs, (long long)windowNs, (long long)shownNs,
                (long long)paint.paintedNs);
    std::fflush(stdout);
    return paint.paintedNs != 0 ? 0 : 1;
}

QVector<Figure> startUp(int runs, const QString &program)
{
    QVector<double> main, app, window, shown, painted;
    QString platform;
    for (int run = 0; run < runs; ++run) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const qint64 start = nowNs();
        child.start(program, {QStringLiteral("--startup-child")});
        if (!child.waitForFinished(30000) || child.exitCode() != 0)
            return {failure(QStringLiteral("start-up"), QStringLiteral("child failed"))};
        const QStringList fields = QString::fromLocal8Bit(child.readAllStandardOutput())
                                       .split(QLatin1Char('\n'))
                                       .filter(QStringLiteral("startup-child"))
                                       .value(0)
                                       .split(QLatin1Char(' '));
        if (fields.size() != 7)
            return {failure(QStringLiteral("start-up"), QStringLiteral("no report from child"))};
        platform = fields[1];
        main << msSince(start, fields[2].toLongLong());
        app << msSince(start, fields[3].toLongLong());
        window << msSince(start, fields[4].toLongLong());
        shown << msSince(start, fields[5].toLongLong());
        painted << msSince(start, fields[6].toLongLong());
    }

    // A second window in a process that has made one already: what is left
    // when the libraries, fonts and platform are loaded.
    double warm = 0;
    {
        const qint64 start = nowNs();
        ZorvikTestTool second;
        FirstPaint paint(&second);
        second.show();
        runUntil([&paint] { return paint.paintedNs != 0; }, 20000);
        warm = msSince(start, paint.paintedNs);
    }

    const QString stages =
        QStringLiteral("medians of %1 runs; main() at %2, application %3, window built %4, "
                       "shown %5 ms")
            .arg(runs)
            .arg(median(main), 0, 'f', 1)
            .arg(median(app), 0, 'f', 1)
            .arg(median(window), 0, 'f', 1)
            .arg(median(shown), 0, 'f', 1);
    return {Figure{QStringLiteral("start-up to painted window (%1)").arg(platform), median(painted),
                   QStringLiteral("ms"), 0, Figure::upper, stages},
            Figure{QStringLiteral("second window in the same process (%1)")
                       .arg(QGuiApplication::platformName()),
                   warm, QStringLiteral("ms"), 0, Figure::upper,
                   QStringLiteral("construct + show + first paint")}};
}

} // namespace bench
