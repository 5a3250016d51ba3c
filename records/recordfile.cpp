#include "records/recordfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

namespace records {

namespace {
// Another copy of the tool holds the lock only for one write; a lock held
// longer than this belongs to a copy that hangs, and the write is given up.
constexpr int kLockWaitMs = 2000;
const QString kLogSuffix = QStringLiteral(".log");
const QString kLogDatePattern = QStringLiteral("yyyy-MM-dd");
} // namespace

QString csvField(const QString &value)
{
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
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

QString appendWhole(const QString &path, const QByteArray &bytes, const QByteArray &startOfNewFile)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("无法创建文件夹 ") + QDir::toNativeSeparators(folder);

    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs)) {
        return lock.error() == QLockFile::LockFailedError
                   ? QStringLiteral("另一个程序一直占用该文件")
                   : QStringLiteral("无法创建锁文件 ") +
                         QDir::toNativeSeparators(path + QStringLiteral(".lock"));
    }

    // Unbuffered: the bytes go to the system in one write, not in pieces of
    // the buffer's size, so a tool killed meanwhile leaves no half line.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return file.errorString();
    const qint64 before = file.size();
    const QByteArray whole = before == 0 ? startOfNewFile + bytes : bytes;
    if (file.write(whole) != whole.size()) {
        // A full disk takes part of the bytes: they are cut off again.
        const QString reason = file.errorString();
        if (!file.isSequential())
            file.resize(before);
        return reason.isEmpty() ? QStringLiteral("磁盘已满") : reason;
    }
    return QString();
}

QString logFileName(const QDate &day)
{
    return day.toString(kLogDatePattern) + kLogSuffix;
}

QStringList expiredLogFiles(const QStringList &fileNames, const QDate &today, int keepDays)
{
    QStringList expired;
    for (const QString &name : fileNames) {
        if (!name.endsWith(kLogSuffix))
            continue;
        const QDate day = QDate::fromString(name.chopped(kLogSuffix.size()), kLogDatePattern);
        if (day.isValid() && day.daysTo(today) > keepDays)
            expired << name;
    }
    return expired;
}

} // namespace records
