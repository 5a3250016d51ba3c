#include "records/recordfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QStorageInfo>

#include <algorithm>

namespace records {

namespace {
// Another copy of the tool holds the lock only for one write; a lock held
// longer than this belongs to a copy that hangs, and the write is given up.
constexpr int kLockWaitMs = 2000;
// After a failed write, less free space than this (beyond the bytes of the
// write) means the full disk is what stopped it.
constexpr qint64 kNearlyFullBytes = 1024 * 1024;
const QString kLogSuffix = QStringLiteral(".log");
const QString kLogDatePattern = QStringLiteral("yyyy-MM-dd");
const QString kKeyMask = QStringLiteral("******");

// A spreadsheet takes a cell that begins with one of these for a formula (a
// tab or a CR in front of one is skipped when the cell is read), also when
// the field is quoted. A plain number never does harm and stays as it is.
bool runsAsFormula(const QString &value)
{
    static const QString starts = QStringLiteral("=+-@\t\r");
    static const QRegularExpression plainNumber(QStringLiteral("^[-+]?\\d+(\\.\\d+)?$"));
    return !value.isEmpty() && starts.contains(value.front()) &&
           !plainNumber.match(value).hasMatch();
}

QString quoted(QString value)
{
    value.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

QString masked(const QString &message, int from, int to)
{
    return to > from ? message.left(from) + kKeyMask + message.mid(to) : message;
}

// Why a write failed, in words a technician can act on. A full disk stops
// the write at its first byte, which is the lock file's, so the system's own
// reason ("Unknown error") seldom says so; the disk and the folder tell.
QString actionable(const QString &reason, const QString &folder, qint64 bytes)
{
    QFileInfo existing(folder);
    while (!existing.exists() && !existing.isRoot())
        existing.setFile(existing.absolutePath());
    const QStorageInfo storage(existing.absoluteFilePath());
    if (existing.isDir() && (!existing.isWritable() || (storage.isValid() && storage.isReadOnly())))
        return QStringLiteral("文件夹只读 ") +
               QDir::toNativeSeparators(existing.absoluteFilePath());
    if (storage.isValid() && storage.bytesAvailable() < bytes + kNearlyFullBytes)
        return QStringLiteral("磁盘已满");
    return reason;
}

// A file that does not end in a line end: the next line would be glued on.
bool endsInBrokenLine(const QString &path, qint64 size)
{
    QFile file(path);
    if (size == 0 || !file.open(QIODevice::ReadOnly) || file.isSequential() || !file.seek(size - 1))
        return false;
    return file.read(1) != "\n";
}
} // namespace

QString csvField(const QString &value)
{
    if (runsAsFormula(value))
        return quoted(QLatin1Char('\'') + value);
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    return quoted(value);
}

QByteArray csvLine(const QStringList &fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString &field : fields)
        quoted << csvField(field);
    return quoted.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

QByteArray csvFileStart(const QStringList &header)
{
    return QByteArray("\xEF\xBB\xBF") + csvLine(header);
}

QString withKeyMasked(const QString &message)
{
    // "AT+BEAT=<key>,<interval>\r\n" or "AT+BEAT=<key>,\r\n": the key runs up
    // to the comma in front of the interval.
    static const QString sentKey = QStringLiteral("发送AT指令:AT+BEAT=");
    if (message.startsWith(sentKey)) {
        int end = message.lastIndexOf(QLatin1Char(','));
        if (end < sentKey.size())
            end = message.indexOf(QLatin1Char('\r'), sentKey.size());
        return masked(message, sentKey.size(), end < 0 ? message.size() : end);
    }
    for (const QString &keyFollows :
         {QStringLiteral("MQTT登录密钥为："), QStringLiteral("mqtt code:")}) {
        if (message.startsWith(keyFollows))
            return masked(message, keyFollows.size(), message.size());
    }
    return message;
}

QString appendWhole(const QString &path, const QByteArray &bytes, const QByteArray &startOfNewFile)
{
    const QString folder = QFileInfo(path).absolutePath();
    const qint64 needed = startOfNewFile.size() + bytes.size();
    if (!QDir().mkpath(folder)) {
        return actionable(QStringLiteral("无法创建文件夹 ") + QDir::toNativeSeparators(folder),
                          folder, needed);
    }

    // A copy of the tool killed while it held the lock leaves the lock file
    // behind. Qt takes over at once one that names a process that is gone;
    // one left empty (killed before it could name itself) is removed here.
    // The system refuses either removal while a living owner holds the file.
    const QString lockPath = path + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (!lock.tryLock(0) && lock.error() == QLockFile::LockFailedError &&
        QFileInfo(lockPath).size() == 0)
        lock.removeStaleLockFile();
    if (!lock.isLocked() && !lock.tryLock(kLockWaitMs)) {
        return lock.error() == QLockFile::LockFailedError
                   ? QStringLiteral("另一个程序一直占用该文件")
                   : actionable(QStringLiteral("无法创建锁文件 ") +
                                    QDir::toNativeSeparators(lockPath),
                                folder, needed);
    }

    // Unbuffered: the bytes go to the system in one write, not in pieces of
    // the buffer's size, so a tool killed meanwhile leaves no half line.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return actionable(file.errorString(), folder, needed);
    const qint64 before = file.size();
    QByteArray whole = bytes;
    if (before == 0)
        whole.prepend(startOfNewFile);
    else if (endsInBrokenLine(path, before))
        whole.prepend("\r\n");
    if (file.write(whole) != whole.size()) {
        // A full disk takes part of the bytes: they are cut off again. Qt
        // tells a full disk by the kind of error when nothing went through,
        // and by no error at all when a part did.
        const bool full =
            file.error() == QFileDevice::ResourceError || file.errorString().isEmpty();
        const QString reason = full ? QStringLiteral("磁盘已满") : file.errorString();
        if (!file.isSequential())
            file.resize(before);
        return actionable(reason, folder, needed);
    }
    return QString();
}

QString logFileName(const QDate &day)
{
    return day.toString(kLogDatePattern) + kLogSuffix;
}

QStringList expiredLogFiles(const QVector<DayFile> &files, const QDate &today, int keepDays,
                            qint64 maxFolderBytes)
{
    struct Dated
    {
        QDate day;
        const DayFile *file;
    };
    QVector<Dated> days;
    for (const DayFile &file : files) {
        if (!file.name.endsWith(kLogSuffix))
            continue;
        const QDate day = QDate::fromString(file.name.chopped(kLogSuffix.size()), kLogDatePattern);
        if (day.isValid())
            days.append({day, &file});
    }
    std::sort(days.begin(), days.end(),
              [](const Dated &a, const Dated &b) { return a.day > b.day; });

    QStringList expired;
    qint64 kept = 0;
    bool full = false;
    for (int newest = 0; newest < days.size(); ++newest) {
        const Dated &d = days[newest];
        const bool old = newest >= keepDays && d.day.daysTo(today) > keepDays;
        full = full || kept + d.file->bytes > maxFolderBytes;
        if (d.day != today && (old || full))
            expired << d.file->name;
        else
            kept += d.file->bytes;
    }
    return expired;
}

QByteArray cappedLogBatch(qint64 fileBytes, const QByteArray &batch, qint64 maxFileBytes,
                          const QByteArray &capLine)
{
    if (fileBytes >= maxFileBytes)
        return QByteArray();
    if (fileBytes + batch.size() < maxFileBytes)
        return batch;
    return batch + capLine;
}

int dropOldestLines(QByteArray &lines, int keepBytes)
{
    const int excess = lines.size() - keepBytes;
    if (excess <= 0)
        return 0;
    const int lineEnd = lines.indexOf('\n', excess - 1);
    const int cut = lineEnd < 0 ? lines.size() : lineEnd + 1;
    const int dropped = int(std::count(lines.constBegin(), lines.constBegin() + cut, '\n'));
    lines.remove(0, cut);
    return dropped;
}

} // namespace records
