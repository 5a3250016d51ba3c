// SN binding as a technician who provisions terminals uses it: open the
// binding file, switch binding on, type a serial number and see the MQTT
// login name and key appear in "修改参数", then write all three.

#include "FileDialogAnswer.h"
#include "SimFixture.h"
#include "TestSettings.h"
#include "app/settingsfile.h"
#include "binding/filetext.h"
#include "binding/snlookup.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <iconv.h>
#include <memory>
#include <sys/stat.h>

namespace {

const QString kOpenFailed = QStringLiteral("CSV文件打开失败 功能不可用");
const QString kNoFile = QStringLiteral("请打开mqtt三要素文件");

// The code page of a Chinese Windows, read with the C library's own converter.
QString fromGbk(const QByteArray &bytes)
{
    QByteArray in = bytes, out(bytes.size() * 2, '\0');
    char *from = in.data(), *to = out.data();
    size_t fromLeft = size_t(in.size()), toLeft = size_t(out.size());
    const iconv_t gbk = iconv_open("UTF-8", "GBK");
    iconv(gbk, &from, &fromLeft, &to, &toLeft);
    iconv_close(gbk);
    return QString::fromUtf8(out.constData(), int(to - out.constData()));
}

} // namespace

class BindingTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimFixture> f;
    QTemporaryDir dir;

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        if (!writeFile(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // Clicks "打开SN绑定文件" and answers the dialog with path (Cancel if empty).
    void open(FileDialogAnswer &&answer)
    {
        f->click(f->ui().pushButton_5);
        QVERIFY(answer.seen);
    }

private slots:
    void initTestCase() { isolateSettings(); }
    void init()
    {
        QFile::remove(settingsFilePath());
        f = std::make_unique<SimFixture>();
    }
    void cleanup() { f.reset(); }

    void lookupTakesTheFirstExactMatch_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("sn");
        QTest::addColumn<QString>("found"); // "<name>|<key>"
        const auto row = [](const char *name, const QByteArray &file, const char *sn,
                            const char *found) {
            QTest::newRow(name) << file << QString(sn) << QString(found);
        };
        row("across Windows line ends and a blank line", "n1,SN1,k1\r\n\r\nn2,SN2,k2\r\n", "SN2",
            "n2|k2");
        row("the first of two", "n1,SN1,k1\nn9,SN1,k9\n", "SN1", "n1|k1");
        row("not with a trailing blank", "n1,SN1 ,k1\n", "SN1", "");
        row("not in another letter case", "n1,sn1,k1\n", "SN1", "");
        row("not by a prefix", "n1,SN12,k1\n", "SN1", "");
        row("not in a line of two fields", "n1,SN1\r\n", "SN1\r", "");
        row("past further fields", "n1,SN1,k1,x\n", "SN1", "n1|k1");
        row("not with the key left blank", "n1,SN1,\nn2,SN1,k2\n", "SN1", "n2|k2");
        row("not with the name left blank", ",SN1,k1\n", "SN1", "");
        row("without control characters", "n\t1\r,SN1,k\t1\r\n", "SN1", "n1|k1");
        row("a header like any line", "name,sn,key\nn1,SN1,k1\n", "sn", "name|key");
        row("in UTF-8", "设备,SN1,k1\n", "SN1", "设备|k1");
        row("in UTF-8 behind a byte-order mark", "\xEF\xBB\xBF设备,SN1,k1\n", "SN1", "设备|k1");
        row("in GBK", "\xC9\xE8\xB1\xB8,SN1,k1\n", "SN1", "设备|k1"); // not UTF-8
        // Zeros, line ends, invalid UTF-8, "+", ":" and ",": a corrupt file.
        row("nothing in binary junk", QByteArray::fromHex("00ff0d0a2b3a2cfe41e9bf").repeated(25000),
            "SN-02", "");
        QByteArray lines;
        for (int i = 0; i < 100000; ++i)
            lines +=
                QStringLiteral("dev-%1,TV%1,k%1x\r\n").arg(i, 6, 10, QLatin1Char('0')).toLatin1();
        row("after 100,000 lines", lines + "\xc3\xfb\xb3\xc6,SN-02,key\xb1\xea\r\n", "SN-02",
            "名称|key标");
    }
    void lookupTakesTheFirstExactMatch()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, sn);
        QFETCH(QString, found);
        const QStringList lines = snbinding::splitLines(snbinding::decodeFileText(file, fromGbk));
        const auto credentials = snbinding::lookup(lines, sn);
        QCOMPARE(credentials ? credentials->name + QLatin1Char('|') + credentials->key : QString(),
                 found);
    }

    // Switching binding on ticks the SN, login name and key (a box ticked
    // before stays), switching it off leaves them; without a file every
    // keystroke asks for one.
    void switchingBindingOnTicksItsBoxesAndAsksForAFile()
    {
        auto &ui = f->ui();
        const int count = f->logMessages().size();
        QTest::keyClicks(ui.SNlineEdit, QStringLiteral("TV"));
        f->click(ui.checkBox_2);
        f->click(ui.checkBox_6);
        QTest::keyClicks(ui.SNlineEdit, QStringLiteral("24"));
        f->click(ui.checkBox_6);
        QTest::keyClicks(ui.SNlineEdit, QStringLiteral("0"));
        QCOMPARE(f->logSince(count), (QStringList{kNoFile, kNoFile}));
        QVERIFY(ui.checkBox_2->isChecked() && ui.checkBox_8->isChecked() &&
                ui.checkBox_14->isChecked() && ui.checkBox_15->isChecked());
    }

    void anUnreadableFileDropsTheOldLinesAndKeepsTheFolder_data()
    {
        QTest::addColumn<QString>("path");  // empty: the dialog cancelled
        QTest::addColumn<bool>("vanishes"); // between the choice and the window opening it
        const QString oversized = write(QStringLiteral("oversized/binding.csv"), "n2,SN2,k2\n");
        QFile::resize(oversized, 64 * 1024 * 1024 + 1); // sparse: costs no disk
        const QString pipe = dir.filePath(QStringLiteral("binding.fifo"));
        if (!QFile::exists(pipe) && ::mkfifo(QFile::encodeName(pipe).constData(), 0600) != 0)
            qFatal("cannot make %s", qPrintable(pipe));
        QTest::newRow("the dialog cancelled") << QString() << false;
        QTest::newRow("a file gone when chosen")
            << write(QStringLiteral("vanished/binding.csv"), "n2,SN2,k2\n") << true;
        QTest::newRow("a file over 64 MiB") << oversized << false;
        QTest::newRow("a device that never ends") << QStringLiteral("/dev/zero") << false;
        QTest::newRow("a pipe nobody writes to") << pipe << false; // does not even open
    }
    // A file that cannot be read makes binding unavailable, as the line says:
    // the lines of the file opened before are dropped too. The folder stays,
    // for the next dialog and in the settings.
    void anUnreadableFileDropsTheOldLinesAndKeepsTheFolder()
    {
        QFETCH(QString, path);
        QFETCH(bool, vanishes);
        const QString kept = write(QStringLiteral("绑定/binding.csv"), "n1,SN1,k1\n");
        FileDialogAnswer first(kept);
        open(std::move(first));
        QCOMPARE(first.caption + first.filters.join(QString()),
                 QStringLiteral("Open CSV FileCSV Files (*.*)"));
        const QString folder = QFileInfo(kept).absolutePath();
        // The dialog opens there next time, also in the next run; written as Qt 6 writes it.
        QVERIFY(readFile(settingsFilePath()).contains("snFilePath=" + folder.toUtf8()));
        FileDialogAnswer answer(path);
        if (vanishes)
            answer.removeWhenChosen();
        const int count = f->logMessages().size();
        open(std::move(answer));
        f->click(f->ui().checkBox_6);
        QTest::keyClicks(f->ui().SNlineEdit, QStringLiteral("SN1"));
        QCOMPARE(f->logSince(count), (QStringList{path + kOpenFailed, kNoFile, kNoFile, kNoFile}));
        FileDialogAnswer next{QString()};
        open(std::move(next));
        QCOMPARE(
            answer.folder + next.folder +
                SettingsFile(settingsFilePath()).value(QStringLiteral("snFilePath")).toString(),
            folder + folder + folder);
    }

    // Found, the name and key are written and verified with the SN, exactly
    // as the file has them.
    void boundSerialNumberIsWrittenAndVerified()
    {
        QVERIFY(f->connectManually() && f->waitIdle());
        open(FileDialogAnswer(
            write(QStringLiteral("binding.csv"),
                  "tv2400001,TV2400001,k7Qx2mPa9Lw4\r\ndev-0777,TV2400777,Kq&amp;77\r\n")));
        f->click(f->ui().checkBox_6);
        QTest::keyClicks(f->ui().SNlineEdit, QStringLiteral("TV2400777"));
        QCOMPARE(f->logMessages().mid(f->logMessages().size() - 3),
                 (QStringList{"找到SN:TV2400777", "mqtt name:dev-0777", "mqtt code:Kq&amp;77"}));
        f->recordSteps();
        f->click(f->ui().writeButton);
        QVERIFY(f->waitIdle());
        QCOMPARE(f->steps().join(QLatin1Char('|')),
                 QStringLiteral("29 AT+SN=TV2400777|35 AT+PKEY=dev-0777,|36 AT+BEAT=Kq&amp;77,|"
                                "16 AT+SN?|22 AT+PKEY?|23 AT+BEAT?"));
        QCOMPARE(f->logMessages().last(), QStringLiteral("批量写入成功\r\n"));
        // Only that the key was written goes into the record, and whence.
        QVERIFY(QString::fromUtf8(readFile(f->probe->recordPath()))
                    .endsWith(QStringLiteral(",TV2400777,,,,,,,,dev-0777,已写入,TV2400777,成功,,"
                                             "binding.csv\r\n")));
    }
};

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
