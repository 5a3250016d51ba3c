#include "app/ZorvikTestTool.h"

#include "binding/snlookup.h"
#include "records/recordfile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

// The provisioning record (one CSV line per batch write) and the daily log
// file (every entry of the log window). Both live in the user's data folder;
// neither may ever stop a write or the window: what cannot be written is said
// once in the log window and the tool goes on.

namespace {

constexpr int kLogFileFlushMs = 1000; // entries reach the log file in batches
constexpr int kLogKeepDays = 90;

const QString kRecordFileName = QStringLiteral("provisioning.csv");
const QString kLogFolderName = QStringLiteral("logs");

// The parameters of a batch write, in bit order, as the record names them.
struct RecordColumn
{
    quint16 bit;
    const char *name;
};
const RecordColumn kParameterColumns[] = {
    {WriteBit::devAddress, "写入站号"},
    {WriteBit::braudRate, "写入波特率"},
    {WriteBit::srvProtocol, "写入服务器通信协议"},
    {WriteBit::devType, "写入设备类型"},
    {WriteBit::upDataInterval, "写入上传间隔"},
    {WriteBit::srvAddr, "写入服务器地址"},
    {WriteBit::srvPort, "写入服务器端口"},
    {WriteBit::mqttName, "写入MQTT登录名"},
    {WriteBit::mqttCode, "写入MQTT登录密钥"},
    {WriteBit::serialNumber, "写入SN"},
};

QStringList recordHeader()
{
    QStringList header{QStringLiteral("时间"), QStringLiteral("端口"), QStringLiteral("波特率"),
                       QStringLiteral("站号"), QStringLiteral("SN")};
    for (const RecordColumn &column : kParameterColumns)
        header << QString::fromUtf8(column.name);
    header << QStringLiteral("结果") << QStringLiteral("说明") << QStringLiteral("SN绑定文件");
    return header;
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
    QDir logs(logFolder);
    const QStringList expired =
        records::expiredLogFiles(logs.entryList(QDir::Files), QDate::currentDate(), kLogKeepDays);
    for (const QString &name : expired)
        logs.remove(name);
}

// The value of each parameter of the write as the record shows it. The MQTT
// key is a secret that the binding file already holds: only the fact that it
// was written goes into the record.
QStringList ZorvikTestTool::recordedValues() const
{
    QStringList values;
    for (const RecordColumn &column : kParameterColumns) {
        if (!session.masked(column.bit)) {
            values << QString();
            continue;
        }
        switch (column.bit) {
        case WriteBit::devAddress:
            values << ui.readAddress_3->text();
            break;
        case WriteBit::braudRate:
            values << ui.BraudRate_3->currentText();
            break;
        case WriteBit::srvProtocol:
            values << ui.BraudRate_4->currentText();
            break;
        case WriteBit::devType:
            values << ui.BraudRate_10->currentText();
            break;
        case WriteBit::upDataInterval:
            values << ui.readAddress_5->text();
            break;
        case WriteBit::srvAddr:
            values << ui.textEdit_2->toPlainText();
            break;
        case WriteBit::srvPort:
            values << ui.textEdit_3->toPlainText();
            break;
        case WriteBit::mqttName:
            values << ui.textEdit_5->toPlainText();
            break;
        case WriteBit::mqttCode:
            values << QStringLiteral("已写入");
            break;
        default:
            values << ui.SNlineEdit->text();
            break;
        }
    }
    return values;
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
    for (const RecordColumn &column : kParameterColumns) {
        if (failed & column.bit)
            names << QString::fromUtf8(column.name).mid(2); // without "写入"
    }
    appendRecord(failed ? QStringLiteral("失败") : QStringLiteral("成功"),
                 names.join(QStringLiteral("、")));
}

void ZorvikTestTool::recordWriteInterrupted(const QString &why)
{
    if (writePending)
        appendRecord(QStringLiteral("中断"), why);
}

void ZorvikTestTool::appendRecord(const QString &verdict, const QString &note)
{
    writePending = false;

    // The terminal's own answer names it best; a serial number that was not
    // read back is the one that was written.
    const bool snWritten = session.masked(WriteBit::serialNumber);
    QString sn;
    if (snWritten)
        sn = ui.SNlineEdit->text();

    // The credentials came from the binding file when it holds exactly the
    // name and key that were written for this serial number.
    QString bindingFile;
    if (session.has(SessionState::snBinding) &&
        session.masked(WriteBit::mqttName | WriteBit::mqttCode)) {
        const auto found = snbinding::lookup(snBindingLines, ui.SNlineEdit->text());
        if (found &&
            (!session.masked(WriteBit::mqttName) || found->name == ui.textEdit_5->toPlainText()) &&
            (!session.masked(WriteBit::mqttCode) || found->key == ui.textEdit_4->toPlainText()))
            bindingFile = QFileInfo(snBindingFile).fileName();
    }

    QStringList fields{QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                       session.comName, QString::number(session.braudRate),
                       QString::number(session.devAddress), sn};
    fields << recordedValues() << verdict << note << bindingFile;

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
    if (!reason.isEmpty()) {
        reportRecordFault(QStringLiteral("写入记录未能保存："), recordPath, reason);
        return false;
    }
    unsavedRecord.clear();
    return true;
}

// Every entry of the log window, stamped as in the window, waits here for the
// next batch to the file of its day.
void ZorvikTestTool::keepLogEntry(const QString &entry, const QDate &day)
{
    if (day != logFileDay) {
        flushLogFile();
        logFileDay = day;
    }
    logFileBuffer += entry.toUtf8();
    logFileBuffer += "\r\n";
    if (!logFileTimer.isActive())
        logFileTimer.start();
}

void ZorvikTestTool::flushLogFile()
{
    logFileTimer.stop();
    if (logFileBuffer.isEmpty())
        return;
    // Taken first: the report of a failure is an entry itself.
    const QByteArray bytes = logFileBuffer;
    logFileBuffer.clear();
    const QString path = logFolder + QLatin1Char('/') + records::logFileName(logFileDay);
    const QString reason = records::appendWhole(path, bytes);
    if (!reason.isEmpty())
        reportRecordFault(QStringLiteral("日志文件未能保存："), path, reason);
}

// One line per cause and run: a file held open by a spreadsheet would
// otherwise add a line to every write, or to every log batch.
void ZorvikTestTool::reportRecordFault(const QString &what, const QString &path,
                                       const QString &reason)
{
    const QString cause = what + reason;
    if (reportedRecordFaults.contains(cause))
        return;
    reportedRecordFaults.insert(cause);
    appendLog(what + QDir::toNativeSeparators(path) + QStringLiteral("（") + reason +
              QStringLiteral("）"));
}

// Closing the window ends a write without its verdict; entries still waiting
// for the log file go out now.
void ZorvikTestTool::closeRecords()
{
    recordWriteInterrupted(QStringLiteral("程序退出"));
    if (!unsavedRecord.isEmpty())
        saveRecord();
    flushLogFile();
}
