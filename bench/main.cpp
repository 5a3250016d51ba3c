// zorvik-bench: measures the tool against a simulated terminal on a
// pseudo-terminal and prints the figures. Never part of the tests: it judges
// nothing, it only reports.
//
//   zorvik-bench                  every benchmark
//   zorvik-bench --startup-only   the start-up figures alone (for a second
//                                 platform, such as a virtual X server)
//   zorvik-bench --quick          shorter runs, to try the program out
//   zorvik-bench --only=flood,log some of them: startup, idle, batch, provision, flood,
//                                 log, replay
//   zorvik-bench --flood-seconds=N  a flood of N seconds, twice (log empty, log full)

#include "benchmarks.h"
#include "harness.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

bool hasArgument(int argc, char **argv, const char *argument)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], argument) == 0)
            return true;
    }
    return false;
}

// True unless "--only=" names a list of benchmarks without this one.
bool wanted(int argc, char **argv, const char *name)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument.startsWith("--only="))
            return argument.mid(7).split(',').contains(name);
    }
    return true;
}

int intArgument(int argc, char **argv, const char *prefix, int fallback)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument.startsWith(prefix))
            return argument.mid(int(std::strlen(prefix))).toInt();
    }
    return fallback;
}

// Runs the benchmarks that the command line asks for, printing each figure
// as it comes, and returns them all.
QVector<bench::Figure> runWanted(int argc, char **argv, bool quick, const QString &self)
{
    QVector<bench::Figure> all;
    const auto run = [&all](const QVector<bench::Figure> &figures) {
        for (const bench::Figure &figure : figures) {
            bench::print(figure);
            all << figure;
        }
        std::fflush(stdout);
    };

    if (wanted(argc, argv, "startup"))
        run(bench::startUp(quick ? 3 : 7, self));
    if (hasArgument(argc, argv, "--startup-only"))
        return all;
    if (wanted(argc, argv, "idle"))
        run(bench::idleCost(quick ? 5 : 30));
    if (wanted(argc, argv, "batch")) {
        run(bench::batchRead(quick ? 2 : 5, 0));
        // A reply that comes in more than 50 ms after its request is taken
        // only after the next beat: what a slow terminal, or a long reply on
        // a slow line, costs.
        run(bench::batchRead(quick ? 1 : 3, 60));
    }
    if (wanted(argc, argv, "provision")) {
        run(bench::provisionWrite(quick ? 2 : 5, true));
        run(bench::provisionWrite(quick ? 1 : 2, false));
    }
    if (wanted(argc, argv, "flood")) {
        const int seconds = intArgument(argc, argv, "--flood-seconds=", 0);
        run(bench::flood(seconds > 0 ? seconds : quick ? 5 : 30, false));
        run(bench::flood(seconds > 0 ? seconds : quick ? 5 : 15, true));
    }
    if (wanted(argc, argv, "log"))
        run(bench::logWindow(10000));
    if (wanted(argc, argv, "replay"))
        run(bench::stormReplay(quick ? 300 : 3000));

    return all;
}

} // namespace

int main(int argc, char **argv)
{
    const qint64 enteredMainNs = bench::nowNs();

    // Settings, record and log files of the benchmark's windows go to a folder
    // of their own, never into the user's. The start-up children inherit it.
    std::unique_ptr<QTemporaryDir> config;
    if (qEnvironmentVariableIsEmpty("ZORVIK_BENCH_CONFIG")) {
        config = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", config->path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", config->path().toLocal8Bit());
        qputenv("ZORVIK_BENCH_CONFIG", config->path().toLocal8Bit());
    }

    if (hasArgument(argc, argv, "--startup-child"))
        return bench::startUpChild(argc, argv, enteredMainNs);

    QApplication app(argc, argv);
    const bool quick = hasArgument(argc, argv, "--quick");
    const QString self = QApplication::applicationFilePath();

    std::printf("zorvik-bench, Qt %s, platform %s\n", qVersion(),
                qPrintable(QGuiApplication::platformName()));
    std::fflush(stdout);

    const QVector<bench::Figure> all = runWanted(argc, argv, quick, self);
    if (hasArgument(argc, argv, "--startup-only"))
        return 0;
    int missed = 0;
    for (const bench::Figure &figure : all) {
        if (figure.value < 0 || (figure.hasTarget() && !figure.met()))
            ++missed;
    }
    std::printf("%d figure(s) missed their target or could not be measured\n", missed);
    return 0;
}
