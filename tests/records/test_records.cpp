// What outlives the window: the provisioning record that a technician hands
// in (one CSV line per batch write, opened in a spreadsheet) and the log file
// of the day that support asks for. Also what happens when they cannot be
// written: the write and the window go on, and the log says so once.

#include "SimFixture.h"
#include "TestSettings.h"
#include "binding/snlookup.h"
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

const QString kSaved = QStringLiteral("写入记录保存在：");
const QString kRecordFault = QStringLiteral("写入记录未能保存：");
const QString kLogFault = QStringLiteral("日志文件未能保存：");
const QString kHeader = QStringLiteral(
    "时间,端口,波特率,站号,SN,写入站号,写入波特率,写入服务器协议,写入设备类型,写入上传间隔,"
    "写入服务器地址,写入服务器端口,写入MQTT登录名,写入MQTT登录密钥,写入SN,结果,说明,SN绑定文件");

// Lines the helper copy of this program appends, and how long each is: far
// longer than a record line, so that a line going out in pieces would show.
constexpr int kHelperLines = 200;
constexpr int kHelperLineChars = 20000;

// The record's lines after its byte-order mark, split at CR LF.
QStringList recordLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    if (!bytes.startsWith("\xEF\xBB\xBF"))
        return {QStringLiteral("no byte-order mark")};
    QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// A log file's text with the timestamps taken out.
QString withoutStamps(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("(no file)");
    static const QRegularExpression stamp(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\t"),
        QRegularExpression::MultilineOption);
    return QString::fromUtf8(file.readAll()).remove(stamp);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Presses "批量写入" and waits for its verdict.
bool runWrite(SimFixture &f)
{
    f.click(f.ui().writeButton);
    return QTest::qWaitFor(
        [&f] {
            const SessionState &s = f.session();
            return s.writeStep == kWriteStepDone && s.readStep >= kReadStepIdle &&
                   !s.has(SessionState::verifying);
        },
        90000);
}

} // namespace

class RecordsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void csvFieldIsQuotedOnlyWhenItMustBe_data();
    void csvFieldIsQuotedOnlyWhenItMustBe();
    void recordTellsWhatWentIntoEachTerminal();
    void unwritableFilesAreToldOnceAndTheWriteGoesOn_data();
    void unwritableFilesAreToldOnceAndTheWriteGoesOn();
    void twoCopiesAppendOnlyWholeLines();
    void logFileKeepsTheDayAndForgetsOldDays();
};

void RecordsTest::initTestCase()
{
    isolateSettings();
}

void RecordsTest::csvFieldIsQuotedOnlyWhenItMustBe_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << "TV2400001"
                           << "TV2400001";
    QTest::newRow("Chinese") << "断路器"
                             << "断路器";
    QTest::newRow("comma") << "a,b"
                           << "\"a,b\"";
    QTest::newRow("quote") << "say \"hi\""
                           << "\"say \"\"hi\"\"\"";
    QTest::newRow("CR LF") << "a\r\nb"
                           << "\"a\r\nb\"";
    QTest::newRow("LF") << "a\nb"
                        << "\"a\nb\"";
}

void RecordsTest::csvFieldIsQuotedOnlyWhenItMustBe()
{
    QFETCH(QString, value);
    QFETCH(QString, field);
    QCOMPARE(records::csvField(value), field);
}

// Three writes as a technician makes them: one with credentials from a
// binding file whose name holds a comma and a quote, one that the terminal
// ignores, one broken off by "批量读取".
void RecordsTest::recordTellsWhatWentIntoEachTerminal()
{
    SimFixture f;
    f.probe->recordPathShown() = false; // as at the start of a run
    const QString record = f.probe->recordPath();
    QFile::remove(record);
    f.probe->snBindingFile() = QStringLiteral("/media/usb/bind,\"1\".csv");
    f.probe->snBindingLines() = snbinding::splitLines(
        QStringLiteral("tv-user-9,TV2400009,Secret9\r\ntv-user-8,TV2400008,Secret8\r\n"));
    auto &ui = f.ui();
    QVERIFY(f.connectManually());
    QVERIFY(f.waitIdle());

    f.click(ui.checkBox_6); // SN binding: SN, login name and key ticked
    ui.SNlineEdit->setText(QStringLiteral("TV2400009"));
    QVERIFY(runWrite(f));
    const QString saved = kSaved + record;
    QCOMPARE(f.logMessages().mid(f.logMessages().size() - 2),
             (QStringList{QStringLiteral("批量写入成功\r\n"), saved}));

    for (QCheckBox *box : {ui.checkBox_6, ui.checkBox_8, ui.checkBox_14, ui.checkBox_15})
        f.click(box);
    ui.BraudRate_10->setCurrentIndex(5);
    f.click(ui.checkBox_13);
    f.sim.setIgnoredWrites({QStringLiteral("DEVTYPE")});
    QVERIFY(runWrite(f));
    f.click(ui.writeButton);
    f.click(ui.readButton);
    QVERIFY(f.waitIdle());

    const QString port = f.sim.slavePath();
    const QStringList lines = recordLines(record);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), kHeader);
    QCOMPARE(lines.at(1).mid(20),
             port + QStringLiteral(",9600,1,TV2400009,,,,,,,,tv-user-9,已写入,TV2400009,成功,,"
                                   "\"bind,\"\"1\"\".csv\""));
    QCOMPARE(lines.at(2).mid(20), port + QStringLiteral(",9600,1,,,,,5,,,,,,,失败,设备类型,"));
    QCOMPARE(lines.at(3).mid(20), port + QStringLiteral(",9600,1,,,,,5,,,,,,,中断,批量读取,"));
    QVERIFY(QDateTime::fromString(lines.at(3).left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                .isValid());
    QVERIFY(!recordLines(record).join(QString()).contains(QStringLiteral("Secret9")));
    QCOMPARE(f.logCount(saved), 1);
}

void RecordsTest::unwritableFilesAreToldOnceAndTheWriteGoesOn_data()
{
    QTest::addColumn<QString>("place");
    QTest::newRow("folder cannot be created") << "under a file";
    QTest::newRow("a folder where the file should be") << "folder";
    QTest::newRow("disk full") << "full";
    QTest::newRow("read-only file") << "read-only";
}

void RecordsTest::unwritableFilesAreToldOnceAndTheWriteGoesOn()
{
    QFETCH(QString, place);
    QTemporaryDir dir;
    const QString today = records::logFileName(QDate::currentDate());
    QString record = dir.path() + QStringLiteral("/provisioning.csv");
    QString logs = dir.path() + QStringLiteral("/logs");
    QVERIFY(QDir().mkpath(logs));
    if (place == QLatin1String("under a file")) {
        QVERIFY(writeFile(dir.path() + QStringLiteral("/file"), "x"));
        record = dir.path() + QStringLiteral("/file/provisioning.csv");
        logs = dir.path() + QStringLiteral("/file/logs");
    } else if (place == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(record) && QDir().mkpath(logs + QLatin1Char('/') + today));
    } else if (place == QLatin1String("full")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), record));
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), logs + QLatin1Char('/') + today));
    } else {
        if (geteuid() == 0)
            QSKIP("root writes read-only files");
        for (const QString &path : {record, logs + QLatin1Char('/') + today}) {
            QVERIFY(writeFile(path, "kept\r\n"));
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        }
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
    QCOMPARE(log.count(kRecordFault), 1);
    QCOMPARE(log.count(kLogFault), 1);
    QVERIFY(!log.contains(kSaved));
    if (place == QLatin1String("read-only"))
        QCOMPARE(withoutStamps(record), QStringLiteral("kept\r\n"));
}

// Two copies of the tool append to one record at the same time: the header
// once, every line whole.
void RecordsTest::twoCopiesAppendOnlyWholeLines()
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/provisioning.csv");
    QProcess first;
    QProcess second;
    first.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--append"), path, QStringLiteral("A")});
    second.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--append"), path, QStringLiteral("B")});
    QVERIFY(first.waitForFinished(120000) && second.waitForFinished(120000));
    QCOMPARE(first.exitCode() + second.exitCode(), 0);

    const QStringList lines = recordLines(path);
    QCOMPARE(lines.size(), 1 + 2 * kHelperLines);
    QCOMPARE(lines.first(), QStringLiteral("h"));
    const QRegularExpression whole(QStringLiteral("^(A{%1}|B{%1}),\\d+$").arg(kHelperLineChars));
    for (const QString &line : lines.mid(1))
        QVERIFY2(whole.match(line).hasMatch(), qPrintable(line.left(60)));
}

// Every entry of the window goes to the file of the day, also after "清除窗口",
// and closing the window writes what is still waiting; files older than 90
// days go at start; "logFile=false" keeps the log off the disk.
void RecordsTest::logFileKeepsTheDayAndForgetsOldDays()
{
    const QString logs = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                         QStringLiteral("/logs/");
    const QDate today = QDate::currentDate();
    const QString oldest = logs + records::logFileName(today.addDays(-91));
    const QString kept = logs + records::logFileName(today.addDays(-90));
    const QString todays = logs + records::logFileName(today);
    QVERIFY(QDir().mkpath(logs));
    QFile::remove(todays); // other windows of this test have logged today
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

    QSettings(settingsFilePath(), QSettings::IniFormat).setValue(QStringLiteral("logFile"), false);
    {
        ZorvikTestTool window;
        WindowProbe(window).appendLog(QStringLiteral("四"));
    }
    QFile::remove(settingsFilePath());
    QCOMPARE(withoutStamps(todays), session);
}

// Run with "--append <path> <letter>", this program is the second copy of the
// tool: it appends its lines to the record and exits.
int appendLines(const QString &path, const QString &letter)
{
    const QString text = letter.repeated(kHelperLineChars);
    for (int i = 0; i < kHelperLines; ++i) {
        const QString reason =
            records::appendWhole(path, records::csvLine({text, QString::number(i)}),
                                 records::csvFileStart({QStringLiteral("h")}));
        if (!reason.isEmpty())
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
