// What outlives the window: the provisioning record (one CSV line per batch
// write; the batch and binding tests read the lines a write leaves) and the
// log file of the day. When they cannot be written, the window goes on, says
// so once and keeps their lines for later.

#include "BoxCatcher.h"
#include "TestSettings.h"
#include "WindowProbe.h"
#include "app/startup.h"
#include "records/recordfile.h"

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A log file's text with the timestamps taken out.
QString withoutStamps(const QString &path)
{
    return QString::fromUtf8(readFile(path)).remove(WindowProbe::logStamp());
}

} // namespace

class RecordsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        nameApplication();
        const QString home = isolateSettings();
        // Named by the tool, not by the program file; the settings stay where they were.
        QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation),
                 home + QStringLiteral("/data/ZorvikTestTool"));
        QCOMPARE(settingsFilePath(), home + QStringLiteral("/Setting.ini"));
    }

    void csvFieldIsQuotedOnlyWhenItMustBeAndNeverRunsAsAFormula_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain") << QStringLiteral("断路器") << QStringLiteral("断路器");
        QTest::newRow("comma") << QStringLiteral("a,b") << QStringLiteral("\"a,b\"");
        QTest::newRow("quote") << QStringLiteral("say \"hi\"")
                               << QStringLiteral("\"say \"\"hi\"\"\"");
        QTest::newRow("CR LF") << QStringLiteral("a\r\nb") << QStringLiteral("\"a\r\nb\"");
        QTest::newRow("LF") << QStringLiteral("a\nb") << QStringLiteral("\"a\nb\"");
        QTest::newRow("=") << QStringLiteral("=HYPERLINK(\"x\")")
                           << QStringLiteral("\"'=HYPERLINK(\"\"x\"\")\"");
        QTest::newRow("@") << QStringLiteral("@SUM(A1)") << QStringLiteral("\"'@SUM(A1)\"");
        QTest::newRow("+") << QStringLiteral("+cmd|x") << QStringLiteral("\"'+cmd|x\"");
        QTest::newRow("-") << QStringLiteral("-2+3") << QStringLiteral("\"'-2+3\"");
        QTest::newRow("tab") << QStringLiteral("\t=1") << QStringLiteral("\"'\t=1\"");
        QTest::newRow("CR") << QStringLiteral("\r=1") << QStringLiteral("\"'\r=1\"");
        QTest::newRow("negative number") << QStringLiteral("-5") << QStringLiteral("-5");
        QTest::newRow("signed decimal") << QStringLiteral("+0.5") << QStringLiteral("+0.5");
    }
    void csvFieldIsQuotedOnlyWhenItMustBeAndNeverRunsAsAFormula()
    {
        QFETCH(QString, value);
        QFETCH(QString, field);
        QCOMPARE(records::csvLine({value, value}),
                 (field + QLatin1Char(',') + field + QStringLiteral("\r\n")).toUtf8());
    }

    void theKeyIsMaskedOnEachLineThatCarriesIt_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("inFile");
        const auto row = [](const char *name, const char *message, const char *inFile) {
            QTest::newRow(name) << QString::fromUtf8(message) << QString::fromUtf8(inFile);
        };
        row("sent with interval", "发送AT指令:AT+BEAT=k3y,60\r\n",
            "发送AT指令:AT+BEAT=******,60\r\n");
        row("sent alone", "发送AT指令:AT+BEAT=Zk93pQxyz0,\r\n", "发送AT指令:AT+BEAT=******,\r\n");
        row("read answer", "MQTT登录密钥为：<b>k</b>", "MQTT登录密钥为：******");
        row("binding lookup", "mqtt code:K", "mqtt code:******");
        row("read asked", "发送AT指令:AT+BEAT?\r\n", "发送AT指令:AT+BEAT?\r\n");
        row("login name", "mqtt name:mqtt code:k", "mqtt name:mqtt code:k");
    }
    void theKeyIsMaskedOnEachLineThatCarriesIt()
    {
        QFETCH(QString, message);
        QFETCH(QString, inFile);
        QCOMPARE(records::withKeyMasked(message), inFile);
    }

    // A new file starts with its header; a lock whose owner is gone is taken
    // over at once; a last line that lost its line end is ended first.
    void appendingLeavesWholeLines_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("lock"); // "-": none
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("new file") << QByteArray() << QByteArray("-") << QByteArray("H\r\nb\r\n");
        QTest::newRow("line end lost")
            << QByteArray("H\r\na") << QByteArray("-") << QByteArray("H\r\na\r\nb\r\n");
        QTest::newRow("empty lock left")
            << QByteArray("H\r\n") << QByteArray() << QByteArray("H\r\nb\r\n");
        QTest::newRow("lock of a process gone")
            << QByteArray("H\r\n")
            << "999999999\nZorvikTestTool\n" + QSysInfo::machineHostName().toUtf8() + "\n"
            << QByteArray("H\r\nb\r\n");
    }
    void appendingLeavesWholeLines()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, lock);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("provisioning.csv"));
        QVERIFY(before.isEmpty() || writeFile(path, before));
        QVERIFY(lock == "-" || writeFile(path + QStringLiteral(".lock"), lock));
        QCOMPARE(records::appendWhole(path, "b\r\n", "H\r\n"), QString());
        QCOMPARE(readFile(path), after);
    }

    // The newest 90 day files stay whatever the clock said when it named them
    // or says now; the folder stays below its cap, oldest files first.
    void cleanUpKeepsTheNewestDaysWhateverTheClock_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<int>("todayFromNow");
        QTest::addColumn<qint64>("cap");
        QTest::addColumn<QStringList>("expired");
        const QDate now(2025, 3, 7);
        const auto days = [&](int from, int to) {
            QStringList names;
            for (int day = from; day <= to; ++day)
                names << records::logFileName(now.addDays(-day));
            return names;
        };
        const qint64 noCap = 1 << 30;
        QTest::newRow("right clock") << days(0, 95) << 0 << noCap << days(91, 95);
        QTest::newRow("clock ten years ahead") << days(0, 95) << 3650 << noCap << days(90, 95);
        QTest::newRow("a file named in 2000")
            << days(0, 88) + QStringList{"2000-01-01.log", "notes.txt"} << 0 << noCap
            << QStringList();
        QTest::newRow("folder cap") << days(0, 9) << 0 << qint64(3) << days(3, 9);
        QTest::newRow("today above the cap") << days(0, 1) << 0 << qint64(0) << days(1, 1);
    }
    void cleanUpKeepsTheNewestDaysWhateverTheClock()
    {
        QFETCH(QStringList, files);
        QFETCH(int, todayFromNow);
        QFETCH(qint64, cap);
        QFETCH(QStringList, expired);
        QVector<records::DayFile> sized;
        for (const QString &name : files)
            sized.append({name, 1});
        QCOMPARE(records::expiredLogFiles(sized, QDate(2025, 3, 7).addDays(todayFromNow), 90, cap),
                 expired);
    }

    // A day's file ends with one line at its cap; entries the file refused
    // give up their oldest lines first.
    void logFileGrowthIsBounded()
    {
        QCOMPARE(records::cappedLogBatch(4, "a\r\n", 9, "cap\r\n"), QByteArray("a\r\n"));
        QCOMPARE(records::cappedLogBatch(6, "a\r\n", 9, "cap\r\n"), QByteArray("a\r\ncap\r\n"));
        QCOMPARE(records::cappedLogBatch(9, "a\r\n", 9, "cap\r\n"), QByteArray());
        QByteArray lines("a\r\nbb\r\nccc\r\n");
        QCOMPARE(records::dropOldestLines(lines, 6), 2);
        QCOMPARE(lines, QByteArray("ccc\r\n"));
    }

    // What cannot be saved is said once, kept for the next save that works
    // (which is said too) and, at exit, put in a file of its own beside the
    // record, with a box that says where.
    void unwritableFilesAreToldOnceAndTheirLinesKept_data()
    {
        QTest::addColumn<QString>("place");
        for (const char *place : {"under a file", "disk full", "folder in the way"})
            QTest::newRow(place) << place;
    }
    void unwritableFilesAreToldOnceAndTheirLinesKept()
    {
        QFETCH(QString, place);
        QTemporaryDir dir;
        QString record = dir.filePath(QStringLiteral("provisioning.csv"));
        QString logs = dir.filePath(QStringLiteral("logs"));
        const QString today = logs + QLatin1Char('/') + records::logFileName(QDate::currentDate());
        QString reason = QStringLiteral("磁盘已满");
        if (place == QLatin1String("under a file")) {
            QVERIFY(writeFile(dir.filePath(QStringLiteral("file")), "x"));
            record = dir.filePath(QStringLiteral("file/provisioning.csv"));
            logs = dir.filePath(QStringLiteral("file/logs"));
            reason = QStringLiteral("无法创建文件夹 ") + dir.filePath(QStringLiteral("file"));
        } else if (place == QLatin1String("disk full")) {
            QVERIFY(QDir().mkpath(logs) && QFile::link(QStringLiteral("/dev/full"), record));
            QVERIFY(QFile::link(QStringLiteral("/dev/full"), today));
        } else {
            QVERIFY(QDir().mkpath(record) && writeFile(logs, "x"));
        }

        BoxCatcher boxes;
        {
            ZorvikTestTool window;
            WindowProbe probe(window);
            probe.recordPath() = record;
            probe.logFolder() = logs;
            const auto writeTwice = [&] {
                for (int write = 0; write < 2; ++write) {
                    probe.writePending() = true;
                    probe.verifyWrite();
                    probe.flushLogFile();
                }
            };
            writeTwice();
            const QString log = probe.logText();
            QCOMPARE(log.count(QStringLiteral("批量写入成功")), 2);
            QCOMPARE(log.count(QStringLiteral("写入记录未能保存：")), 1);
            QCOMPARE(log.count(QStringLiteral("日志文件未能保存：")), 1);
            QVERIFY(!log.contains(QStringLiteral("写入记录保存在：")));
            if (place == QLatin1String("folder in the way")) {
                QVERIFY(QDir(record).removeRecursively() && QFile::remove(logs));
                writeTwice();
            } else {
                QVERIFY(
                    log.contains(QStringLiteral("写入记录未能保存：%1（%2）").arg(record, reason)));
            }
        }
        const QString apart = dir.filePath(
            QDir(dir.path()).entryList({QStringLiteral("provisioning-unsaved-*")}).value(0));
        if (place == QLatin1String("folder in the way")) {
            const QString log = QString::fromUtf8(readFile(today));
            QCOMPARE(QString::fromUtf8(readFile(record)).count(QStringLiteral(",成功,")), 4);
            QCOMPARE(log.count(QStringLiteral("批量写入成功")), 4);
            QCOMPARE(log.count(QStringLiteral("写入记录已恢复保存：") + record), 1);
            QCOMPARE(log.count(QStringLiteral("日志文件已恢复保存：") + today), 1);
            QCOMPARE(boxes.count(), 0);
        } else if (place == QLatin1String("disk full")) {
            QCOMPARE(boxes.last().title, QStringLiteral("写入记录未能保存"));
            QCOMPARE(
                boxes.last().text,
                QStringLiteral("写入记录 %1 无法写入（磁盘已满），未保存的记录已另存为：\r\n%2")
                    .arg(record, apart));
            QVERIFY(readFile(apart).startsWith("\xEF\xBB\xBF时间,端口,"));
            QCOMPARE(QString::fromUtf8(readFile(apart)).count(QStringLiteral(",成功,")), 2);
        } else {
            QVERIFY(boxes.last().text.startsWith(
                QStringLiteral("写入记录 %1 无法写入（%2），未保存的记录也无法另存为 ")
                    .arg(record, reason)));
        }
    }

    // Every entry of the window goes to the file of the day (the MQTT key
    // masked), also after "清除窗口", and closing the window writes what is
    // still waiting; beyond the newest 90 files, those older than 90 days go at
    // start and with the first entry of each new day; "logFile=false" keeps the
    // log off the disk.
    void logFileKeepsTheDayAndForgetsOldDays()
    {
        const QString logs =
            QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
            QStringLiteral("/logs/");
        const QDate today = QDate::currentDate();
        const QString oldest = logs + records::logFileName(today.addDays(-91));
        const QString kept = logs + records::logFileName(today.addDays(-90));
        const QString todays = logs + records::logFileName(today);
        QVERIFY(QDir().mkpath(logs));
        QFile::remove(todays);
        for (const QString &path : {oldest, kept, logs + QStringLiteral("notes.txt")})
            QVERIFY(writeFile(path, "x"));
        for (int day = 1; day < 90; ++day)
            QVERIFY(writeFile(logs + records::logFileName(today.addDays(-day)), "x"));
        {
            ZorvikTestTool window;
            WindowProbe probe(window);
            QVERIFY(!QFile::exists(oldest));
            QVERIFY(QFile::exists(kept) && QFile::exists(logs + QStringLiteral("notes.txt")));
            probe.appendLog(QStringLiteral("一"));
            QTRY_COMPARE(withoutStamps(todays), QStringLiteral("一\r\n"));
            probe.appendLog(QStringLiteral("<b>二</b>\r\n"));
            QTest::mouseClick(probe.ui().readButton_2, Qt::LeftButton);
            probe.appendLog(QStringLiteral("mqtt code:k3y"));
            QCOMPARE(probe.logEntries(), QStringList{"mqtt code:k3y"});
            probe.keepLogEntry(QString(), today.addDays(1));
            QVERIFY(!QFile::exists(kept));
        }
        const QString session = QStringLiteral("一\r\n<b>二</b>\r\n\r\nmqtt code:******\r\n");
        QCOMPARE(withoutStamps(todays), session);

        QSettings(settingsFilePath(), QSettings::IniFormat)
            .setValue(QStringLiteral("logFile"), false);
        {
            ZorvikTestTool window;
            WindowProbe(window).appendLog(QStringLiteral("四"));
        }
        QFile::remove(settingsFilePath());
        QCOMPARE(withoutStamps(todays), session);
    }
};

QTEST_MAIN(RecordsTest)
#include "test_records.moc"
