// What outlives the window: the provisioning record (one CSV line per batch
// write; the batch and binding tests read the lines a write leaves) and the
// log file of the day. When they cannot be written, the window goes on and
// says so once.

#include "TestSettings.h"
#include "WindowProbe.h"
#include "records/recordfile.h"

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
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
    void initTestCase() { isolateSettings(); }

    void csvFieldIsQuotedOnlyWhenItMustBe_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain") << QStringLiteral("断路器") << QStringLiteral("断路器");
        QTest::newRow("comma") << QStringLiteral("a,b") << QStringLiteral("\"a,b\"");
        QTest::newRow("quote") << QStringLiteral("say \"hi\"")
                               << QStringLiteral("\"say \"\"hi\"\"\"");
        QTest::newRow("CR LF") << QStringLiteral("a\r\nb") << QStringLiteral("\"a\r\nb\"");
        QTest::newRow("LF") << QStringLiteral("a\nb") << QStringLiteral("\"a\nb\"");
    }
    void csvFieldIsQuotedOnlyWhenItMustBe()
    {
        QFETCH(QString, value);
        QFETCH(QString, field);
        QCOMPARE(records::csvLine({value, value}),
                 (field + QLatin1Char(',') + field + QStringLiteral("\r\n")).toUtf8());
    }

    void unwritableFilesAreToldOnceAndTheWriteGoesOn_data()
    {
        QTest::addColumn<QString>("place");
        for (const char *place : {"under a file", "disk full"})
            QTest::newRow(place) << place;
    }
    void unwritableFilesAreToldOnceAndTheWriteGoesOn()
    {
        QFETCH(QString, place);
        QTemporaryDir dir;
        QString record = dir.filePath(QStringLiteral("provisioning.csv"));
        QString logs = dir.filePath(QStringLiteral("logs"));
        const QString today = QLatin1Char('/') + records::logFileName(QDate::currentDate());
        QVERIFY(QDir().mkpath(logs));
        if (place == QLatin1String("under a file")) {
            QVERIFY(writeFile(dir.filePath(QStringLiteral("file")), "x"));
            record = dir.filePath(QStringLiteral("file/provisioning.csv"));
            logs = dir.filePath(QStringLiteral("file/logs"));
        } else {
            QVERIFY(QFile::link(QStringLiteral("/dev/full"), record));
            QVERIFY(QFile::link(QStringLiteral("/dev/full"), logs + today));
        }

        ZorvikTestTool window;
        WindowProbe probe(window);
        probe.recordPath() = record;
        probe.logFolder() = logs;
        for (int write = 0; write < 2; ++write) {
            probe.writePending() = true;
            probe.verifyWrite();
            probe.flushLogFile();
        }
        const QString log = probe.logText();
        QCOMPARE(log.count(QStringLiteral("批量写入成功")), 2);
        QCOMPARE(log.count(QStringLiteral("写入记录未能保存：")), 1);
        QCOMPARE(log.count(QStringLiteral("日志文件未能保存：")), 1);
        QVERIFY(!log.contains(QStringLiteral("写入记录保存在：")));
        if (place == QLatin1String("under a file"))
            QVERIFY(probe.logEntries().contains(
                QStringLiteral("写入记录未能保存：%1（无法创建文件夹 %2）")
                    .arg(record, dir.filePath(QStringLiteral("file")))));
    }

    // Every entry of the window goes to the file of the day, also after
    // "清除窗口", and closing the window writes what is still waiting; files
    // older than 90 days go at start; "logFile=false" keeps the log off the disk.
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
        {
            ZorvikTestTool window;
            WindowProbe probe(window);
            QVERIFY(!QFile::exists(oldest));
            QVERIFY(QFile::exists(kept) && QFile::exists(logs + QStringLiteral("notes.txt")));
            probe.appendLog(QStringLiteral("一"));
            QTRY_COMPARE(withoutStamps(todays), QStringLiteral("一\r\n"));
            probe.appendLog(QStringLiteral("<b>二</b>\r\n"));
            QTest::mouseClick(probe.ui().readButton_2, Qt::LeftButton);
            probe.appendLog(QStringLiteral("三"));
        }
        const QString session = QStringLiteral("一\r\n<b>二</b>\r\n\r\n三\r\n");
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
