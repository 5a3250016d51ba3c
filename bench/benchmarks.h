#pragma once

#include <QString>
#include <QVector>

class WindowProbe;

namespace bench {

// One measured figure. With a limit, the ratio is figure / limit. An upper
// limit is met when the ratio is below 1 (at most 1 when not strict); an exact
// target when the figure is within 5 % of it.
struct Figure
{
    enum Target { upper, upperOrEqual, exact };

    QString name;
    double value = 0;
    QString unit;
    double limit = 0; // 0: no target
    Target target = upper;
    QString note;

    bool hasTarget() const { return limit > 0; }
    double ratio() const { return hasTarget() ? value / limit : 0; }
    bool met() const
    {
        switch (target) {
        case upper:
            return ratio() < 1.0;
        case upperOrEqual:
            return ratio() <= 1.0;
        case exact:
            break;
        }
        return ratio() >= 0.95 && ratio() <= 1.05;
    }
};

void print(const Figure &figure);

QVector<Figure> idleCost(int seconds);
// A terminal that answers at once, or replyDelayMs after each request (the
// limit is judged only for the first).
QVector<Figure> batchRead(int runs, int replyDelayMs);
// "批量写入" of a provisioning (server address and port, MQTT name, key with
// the upload interval, protocol, device type: five commands, then their
// read-back) against a terminal that confirms each write, or one that answers
// writes with nothing.
QVector<Figure> provisionWrite(int runs, bool confirming);
// With logAtCap the log window holds its 5000 blocks before the flood starts,
// as it does after a minute of flood or a long working day.
QVector<Figure> flood(int seconds, bool logAtCap);
QVector<Figure> logWindow(int entries);
// The flood's reports put straight into the window, nine a tick, without a
// port or a terminal: the tool's own work per tick, steady enough to compare
// two builds, and the loop to run under callgrind (stormReplayTicks).
QVector<Figure> stormReplay(int ticks);
void stormReplayTicks(WindowProbe &probe, int ticks);
// Start-up of a fresh process to a painted window (each run a child of this
// program), and of a second window in this process.
QVector<Figure> startUp(int runs, const QString &program);

// The child's side of startUp: builds and shows the window, prints when each
// stage was reached, and ends at the first paint.
int startUpChild(int argc, char **argv, qint64 enteredMainNs);

} // namespace bench
