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

QString savedFolder()
{
    return SettingsFile(settingsFilePath()).value(QStringLiteral("snFilePath")).toString();
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

    // Loads a file, switches binding on and types sn key by key.
    void type(const QByteArray &file, const QString &sn)
    {
        open(FileDialogAnswer(write(QStringLiteral("binding.csv"), file)));
        f->click(f->ui().checkBox_6);
        QTest::keyClicks(f->ui().SNlineEdit, sn);
    }

    QStringList logSince(int count) const { return f->logMessages().mid(count); }

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
        const auto row = [](const char *name, const char *file, const char *sn, const char *found) {
            QTest::newRow(name) << QByteArray(file) << QString(sn) << QString(found);
        };
        row("windows line ends, blank line", "n1,SN1,k1\r\n\r\nn2,SN2,k2\r\n", "SN2", "n2|k2");
        row("first of two", "n1,SN1,k1\nn9,SN1,k9\n", "SN1", "n1|k1");
        row("trailing blank", "n1,SN1 ,k1\n", "SN1", "");
        row("letter case", "n1,sn1,k1\n", "SN1", "");
        row("prefix", "n1,SN12,k1\n", "SN1", "");
        row("two fields", "n1,SN1\r\n", "SN1\r", "");
        row("further fields", "n1,SN1,k1,x\n", "SN1", "n1|k1");
        row("controls", "n\t1\r,SN1,k\t1\r\n", "SN1", "n1|k1");
        row("header", "name,sn,key\nn1,SN1,k1\n", "sn", "name|key");
        row("UTF-8", "设备,SN1,k1\n", "SN1", "设备|k1");
        row("UTF-8 with a byte-order mark", "\xEF\xBB\xBF设备,SN1,k1\n", "SN1", "设备|k1");
        row("GBK", "\xC9\xE8\xB1\xB8,SN1,k1\n", "SN1", "设备|k1"); // not UTF-8
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
    void switchTicksTheBoxes()
    {
        auto &ui = f->ui();
        const int count = f->logMessages().size();
        QTest::keyClicks(ui.SNlineEdit, QStringLiteral("TV"));
        f->click(ui.checkBox_2);
        f->click(ui.checkBox_6);
        QTest::keyClicks(ui.SNlineEdit, QStringLiteral("24"));
        f->click(ui.checkBox_6);
        QVERIFY(!f->session().has(SessionState::snBinding));
        QTest::keyClicks(ui.SNlineEdit, QStringLiteral("0"));
        QCOMPARE(f->session().wSN, QStringLiteral("TV240"));
        QCOMPARE(logSince(count), (QStringList{kNoFile, kNoFile}));
        QCOMPARE(f->session().writeMask, quint16(WriteBit::braudRate | WriteBit::mqttName |
                                                 WriteBit::mqttCode | WriteBit::serialNumber));
        QVERIFY(ui.checkBox_8->isChecked() && ui.checkBox_14->isChecked() &&
                ui.checkBox_15->isChecked());
    }

    void refusedFileDropsTheOldLines_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"cancelled", "vanished", "oversized", "device", "pipe"})
            QTest::newRow(kind) << kind;
    }
    // A file that cannot be read makes binding unavailable, as the line says:
    // the lines of the file opened before are dropped too. The folder stays.
    void refusedFileDropsTheOldLines()
    {
        QFETCH(QString, kind);
        const QString kept = write(QStringLiteral("绑定/binding.csv"), "n1,SN1,k1\n");
        FileDialogAnswer first(kept);
        open(std::move(first));
        QCOMPARE(first.caption + first.filters.join(QString()),
                 QStringLiteral("Open CSV FileCSV Files (*.*)"));
        const QString folder = QFileInfo(kept).absolutePath();
        // The dialog opens there next time, also in the next run; written as Qt 6 writes it.
        QVERIFY(readFile(settingsFilePath()).contains("snFilePath=" + folder.toUtf8()));
        QString path = write(kind + QStringLiteral("/binding.csv"), "n2,SN2,k2\n");
        if (kind == QLatin1String("cancelled"))
            path.clear();
        else if (kind == QLatin1String("oversized")) // sparse: costs no disk
            QVERIFY(QFile::resize(path, 64 * 1024 * 1024 + 1));
        else if (kind == QLatin1String("device"))
            path = QStringLiteral("/dev/zero"); // never ends
        else if (kind == QLatin1String("pipe")) // does not even open while nobody writes
            QCOMPARE(::mkfifo(QFile::encodeName(path = dir.filePath(kind + QStringLiteral(".fifo")))
                                  .constData(),
                              0600),
                     0);
        FileDialogAnswer answer(path);
        if (kind == QLatin1String("vanished"))
            answer.removeWhenChosen();
        const int count = f->logMessages().size();
        open(std::move(answer));
        QCOMPARE(logSince(count), QStringList{path + kOpenFailed});
        QVERIFY(f->probe->snBindingLines().isEmpty());
        QCOMPARE(answer.folder + f->probe->snFileDir() + savedFolder(), folder + folder + folder);
    }

    // Found, the name and key are written and verified with the SN, exactly
    // as the file has them.
    void boundSerialNumberIsWrittenAndVerified()
    {
        QVERIFY(f->connectManually() && f->waitIdle());
        type("tv2400001,TV2400001,k7Qx2mPa9Lw4\r\ndev-0777,TV2400777,Kq&amp;77\r\n",
             QStringLiteral("TV2400777"));
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
