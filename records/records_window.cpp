#include "app/ZorvikTestTool.h"

#include "binding/snlookup.h"
#include "records/recordfile.h"
#include "records/recordlookup.h"
#include "session/parameters.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

// The provisioning record (one CSV line per batch write) and the daily log
// file (every entry of the log window). Both live in the user's data folder;
// neither may ever stop a write or the window: what cannot be written is said
// once in the log window and the tool goes on.

namespace {

constexpr int kLogFileFlushMs = 1000; // entries reach the log file in batches
constexpr int kLogKeepDays = 90;
// A terminal that streams its own log at a high baud rate writes 90 to 135 MB
// an hour; a day of provisioning writes a few MB. One day's file stops at
// about an hour of such a stream, the folder at ten such days, so that a
// forgotten log switch cannot fill the disk.
constexpr qint64 kMaxLogFileBytes = 100LL * 1024 * 1024;
constexpr qint64 kMaxLogFolderBytes = 1024LL * 1024 * 1024;
// Entries that the log file refused wait for the next save that works, up to
// this much (a few minutes of such a stream); beyond it the oldest are dropped.
constexpr int kMaxUnsavedLogBytes = 4 * 1024 * 1024;

const QString kRecordFileName = QStringLiteral("provisioning.csv");
const QString kLogFolderName = QStringLiteral("logs");

QStringList recordHeader()
{
    QStringList header{QStringLiteral("时间"), QStringLiteral("端口"), QStringLiteral("波特率"),
                       QStringLiteral("站号"), QStringLiteral("SN")};
    for (int i = 0; i < parameters::kCount; ++i)
        header << QStringLiteral("写入") + QString::fromUtf8(parameters::table()[i].name);
    header << QStringLiteral("结果") << QStringLiteral("说明") << QStringLiteral("SN绑定文件");
    return header;
}

// The record as it stands on disk; empty while there is none.
QByteArray readWhole(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void ZorvikTestTool::openRecords(bool logFileWanted)
{
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    recordPath = dataDir + QLatin1Char('/') + kRecordFileName;
    logFolder = dataDir + QLatin1Char('/') + kLogFolderName;
    logFileOn = logFileWanted;

    logFileTimer.setSingleShot(true);
    logFileTimer.setInterval(kLogFileFlushMs);
    connect(&logFileTimer, &QTimer::timeout, this, &ZorvikTestTool::flushLogFile);

    if (!logFileOn)
        return;
    logFileDay = QDate::currentDate();
    removeOldLogFiles();
}

// Runs at start and with the first entry of every new day: the tool may stay
// open for weeks.
void ZorvikTestTool::removeOldLogFiles()
{
    QDir logs(logFolder);
    QVector<records::DayFile> files;
    for (const QFileInfo &file : logs.entryInfoList(QDir::Files))
        files.append({file.fileName(), file.size()});
    const QStringList expired =
        records::expiredLogFiles(files, logFileDay, kLogKeepDays, kMaxLogFolderBytes);
    for (const QString &name : expired)
        logs.remove(name);
}

// The value of each parameter of the write as the record shows it, empty for
// those whose command did not go out. The MQTT key is a secret that the
// binding file already holds: only the fact that it was written goes into the
// record.
QStringList ZorvikTestTool::recordedValues() const
{
    const WriteSnapshot &write = session.snapshot;
    QStringList values;
    for (int i = 0; i < parameters::kCount; ++i) {
        const parameters::Parameter &p = parameters::table()[i];
        if ((write.sentMask & p.bit) == 0)
            values << QString();
        else if (p.bit == WriteBit::mqttCode)
            values << QStringLiteral("已写入");
        else
            values << write.value(p.bit);
    }
    return values;
}

// The credentials came from the binding file when it holds exactly the name
// and key to be written for this serial number.
QString ZorvikTestTool::recordedBindingFile(const WriteSnapshot &write) const
{
    if (!session.has(SessionState::snBinding) ||
        (write.mask & (WriteBit::mqttName | WriteBit::mqttCode)) == 0)
        return QString();
    const auto found = snbinding::lookup(snBindingLines, write.value(WriteBit::serialNumber));
    const bool same =
        found &&
        (!(write.mask & WriteBit::mqttName) || found->name == write.value(WriteBit::mqttName)) &&
        (!(write.mask & WriteBit::mqttCode) || found->key == write.value(WriteBit::mqttCode));
    return same ? QFileInfo(snBindingFile).fileName() : QString();
}

// A serial number that the record shows written successfully before is said
// in the log and asked about; "No", the default, keeps it from going out.
// The record lines not saved yet count too.
bool ZorvikTestTool::repeatedSerialNumberAllowed(const QString &sn, bool *repeated)
{
    *repeated = false;
    if (sn.isEmpty())
        return true;
    const QString record = QString::fromUtf8(readWhole(recordPath) + unsavedRecord);
    const QStringList times = records::successfulWrites(record, recordHeader(), sn);
    if (times.isEmpty())
        return true;
    const QString said =
        QStringLiteral("SN:") + sn + QStringLiteral(" 已于") + times.last() +
        QStringLiteral("写入成功") +
        (times.size() > 1 ? QStringLiteral("（共%1次）").arg(times.size()) : QString());
    appendLog(said);
    const auto answer = QMessageBox::question(nullptr, QStringLiteral("SN重复"),
                                              said + QStringLiteral("\r\n是否再次写入该SN？"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    *repeated = answer == QMessageBox::Yes;
    return *repeated;
}

void ZorvikTestTool::beginRecordedWrite()
{
    if (writePending)
        recordWriteInterrupted(QStringLiteral("重新批量写入"));
    writePending = true;
}

void ZorvikTestTool::recordWriteVerdict(quint16 failed)
{
    if (!writePending)
        return;
    QStringList names;
    for (int i = 0; i < parameters::kCount; ++i) {
        if (failed & parameters::table()[i].bit)
            names << QString::fromUtf8(parameters::table()[i].name);
    }
    appendRecord(failed ? QStringLiteral("失败") : QStringLiteral("成功"),
                 names.join(QStringLiteral("、")), true);
}

void ZorvikTestTool::recordWriteInterrupted(const QString &why)
{
    if (writePending)
        appendRecord(QStringLiteral("中断"), why, false);
}

void ZorvikTestTool::appendRecord(const QString &verdict, const QString &note, bool readBack)
{
    writePending = false;
    const WriteSnapshot &write = session.snapshot;

    // The terminal's own answer in the read-back names it best; a serial
    // number that was not read back is the one that was written.
    QString sn;
    if (readBack && (session.answeredMask & WriteBit::serialNumber))
        sn = parameters::find(WriteBit::serialNumber)->readBack(ui, session);
    else if (write.sentMask & WriteBit::serialNumber)
        sn = write.value(WriteBit::serialNumber);

    const QString bindingFile = (write.sentMask & (WriteBit::mqttName | WriteBit::mqttCode))
                                    ? write.bindingFile
                                    : QString();
    QStringList notes;
    if (write.repeated)
        notes << QStringLiteral("重复写入");
    if (!note.isEmpty())
        notes << note;

    QStringList fields{QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                       session.comName, QString::number(session.braudRate),
                       QString::number(session.devAddress), sn};
    fields << recordedValues() << verdict << notes.join(QStringLiteral("；")) << bindingFile;

    unsavedRecord += records::csvLine(fields);
    if (saveRecord() && !recordPathShown) {
        recordPathShown = true;
        appendLog(QStringLiteral("写入记录保存在：") + QDir::toNativeSeparators(recordPath));
    }
}

// Writes the record lines not saved yet, those that another program kept out
// before (a spreadsheet holding the file) included, in one piece.
bool ZorvikTestTool::saveRecord()
{
    const QString reason =
        records::appendWhole(recordPath, unsavedRecord, records::csvFileStart(recordHeader()));
    reportSaveResult(recordFault, QStringLiteral("写入记录"), recordPath, reason);
    if (!reason.isEmpty())
        return false;
    unsavedRecord.clear();
    return true;
}

// Record lines that cannot reach the record by the time the tool closes are
// the proof of work done: they go to a file of their own beside it, and the
// technician is told where.
void ZorvikTestTool::keepRecordApart()
{
    const QString apart = QFileInfo(recordPath).absolutePath() +
                          QStringLiteral("/provisioning-unsaved-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
                          QStringLiteral(".csv");
    const QString reason =
        records::appendWhole(apart, unsavedRecord, records::csvFileStart(recordHeader()));
    const QString lost = QStringLiteral("写入记录 %1 无法写入（%2），")
                             .arg(QDir::toNativeSeparators(recordPath), recordFault);
    const QString text =
        reason.isEmpty()
            ? lost + QStringLiteral("未保存的记录已另存为：\r\n") + QDir::toNativeSeparators(apart)
            : lost + QStringLiteral("未保存的记录也无法另存为 %1（%2）。")
                         .arg(QDir::toNativeSeparators(apart), reason);
    appendLog(text);
    QMessageBox::information(nullptr, QStringLiteral("写入记录未能保存"), text, QMessageBox::Ok,
                             QMessageBox::NoButton);
}

// Every entry of the log window, stamped as in the window, waits here for the
// next batch to the file of its day.
void ZorvikTestTool::keepLogEntry(const QString &entry, const QDate &day)
{
    if (day != logFileDay) {
        flushLogFile();
        logFileDay = day;
        removeOldLogFiles();
    }
    logFileBuffer += entry.toUtf8();
    logFileBuffer += "\r\n";
    // Cut in one go, not line by line: the buffer is megabytes by then.
    if (logFileBuffer.size() > kMaxUnsavedLogBytes)
        droppedLogLines += records::dropOldestLines(logFileBuffer, kMaxUnsavedLogBytes / 4 * 3);
    if (!logFileTimer.isActive())
        logFileTimer.start();
}

// Entries stay in the buffer until the file has them: a failed save keeps
// them for the next one. Those of a day that ended meanwhile go into the file
// of the day of that save, with their own dates.
void ZorvikTestTool::flushLogFile()
{
    logFileTimer.stop();
    if (logFileBuffer.isEmpty())
        return;
    const int taken = logFileBuffer.size();
    QByteArray bytes = logFileBuffer;
    if (droppedLogLines > 0) {
        bytes.prepend(
            (logStamp + QStringLiteral("日志文件无法保存期间丢弃了%1行日志").arg(droppedLogLines))
                .toUtf8() +
            "\r\n");
    }
    const QString path = logFolder + QLatin1Char('/') + records::logFileName(logFileDay);
    const QByteArray capLine =
        (logStamp + QStringLiteral("日志文件已达当天上限（%1 MB），当天其余日志不再写入文件")
                        .arg(kMaxLogFileBytes / (1024 * 1024)))
            .toUtf8() +
        "\r\n";
    bytes = records::cappedLogBatch(QFileInfo(path).size(), bytes, kMaxLogFileBytes, capLine);
    const QString reason = bytes.isEmpty() ? QString() : records::appendWhole(path, bytes);
    if (reason.isEmpty()) {
        logFileBuffer.remove(0, taken);
        droppedLogLines = 0;
    }
    // Its lines are entries themselves, for the next save.
    reportSaveResult(logFileFault, QStringLiteral("日志文件"), path, reason);
}

// One line when a file stops being saved (and when the reason changes), one
// when it is saved again: a file held open by a spreadsheet would otherwise
// add a line to every write, or to every log batch.
void ZorvikTestTool::reportSaveResult(QString &fault, const QString &what, const QString &path,
                                      const QString &reason)
{
    if (reason == fault)
        return;
    fault = reason;
    if (reason.isEmpty())
        appendLog(what + QStringLiteral("已恢复保存：") + QDir::toNativeSeparators(path));
    else
        appendLog(what + QStringLiteral("未能保存：") + QDir::toNativeSeparators(path) +
                  QStringLiteral("（") + reason + QStringLiteral("）"));
}

// Closing the window ends a write without its verdict; entries still waiting
// for the log file go out now.
void ZorvikTestTool::closeRecords()
{
    recordWriteInterrupted(QStringLiteral("程序退出"));
    if (!unsavedRecord.isEmpty() && !saveRecord())
        keepRecordApart();
    flushLogFile();
}
