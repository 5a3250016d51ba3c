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
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kLogs = QStringLiteral("/data/ZorvikTestTool/logs/"); // in the isolated folder

// A log file's text with the timestamps taken out.
QString withoutStamps(const QString &path)
{
    return QString::fromUtf8(readFile(path)).remove(WindowProbe::logStamp());
}

} // namespace

class RecordsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        isolateSettings();
        nameApplication(); // names the data folder, whatever the program file's name
    }

    void csvFieldIsQuotedOnlyWhenItMustBeAndNeverRunsAsAFormula_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain text stays bare")
            << QStringLiteral("断路器") << QStringLiteral("断路器");
        QTest::newRow("a comma is quoted") << QStringLiteral("a,b") << QStringLiteral("\"a,b\"");
        QTest::newRow("a quote is doubled")
            << QStringLiteral("say \"hi\"") << QStringLiteral("\"say \"\"hi\"\"\"");
        QTest::newRow("CR LF is quoted")
            << QStringLiteral("a\r\nb") << QStringLiteral("\"a\r\nb\"");
        QTest::newRow("LF is quoted") << QStringLiteral("a\nb") << QStringLiteral("\"a\nb\"");
        QTest::newRow("= is no formula")
            << QStringLiteral("=1+\"x\"") << QStringLiteral("\"'=1+\"\"x\"\"\"");
        QTest::newRow("@ is no formula")
            << QStringLiteral("@SUM(A1)") << QStringLiteral("\"'@SUM(A1)\"");
        QTest::newRow("+ is no formula")
            << QStringLiteral("+cmd|x") << QStringLiteral("\"'+cmd|x\"");
        QTest::newRow("- is no formula") << QStringLiteral("-2+3") << QStringLiteral("\"'-2+3\"");
        QTest::newRow("nor behind a tab") << QStringLiteral("\t=1") << QStringLiteral("\"'\t=1\"");
        QTest::newRow("nor behind a CR") << QStringLiteral("\r=1") << QStringLiteral("\"'\r=1\"");
        QTest::newRow("a negative number stays")
            << QStringLiteral("-5.5") << QStringLiteral("-5.5");
    }
    void csvFieldIsQuotedOnlyWhenItMustBeAndNeverRunsAsAFormula()
    {
        QFETCH(QString, value);
        QFETCH(QString, field);
        QCOMPARE(records::csvLine({value, value}),
                 (field + QLatin1Char(',') + field + QStringLiteral("\r\n")).toUtf8());
    }

    // A stale lock is taken over at once; a line that lost its end is ended.
    void appendingLeavesWholeLines_data()
    {
        QTest::addColumn<QByteArray>("lock"); // "-": none
        QTest::newRow("without a lock") << QByteArray("-");
        QTest::newRow("past an empty lock left behind") << QByteArray();
        QTest::newRow("past the lock of a process gone")
            << QByteArray("999999999\nZorvikTestTool\n");
    }
    void appendingLeavesWholeLines()
    {
        QFETCH(QByteArray, lock);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("provisioning.csv"));
        QVERIFY(writeFile(path, "H\r\nb"));
        QVERIFY(lock == "-" || writeFile(path + QStringLiteral(".lock"), lock));
        QCOMPARE(records::appendWhole(path, "c\r\n", "H\r\n"), QString());
        QCOMPARE(readFile(path), QByteArray("H\r\nb\r\nc\r\n"));
    }

    // The newest 90 day files stay whatever the clock says; oldest go first.
    void cleanUpKeepsTheNewestDaysWhateverTheClock_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<int>("clockAhead"); // days
        QTest::addColumn<qint64>("cap");     // files of one byte each
        QTest::addColumn<QStringList>("expired");
        const auto days = [](int from, int to) {
            QStringList names;
            for (int day = from; day <= to; ++day)
                names << records::logFileName(QDate(2025, 3, 7).addDays(-day));
            return names;
        };
        QTest::newRow("a clock ten years ahead") << days(0, 95) << 3650 << 1000LL << days(90, 95);
        QTest::newRow("a file named in 2000 among the newest")
            << days(0, 88) + QStringList{"2000-01-01.log", "notes.txt"} << 0 << 1000LL
            << QStringList();
        QTest::newRow("the folder over its cap") << days(0, 9) << 0 << 3LL << days(3, 9);
    }
    void cleanUpKeepsTheNewestDaysWhateverTheClock()
    {
        QFETCH(QStringList, files);
        QFETCH(int, clockAhead);
        QFETCH(qint64, cap);
        QFETCH(QStringList, expired);
        QVector<records::DayFile> sized;
        for (const QString &name : files)
            sized.append({name, 1});
        QCOMPARE(records::expiredLogFiles(sized, QDate(2025, 3, 7).addDays(clockAhead), 90, cap),
                 expired);
    }

    // A backlog that outgrows 4 MB while the folder is in the way loses its
    // oldest lines and says how many; the save that crosses the day's cap ends
    // in the cap's line, and the file takes nothing more that day.
    void aDaysFileSaysWhatItLostAndWhereItsCapWasReached()
    {
        const QString logs = dir.filePath(QStringLiteral("capped"));
        const QString today = logs + QLatin1Char('/') + records::logFileName(QDate::currentDate());
        const qint64 cap = 100LL * 1024 * 1024;
        QVERIFY(writeFile(logs, "x"));
        ZorvikTestTool window;
        WindowProbe probe(window);
        probe.flushLogFile();
        probe.logFolder() = logs;
        const int kept = 42000; // 100 bytes each
        for (int entry = 0; entry < kept; ++entry)
            probe.keepLogEntry(QStringLiteral("%1").arg(entry, 98, 10, QLatin1Char('0')),
                               QDate::currentDate());
        probe.flushLogFile();
        QVERIFY(QFile::remove(logs) && QDir().mkpath(logs));
        QFile file(today);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(cap - 1));
        file.close();
        probe.flushLogFile();
        const qint64 capped = file.size();
        probe.keepLogEntry(QStringLiteral("past the cap"), QDate::currentDate());
        probe.flushLogFile();
        QCOMPARE(file.size(), capped);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.seek(cap - 1));
        const QStringList lines = QString::fromUtf8(file.readAll())
                                      .remove(WindowProbe::logStamp())
                                      .split(QStringLiteral("\r\n"));
        const int dropped = lines.value(1)
                                .section(QStringLiteral("丢弃了"), 1)
                                .section(QStringLiteral("行"), 0, 0)
                                .toInt();
        QVERIFY(dropped > kept / 5);
        QCOMPARE(lines.value(1), QStringLiteral("日志文件无法保存期间丢弃了%1行日志").arg(dropped));
        QCOMPARE(lines.value(2), QStringLiteral("%1").arg(dropped, 98, 10, QLatin1Char('0')));
        QCOMPARE(lines.mid(lines.size() - 4),
                 QStringList(
                     {QStringLiteral("%1").arg(kept - 1, 98, 10, QLatin1Char('0')),
                      QStringLiteral("日志文件未能保存：%1（无法创建文件夹 %2）").arg(today, logs),
                      QStringLiteral("日志文件已达当天上限（100 MB），当天其余日志不再写入文件"),
                      QString()}));
    }

    // Said once; kept for the next save (said too) or, at exit, for a file
    // beside. Each row has a folder of its own, the logs in "logs" there.
    void unwritableFilesAreToldOnceAndTheirLinesKept_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<bool>("clears");    // what is in the way goes after two saves
        QTest::addColumn<QString>("reason"); // in the box at exit
        QTest::addColumn<int>("saved");      // record lines written at last
        const QString blocked = dir.filePath(QStringLiteral("blocked"));
        writeFile(blocked, "x");
        QTest::newRow("under a file") << blocked + QStringLiteral("/provisioning.csv") << false
                                      << QStringLiteral("无法创建文件夹 ") + blocked << 0;
        const QString full = dir.filePath(QStringLiteral("full/"));
        QDir().mkpath(full + QStringLiteral("logs"));
        QFile::link(QStringLiteral("/dev/full"), full + QStringLiteral("provisioning.csv"));
        QFile::link(QStringLiteral("/dev/full"),
                    full + QStringLiteral("logs/") + records::logFileName(QDate::currentDate()));
        QTest::newRow("on a full disk") << full + QStringLiteral("provisioning.csv") << false
                                        << QStringLiteral("磁盘已满") << 4;
        const QString cleared = dir.filePath(QStringLiteral("cleared/"));
        QDir().mkpath(cleared + QStringLiteral("provisioning.csv"));
        writeFile(cleared + QStringLiteral("logs"), "x");
        QTest::newRow("behind a folder and a file in the way, then cleared")
            << cleared + QStringLiteral("provisioning.csv") << true << QString() << 4;
    }
    void unwritableFilesAreToldOnceAndTheirLinesKept()
    {
        QFETCH(QString, record);
        QFETCH(bool, clears);
        QFETCH(QString, reason);
        QFETCH(int, saved);
        const QString folder = QFileInfo(record).absolutePath();
        const QString logs = folder + QStringLiteral("/logs");
        const QString today = logs + QLatin1Char('/') + records::logFileName(QDate::currentDate());
        BoxCatcher boxes;
        {
            ZorvikTestTool window;
            WindowProbe probe(window);
            probe.recordPath() = record;
            probe.logFolder() = logs;
            for (int write = 0; write < 4; ++write) {
                if (write == 2 && clears)
                    QVERIFY(QDir(record).removeRecursively() && QFile::remove(logs));
                probe.writePending() = true;
                probe.verifyWrite();
                probe.flushLogFile();
            }
            const QString log = probe.logText();
            QCOMPARE(log.count(QStringLiteral("批量写入成功")), 4);
            QCOMPARE(log.count(QStringLiteral("写入记录未能保存：")), 1);
            QCOMPARE(log.count(QStringLiteral("日志文件未能保存：")), 1);
            QCOMPARE(log.contains(QStringLiteral("写入记录保存在：")), clears);
            QCOMPARE(log.count(QStringLiteral("写入记录已恢复保存：") + record), int(clears));
        }
        const QString apart =
            folder + QLatin1Char('/') +
            QDir(folder).entryList({QStringLiteral("provisioning-unsaved-*")}).value(0);
        QCOMPARE(
            QString::fromUtf8(readFile(clears ? record : apart)).count(QStringLiteral(",成功,")),
            saved);
        if (clears) {
            const QString log = QString::fromUtf8(readFile(today));
            QCOMPARE(log.count(QStringLiteral("批量写入成功")), 4);
            QCOMPARE(log.count(QStringLiteral("日志文件已恢复保存：") + today), 1);
            QCOMPARE(boxes.count(), 0);
            return;
        }
        const QString lost = QStringLiteral("写入记录 %1 无法写入（%2），").arg(record, reason);
        QCOMPARE(boxes.last().title, QStringLiteral("写入记录未能保存"));
        QVERIFY(boxes.last().text == lost + QStringLiteral("未保存的记录已另存为：\r\n") + apart ||
                boxes.last().text.startsWith(lost + QStringLiteral("未保存的记录也无法另存为 ")));
        QVERIFY(saved == 0 || readFile(apart).startsWith("\xEF\xBB\xBF时间,端口,"));
    }

    // The newest 90 day files stay whatever their dates; older ones go at
    // start and each new day; other files stay.
    void oldDayFilesGoAtStartAndOnEachNewDay()
    {
        const QString logs = isolateSettings() + kLogs;
        const QDate today = QDate::currentDate();
        const QString kept = logs + records::logFileName(today.addDays(-90));
        for (int day = 1; day <= 91; ++day)
            QVERIFY(writeFile(logs + records::logFileName(today.addDays(-day)), "x"));
        QVERIFY(writeFile(logs + QStringLiteral("notes.txt"), "x"));
        ZorvikTestTool window;
        QVERIFY(!QFile::exists(logs + records::logFileName(today.addDays(-91))));
        QVERIFY(QFile::exists(kept) && QFile::exists(logs + QStringLiteral("notes.txt")));
        QVERIFY(writeFile(logs + records::logFileName(today), "x"));
        WindowProbe(window).keepLogEntry(QString(), today.addDays(1));
        QVERIFY(!QFile::exists(kept));
    }

    // Every entry of the window, the MQTT key masked, also after "清除窗口";
    // closing the window writes what is still waiting. "logFile=false" keeps
    // the log off the disk.
    void everyEntryGoesToTheDaysFileWithTheKeyMasked_data()
    {
        QTest::addColumn<bool>("logFile");
        QTest::addColumn<QString>("kept");
        QTest::newRow("logFile=true")
            << true
            << QStringLiteral("一\r\n<b>二</b>\r\n\r\n发送AT指令:AT+BEAT=******,60\r\n\r\n"
                              "发送AT指令:AT+BEAT=******,\r\n\r\nMQTT登录密钥为：******\r\n"
                              "mqtt code:******\r\n");
        QTest::newRow("logFile=false") << false << QString();
    }
    void everyEntryGoesToTheDaysFileWithTheKeyMasked()
    {
        QFETCH(bool, logFile);
        QFETCH(QString, kept);
        const QString todays =
            isolateSettings() + kLogs + records::logFileName(QDate::currentDate());
        QFile::remove(todays);
        QSettings(settingsFilePath(), QSettings::IniFormat)
            .setValue(QStringLiteral("logFile"), logFile);
        {
            ZorvikTestTool window;
            WindowProbe probe(window);
            probe.appendLog(QStringLiteral("一"));
            QTRY_COMPARE(withoutStamps(todays), logFile ? QStringLiteral("一\r\n") : QString());
            probe.appendLog(QStringLiteral("<b>二</b>\r\n"));
            QTest::mouseClick(probe.ui().readButton_2, Qt::LeftButton);
            for (const char *key : {"发送AT指令:AT+BEAT=k3y,60\r\n", "发送AT指令:AT+BEAT=k3y,\r\n",
                                    "MQTT登录密钥为：k3y", "mqtt code:k3y"})
                probe.appendLog(QString::fromUtf8(key));
            QCOMPARE(probe.logText().count(QStringLiteral("k3y")), 4);
        }
        QFile::remove(settingsFilePath());
        QCOMPARE(withoutStamps(todays), kept);
    }
};

QTEST_MAIN(RecordsTest)
#include "test_records.moc"
