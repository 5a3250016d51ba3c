// SN binding as a technician who provisions terminals uses it: open the
// binding file, switch binding on, type a serial number and see the MQTT
// login name and key appear in "修改参数", then write all three. Also the
// lookup on its own, on big and on broken files.

#include "FileDialogAnswer.h"
#include "SimFixture.h"
#include "TestSettings.h"
#include "binding/snlookup.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

namespace {

const QString kOpenFailed = QStringLiteral("CSV文件打开失败 功能不可用");
const QString kNoFile = QStringLiteral("请打开mqtt三要素文件");

// Records in the binding file: "<MQTT login name>,<serial number>,<MQTT key>".
QStringList records(std::initializer_list<const char *> lines)
{
    QStringList list;
    for (const char *line : lines)
        list << QString::fromUtf8(line);
    return list;
}

// Bytes that are neither text nor lines: zeros, invalid UTF-8, stray commas.
QByteArray garbage(int size)
{
    QByteArray bytes(size, '\0');
    quint32 state = 12345;
    for (char &byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = char(state >> 16);
    }
    return bytes;
}

} // namespace

class BindingTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // The lookup on its own.
    void linesAreSplitAtEveryLineFeed();
    void lookupFindsTheFirstExactMatch_data();
    void lookupFindsTheFirstExactMatch();
    void lookupWalksAHundredThousandLines();
    void lookupSurvivesBinaryText();

    // The window.
    void withBindingOffTypingOnlyUpdatesTheSerialNumber();
    void withoutFileEveryKeystrokeAsksForIt();
    void switchTicksTheThreeBoxesAndUntickingKeepsThem();
    void dialogLoadsFileAndRemembersItsFolder();
    void cancelledDialogDropsTheOldLines();
    void vanishedFileLogsItsPathAndDropsTheOldLines();
    void oversizedFileIsRefused();
    void deviceOrPipeIsRefusedWithoutHanging();
    void binaryFileLoadsAndMatchesNothing();
    void windowsLineEndsLeaveNoReturnInTheKey();
    void firstMatchingLineWins();
    void blankOrCaseMakesADifferentSerialNumber();
    void headerLineIsMatchedLikeAnyLine();
    void everyIntermediateTextIsLookedUp();
    void singleLineWithoutLineBreakCountsAsNoFile();
    void keyIsWrittenExactlyAsInTheFile();
    void boundSerialNumberIsWrittenAndVerified();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);
    // Clicks "打开SN绑定文件" and answers the dialog with path.
    void openFile(FileDialogAnswer &answer);
    bool load(const QString &path);
    void bindingOn();
    QStringList logSince(int entries) const { return f->logMessages().mid(entries); }

    std::unique_ptr<SimFixture> f;
    std::unique_ptr<QTemporaryDir> dir;
};

void BindingTest::initTestCase()
{
    isolateSettings();
}

void BindingTest::init()
{
    QFile::remove(settingsFilePath());
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    f = std::make_unique<SimFixture>();
}

void BindingTest::cleanup()
{
    f.reset();
    dir.reset();
}

QString BindingTest::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = dir->filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void BindingTest::openFile(FileDialogAnswer &answer)
{
    f->click(f->ui().pushButton_5);
    QVERIFY(answer.seen);
}

bool BindingTest::load(const QString &path)
{
    FileDialogAnswer answer(path);
    openFile(answer);
    return answer.seen && f->probe->snBindingFile() == path;
}

void BindingTest::bindingOn()
{
    f->click(f->ui().checkBox_6);
    QVERIFY(f->session().has(SessionState::snBinding));
}

void BindingTest::linesAreSplitAtEveryLineFeed()
{
    QCOMPARE(snbinding::splitLines(QStringLiteral("a,1,x\r\nb,2,y\r\n")),
             (QStringList{QStringLiteral("a,1,x\r"), QStringLiteral("b,2,y\r"), QString()}));
    QCOMPARE(snbinding::splitLines(QStringLiteral("a,1,x")), QStringList{QStringLiteral("a,1,x")});
    QCOMPARE(snbinding::splitLines(QStringLiteral("a\n\nb")),
             (QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")}));
}

void BindingTest::lookupFindsTheFirstExactMatch_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("sn");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");

    QTest::newRow("windows line ends")
        << records({"n1,SN1,k1\r", "n2,SN2,k2\r", ""}) << "SN2" << true << "n2"
        << "k2";
    QTest::newRow("first of two wins")
        << records({"n1,SN1,k1", "n9,SN1,k9", ""}) << "SN1" << true << "n1"
        << "k1";
    QTest::newRow("trailing blank in the file")
        << records({"n1,SN1 ,k1", ""}) << "SN1" << false << ""
        << "";
    QTest::newRow("letter case") << records({"n1,sn1,k1", ""}) << "SN1" << false << ""
                                 << "";
    QTest::newRow("two fields") << records({"n1,SN1", ""}) << "SN1" << false << ""
                                << "";
    QTest::newRow("two fields, windows line end")
        << records({"n1,SN1\r", ""}) << "SN1\r" << false << ""
        << "";
    QTest::newRow("blank windows line before the match")
        << records({"n1,SN1,k1\r", "\r", "n2,SN2,k2\r", ""}) << "SN2" << true << "n2"
        << "k2";
    QTest::newRow("one field") << records({"SN1", ""}) << "SN1" << false << ""
                               << "";
    QTest::newRow("further fields ignored")
        << records({"n1,SN1,k1,x,y", ""}) << "SN1" << true << "n1"
        << "k1";
    QTest::newRow("empty key") << records({"n1,SN1,", ""}) << "SN1" << true << "n1"
                               << "";
    QTest::newRow("controls removed from name and key")
        << records({"n\t1\r,SN1,k\t1\r", ""}) << "SN1" << true << "n1"
        << "k1";
    QTest::newRow("header line") << records({"name,sn,key", "n1,SN1,k1", ""}) << "sn" << true
                                 << "name"
                                 << "key";
    QTest::newRow("empty text matches no empty line")
        << records({"n1,SN1,k1", "", ""}) << "" << false << ""
        << "";
    QTest::newRow("prefix is not a match") << records({"n1,SN12,k1", ""}) << "SN1" << false << ""
                                           << "";
}

void BindingTest::lookupFindsTheFirstExactMatch()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, sn);
    QFETCH(bool, found);
    QFETCH(QString, name);
    QFETCH(QString, key);

    const auto credentials = snbinding::lookup(lines, sn);
    QCOMPARE(bool(credentials), found);
    if (credentials) {
        QCOMPARE(credentials->name, name);
        QCOMPARE(credentials->key, key);
    }
}

void BindingTest::lookupWalksAHundredThousandLines()
{
    constexpr int kLines = 100000;
    QString text;
    for (int i = 0; i < kLines; ++i)
        text += QStringLiteral("name%1,TV%1,key%1\r\n").arg(i);
    const QStringList lines = snbinding::splitLines(text);
    QCOMPARE(lines.size(), kLines + 1);

    auto last = snbinding::lookup(lines, QStringLiteral("TV99999"));
    QVERIFY(last);
    QCOMPARE(last->name, QStringLiteral("name99999"));
    QCOMPARE(last->key, QStringLiteral("key99999"));
    auto first = snbinding::lookup(lines, QStringLiteral("TV0"));
    QVERIFY(first);
    QCOMPARE(first->key, QStringLiteral("key0"));
    QVERIFY(!snbinding::lookup(lines, QStringLiteral("TV100000")));
}

void BindingTest::lookupSurvivesBinaryText()
{
    const QByteArray bytes = garbage(1 << 20);
    for (const QString &text :
         {QString::fromLocal8Bit(bytes), QString::fromUtf8(bytes), QString::fromLatin1(bytes)}) {
        const QStringList lines = snbinding::splitLines(text);
        QVERIFY(!snbinding::lookup(lines, QStringLiteral("TV2400001")));
        // A field of the garbage itself is found like any other, and name
        // and key come from the same line.
        for (const QString &line : lines) {
            const QStringList fields = line.split(QLatin1Char(','));
            if (fields.size() < 3 || fields.at(1).isEmpty())
                continue;
            const auto credentials = snbinding::lookup(lines, fields.at(1));
            QVERIFY(credentials);
            break;
        }
    }
}

void BindingTest::withBindingOffTypingOnlyUpdatesTheSerialNumber()
{
    const int entries = f->logMessages().size();
    QTest::keyClicks(f->ui().SNlineEdit, QStringLiteral("TV24"));
    QCOMPARE(f->session().wSN, QStringLiteral("TV24"));
    QCOMPARE(logSince(entries), QStringList());
}

void BindingTest::withoutFileEveryKeystrokeAsksForIt()
{
    bindingOn();
    const int entries = f->logMessages().size();
    QTest::keyClicks(f->ui().SNlineEdit, QStringLiteral("TV24"));
    QCOMPARE(logSince(entries), (QStringList{kNoFile, kNoFile, kNoFile, kNoFile}));
    QCOMPARE(f->session().wSN, QStringLiteral("TV24"));
}

void BindingTest::switchTicksTheThreeBoxesAndUntickingKeepsThem()
{
    auto &ui = f->ui();
    f->click(ui.checkBox_2); // a box ticked before stays ticked
    bindingOn();
    const quint16 bound =
        WriteBit::braudRate | WriteBit::mqttName | WriteBit::mqttCode | WriteBit::serialNumber;
    QCOMPARE(f->session().writeMask, bound);
    QVERIFY(ui.checkBox_8->isChecked());
    QVERIFY(ui.checkBox_14->isChecked());
    QVERIFY(ui.checkBox_15->isChecked());
    // Switching on looks nothing up by itself.
    QCOMPARE(f->logCount(kNoFile), 0);

    f->click(ui.checkBox_6);
    QVERIFY(!f->session().has(SessionState::snBinding));
    QCOMPARE(f->session().writeMask, bound);
    QVERIFY(ui.checkBox_8->isChecked());
    QVERIFY(ui.checkBox_14->isChecked());
    QVERIFY(ui.checkBox_15->isChecked());
    QTest::keyClicks(ui.SNlineEdit, QStringLiteral("TV"));
    QCOMPARE(f->logCount(kNoFile), 0);
}

void BindingTest::dialogLoadsFileAndRemembersItsFolder()
{
    const QString first = writeFile(QStringLiteral("lot1/binding.csv"), "n1,SN1,k1\r\n");
    const QString second = writeFile(QStringLiteral("lot2/binding.csv"), "n2,SN2,k2\n");
    const QString lot1 = QFileInfo(first).absolutePath();
    const QString lot2 = QFileInfo(second).absolutePath();

    // The folder remembered from an earlier run.
    {
        QSettings settings(settingsFilePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("snFilePath"), lot1);
    }
    f = std::make_unique<SimFixture>();
    QCOMPARE(f->probe->snFileDir(), lot1);

    const int entries = f->logMessages().size();
    FileDialogAnswer answer(second);
    openFile(answer);
    QCOMPARE(answer.caption, QStringLiteral("Open CSV File"));
    QCOMPARE(answer.filters, QStringList{QStringLiteral("CSV Files (*.*)")});
    QCOMPARE(answer.folder, lot1);
    QCOMPARE(f->probe->snBindingLines(), (QStringList{QStringLiteral("n2,SN2,k2"), QString()}));
    // Loading logs nothing and looks nothing up.
    QCOMPARE(logSince(entries), QStringList());
    QCOMPARE(f->probe->snFileDir(), lot2);
    QCOMPARE(QSettings(settingsFilePath(), QSettings::IniFormat)
                 .value(QStringLiteral("snFilePath"))
                 .toString(),
             lot2);

    // Next time, in this run and the next, the dialog opens where that file was.
    FileDialogAnswer again(first);
    openFile(again);
    QCOMPARE(again.folder, lot2);
    QCOMPARE(f->probe->snBindingLines().first(), QStringLiteral("n1,SN1,k1\r"));
    QCOMPARE(f->probe->snFileDir(), lot1);

    f = std::make_unique<SimFixture>();
    FileDialogAnswer nextRun{QString()};
    openFile(nextRun);
    QCOMPARE(nextRun.folder, lot1);
}

void BindingTest::cancelledDialogDropsTheOldLines()
{
    const QString path = writeFile(QStringLiteral("binding.csv"), "n1,SN1,k1\nn2,SN2,k2\n");
    QVERIFY(load(path));
    const QString folder = f->probe->snFileDir();
    const int entries = f->logMessages().size();

    FileDialogAnswer cancel{QString()};
    openFile(cancel);
    QCOMPARE(logSince(entries), QStringList{kOpenFailed});
    QCOMPARE(f->probe->snBindingFile(), QString());
    // Binding is unavailable, as the line says: the old lines are dropped too.
    // The folder stays for the next dialog.
    QVERIFY(f->probe->snBindingLines().isEmpty());
    QCOMPARE(f->probe->snFileDir(), folder);
    QCOMPARE(QSettings(settingsFilePath(), QSettings::IniFormat)
                 .value(QStringLiteral("snFilePath"))
                 .toString(),
             folder);
    bindingOn();
    f->ui().SNlineEdit->setText(QStringLiteral("SN2"));
    QVERIFY(f->ui().textEdit_4->toPlainText() != QStringLiteral("k2"));
    QVERIFY(f->logContains(QStringLiteral("请打开mqtt三要素文件")));
}

void BindingTest::vanishedFileLogsItsPathAndDropsTheOldLines()
{
    const QString kept = writeFile(QStringLiteral("kept/binding.csv"), "n1,SN1,k1\n");
    const QString gone = writeFile(QStringLiteral("gone/binding.csv"), "n2,SN2,k2\n");
    QVERIFY(load(kept));
    const int entries = f->logMessages().size();

    FileDialogAnswer answer(gone);
    answer.removeWhenChosen();
    openFile(answer);
    QVERIFY(!QFile::exists(gone));
    QCOMPARE(logSince(entries), QStringList{gone + kOpenFailed});
    QVERIFY(f->probe->snBindingLines().isEmpty());
    QCOMPARE(f->probe->snFileDir(), QFileInfo(kept).absolutePath());
}

void BindingTest::oversizedFileIsRefused()
{
    const QString kept = writeFile(QStringLiteral("binding.csv"), "n1,SN1,k1\n");
    QVERIFY(load(kept));

    // Just over 64 MiB, and sparse, so it costs no disk.
    const QString huge = writeFile(QStringLiteral("huge/binding.csv"), "n2,SN2,k2\n");
    {
        QFile file(huge);
        QVERIFY(file.resize(64 * 1024 * 1024 + 1));
    }
    const int entries = f->logMessages().size();
    FileDialogAnswer answer(huge);
    openFile(answer);
    QCOMPARE(logSince(entries), QStringList{huge + kOpenFailed});
    QVERIFY(f->probe->snBindingLines().isEmpty());
    QCOMPARE(f->probe->snFileDir(), QFileInfo(kept).absolutePath());
}

void BindingTest::deviceOrPipeIsRefusedWithoutHanging()
{
    // A device that never ends.
    const QString zero = QStringLiteral("/dev/zero");
    int entries = f->logMessages().size();
    FileDialogAnswer device(zero);
    openFile(device);
    QCOMPARE(logSince(entries), QStringList{zero + kOpenFailed});

    // A pipe that nobody writes to would not even open.
    const QString fifo = dir->filePath(QStringLiteral("binding.fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    entries = f->logMessages().size();
    FileDialogAnswer pipe(fifo);
    openFile(pipe);
    QCOMPARE(logSince(entries), QStringList{fifo + kOpenFailed});
    QVERIFY(f->probe->snBindingLines().isEmpty());
}

void BindingTest::binaryFileLoadsAndMatchesNothing()
{
    const QString path = writeFile(QStringLiteral("binding.bin"), garbage(256 * 1024));
    const int entries = f->logMessages().size();
    QVERIFY(load(path));
    QVERIFY(f->probe->snBindingLines().size() >= 2);
    bindingOn();
    f->ui().textEdit_4->setPlainText(QStringLiteral("velkr"));
    QTest::keyClicks(f->ui().SNlineEdit, QStringLiteral("TV2400001"));
    QCOMPARE(logSince(entries), QStringList());
    QCOMPARE(f->ui().textEdit_4->toPlainText(), QStringLiteral("velkr"));
}

void BindingTest::windowsLineEndsLeaveNoReturnInTheKey()
{
    const QString path = writeFile(QStringLiteral("binding.csv"),
                                   "dev-a,TV2400010,keyA\r\n\r\ndev-b,TV2400011,keyB\r\n");
    QVERIFY(load(path));
    auto &ui = f->ui();
    ui.textEdit_4->setPlainText(QStringLiteral("typed key"));
    ui.textEdit_5->setPlainText(QStringLiteral("typed name"));
    bindingOn();
    const int entries = f->logMessages().size();

    // Past the blank line, which has fewer than three fields.
    ui.SNlineEdit->setText(QStringLiteral("TV2400011"));
    QCOMPARE(logSince(entries),
             (QStringList{QStringLiteral("找到SN:TV2400011"), QStringLiteral("mqtt name:dev-b"),
                          QStringLiteral("mqtt code:keyB")}));
    QCOMPARE(ui.textEdit_4->toPlainText(), QStringLiteral("keyB"));
    QCOMPARE(ui.textEdit_5->toPlainText(), QStringLiteral("dev-b"));
    QCOMPARE(f->session().wMqttCode, QStringLiteral("keyB"));
    QCOMPARE(f->session().wMqttName, QStringLiteral("dev-b"));
    QCOMPARE(f->session().wSN, QStringLiteral("TV2400011"));
}

void BindingTest::firstMatchingLineWins()
{
    const QString path = writeFile(QStringLiteral("binding.csv"),
                                   "dev-a,TV1,keyA\ndev-b,TV2,keyB\ndev-c,TV1,keyC\n");
    QVERIFY(load(path));
    bindingOn();
    f->ui().SNlineEdit->setText(QStringLiteral("TV1"));
    QCOMPARE(f->ui().textEdit_4->toPlainText(), QStringLiteral("keyA"));
    QCOMPARE(f->ui().textEdit_5->toPlainText(), QStringLiteral("dev-a"));
    QCOMPARE(f->logCount(QStringLiteral("找到SN:TV1")), 1);
}

void BindingTest::blankOrCaseMakesADifferentSerialNumber()
{
    const QString path =
        writeFile(QStringLiteral("binding.csv"), "dev-a,TV1 ,keyA\ndev-b,tv2,keyB\n");
    QVERIFY(load(path));
    bindingOn();
    auto &ui = f->ui();
    ui.textEdit_4->setPlainText(QStringLiteral("velkr"));
    const int entries = f->logMessages().size();
    ui.SNlineEdit->setText(QStringLiteral("TV1"));
    ui.SNlineEdit->setText(QStringLiteral("TV2"));
    QCOMPARE(logSince(entries), QStringList());
    QCOMPARE(ui.textEdit_4->toPlainText(), QStringLiteral("velkr"));

    // Typed exactly as the file has it, each one matches.
    ui.SNlineEdit->setText(QStringLiteral("TV1 "));
    QCOMPARE(ui.textEdit_4->toPlainText(), QStringLiteral("keyA"));
    ui.SNlineEdit->setText(QStringLiteral("tv2"));
    QCOMPARE(ui.textEdit_4->toPlainText(), QStringLiteral("keyB"));
}

void BindingTest::headerLineIsMatchedLikeAnyLine()
{
    const QString path =
        writeFile(QStringLiteral("binding.csv"), "mqtt name,SN,mqtt code\r\ndev-a,TV1,keyA\r\n");
    QVERIFY(load(path));
    bindingOn();
    f->ui().SNlineEdit->setText(QStringLiteral("SN"));
    QCOMPARE(f->ui().textEdit_5->toPlainText(), QStringLiteral("mqtt name"));
    QCOMPARE(f->ui().textEdit_4->toPlainText(), QStringLiteral("mqtt code"));
}

void BindingTest::everyIntermediateTextIsLookedUp()
{
    const QString path =
        writeFile(QStringLiteral("binding.csv"), "dev-1,TV1,key1\ndev-12,TV12,key12\n");
    QVERIFY(load(path));
    bindingOn();
    const int entries = f->logMessages().size();
    QTest::keyClicks(f->ui().SNlineEdit, QStringLiteral("TV12"));
    QCOMPARE(logSince(entries),
             (QStringList{QStringLiteral("找到SN:TV1"), QStringLiteral("mqtt name:dev-1"),
                          QStringLiteral("mqtt code:key1"), QStringLiteral("找到SN:TV12"),
                          QStringLiteral("mqtt name:dev-12"), QStringLiteral("mqtt code:key12")}));
    QCOMPARE(f->ui().textEdit_4->toPlainText(), QStringLiteral("key12"));

    // Back to "TV1" by one keystroke: found and logged again.
    QTest::keyClick(f->ui().SNlineEdit, Qt::Key_Backspace);
    QCOMPARE(f->logCount(QStringLiteral("找到SN:TV1")), 2);
    QCOMPARE(f->ui().textEdit_4->toPlainText(), QStringLiteral("key1"));
}

void BindingTest::singleLineWithoutLineBreakCountsAsNoFile()
{
    const QString path = writeFile(QStringLiteral("one.csv"), "dev-a,TV1,keyA");
    QVERIFY(load(path));
    QCOMPARE(f->probe->snBindingLines().size(), 1);
    bindingOn();
    int entries = f->logMessages().size();
    f->ui().SNlineEdit->setText(QStringLiteral("TV1"));
    QCOMPARE(logSince(entries), QStringList{kNoFile});

    // The same line with its line break works.
    QVERIFY(load(writeFile(QStringLiteral("two.csv"), "dev-a,TV1,keyA\n")));
    entries = f->logMessages().size();
    f->ui().SNlineEdit->setText(QStringLiteral("TV"));
    f->ui().SNlineEdit->setText(QStringLiteral("TV1"));
    QCOMPARE(logSince(entries),
             (QStringList{QStringLiteral("找到SN:TV1"), QStringLiteral("mqtt name:dev-a"),
                          QStringLiteral("mqtt code:keyA")}));
}

void BindingTest::keyIsWrittenExactlyAsInTheFile()
{
    const QString path =
        writeFile(QStringLiteral("binding.csv"), "<i>dev</i>,TV1,<b>k&amp;1</b>\n");
    QVERIFY(load(path));
    bindingOn();
    f->ui().SNlineEdit->setText(QStringLiteral("TV1"));
    QCOMPARE(f->ui().textEdit_4->toPlainText(), QStringLiteral("<b>k&amp;1</b>"));
    QCOMPARE(f->ui().textEdit_5->toPlainText(), QStringLiteral("<i>dev</i>"));
    QVERIFY(f->logContains(QStringLiteral("mqtt code:<b>k&amp;1</b>")));
}

void BindingTest::boundSerialNumberIsWrittenAndVerified()
{
    const QString path =
        writeFile(QStringLiteral("binding.csv"),
                  "tv2400001,TV2400001,k7Qx2mPa9Lw4\r\ndev-0777,TV2400777,Kq77xZ\r\n");
    QVERIFY(f->connectManually());
    QVERIFY(f->waitIdle());
    QVERIFY(load(path));
    bindingOn();
    auto &ui = f->ui();
    QTest::keyClicks(ui.SNlineEdit, QStringLiteral("TV2400777"));
    QCOMPARE(ui.textEdit_5->toPlainText(), QStringLiteral("dev-0777"));
    QCOMPARE(ui.textEdit_4->toPlainText(), QStringLiteral("Kq77xZ"));
    QCOMPARE(f->session().writeMask,
             quint16(WriteBit::serialNumber | WriteBit::mqttName | WriteBit::mqttCode));

    // The next terminal's number is not in the file: the fields still hold the
    // credentials of TV2400777, which must not go into it.
    ui.SNlineEdit->setText(QStringLiteral("TV2400999"));
    const int entries = f->logMessages().size();
    f->click(ui.writeButton);
    QCOMPARE(logSince(entries),
             (QStringList{
                 QStringLiteral("SN:TV2400999 在SN绑定文件中没有对应的MQTT登录名和密钥,不能写入"),
                 QStringLiteral("批量写入未开始")}));
    QCOMPARE(f->session().writeStep, quint16(0));
    ui.SNlineEdit->setText(QStringLiteral("TV2400777"));

    f->recordSteps();
    f->click(ui.writeButton);
    QVERIFY(QTest::qWaitFor(
        [this] {
            const SessionState &s = f->session();
            return s.writeStep == kWriteStepDone && s.readStep >= kReadStepIdle &&
                   !s.has(SessionState::verifying);
        },
        60000));
    QStringList steps;
    for (const SimFixture::SentStep &step : f->sentSteps)
        steps << QString::number(step.selector) + QLatin1Char(' ') + step.text;
    QCOMPARE(steps, (QStringList{QStringLiteral("29 AT+SN=TV2400777"),
                                 QStringLiteral("35 AT+PKEY=dev-0777,"),
                                 QStringLiteral("36 AT+BEAT=Kq77xZ,"), QStringLiteral("16 AT+SN?"),
                                 QStringLiteral("22 AT+PKEY?"), QStringLiteral("23 AT+BEAT?")}));
    QCOMPARE(f->logMessages().last(), QStringLiteral("批量写入成功\r\n"));
    QCOMPARE(f->boxes.count(), 0);
    QCOMPARE(f->sim.state().serialNumber, QStringLiteral("TV2400777"));
    QCOMPARE(f->sim.state().mqttLoginName, QStringLiteral("dev-0777"));
    QCOMPARE(f->sim.state().mqttKey, QStringLiteral("Kq77xZ"));
    QCOMPARE(ui.lineEdit->text(), QStringLiteral("TV2400777"));
}

// The file dialog is Qt's own, never the desktop's, so that a test can answer it.
int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    BindingTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_binding.moc"
