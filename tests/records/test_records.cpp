// What outlives the window: the provisioning record (one CSV line per batch
// write; the batch and binding tests read the lines a write leaves) and the
// log file of the day. When they cannot be written, the window goes on and
// says so once.

#include "TestSettings.h"
#include "WindowProbe.h"
#include "records/recordfile.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

// Lines the helper copy of this program appends, and how long each is: far
// longer than a record line, so that a line going out in pieces would show.
constexpr int kHelperLines = 200;
constexpr int kHelperLineChars = 20000;

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A log file's text with the timestamps taken out.
QString withoutStamps(const QString &path)
{
    static const QRegularExpression stamp(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\t"),
        QRegularExpression::MultilineOption);
    return readFile(path).remove(stamp);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
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
        for (const char *place : {"under a file", "folder", "disk full", "read-only"})
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
        } else if (place == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(record) && QDir().mkpath(logs + today));
        } else if (place == QLatin1String("disk full")) {
            QVERIFY(QFile::link(QStringLiteral("/dev/full"), record));
            QVERIFY(QFile::link(QStringLiteral("/dev/full"), logs + today));
        } else {
            if (geteuid() == 0)
                QSKIP("root writes read-only files");
            for (const QString &path : {record, logs + today})
                QVERIFY(writeFile(path, "kept\r\n") &&
                        QFile::setPermissions(path, QFile::ReadOwner));
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
        if (place == QLatin1String("read-only"))
            QCOMPARE(readFile(record), QStringLiteral("kept\r\n"));
    }

    // Two copies of the tool append to one record at the same time: the header
    // once, every line whole.
    void twoCopiesAppendOnlyWholeLines()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("provisioning.csv"));
        QProcess copies[2];
        for (int i = 0; i < 2; ++i)
            copies[i].start(QCoreApplication::applicationFilePath(),
                            {QStringLiteral("--append"), path, QString(QLatin1Char('A' + i))});
        for (QProcess &copy : copies)
            QVERIFY(copy.waitForFinished(120000) && copy.exitCode() == 0);

        QStringList lines = readFile(path).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.takeFirst(), QStringLiteral("h"));
        QCOMPARE(lines.takeLast(), QString());
        QCOMPARE(lines.size(), 2 * kHelperLines);
        const QRegularExpression whole(
            QStringLiteral("^(A{%1}|B{%1}),\\d+$").arg(kHelperLineChars));
        for (const QString &line : lines)
            QVERIFY2(whole.match(line).hasMatch(), qPrintable(line.left(60)));
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

// Run with "--append <path> <letter>", this program is the second copy of the
// tool: it appends its lines to the record and exits.
int appendLines(const QString &path, const QString &letter)
{
    const QString text = letter.repeated(kHelperLineChars);
    for (int i = 0; i < kHelperLines; ++i) {
        if (!records::appendWhole(path, records::csvLine({text, QString::number(i)}),
                                  records::csvFileStart({QStringLiteral("h")}))
                 .isEmpty())
            return 1;
    }
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--append") == 0)
        return appendLines(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    QApplication app(argc, argv);
    RecordsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_records.moc"
