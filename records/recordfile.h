#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

// The bytes of the provisioning record and the daily log files, and the one
// way they reach the disk. No widgets.
namespace records {

// A CSV field as a spreadsheet reads it back: quoted, with its quotes doubled,
// when it holds a comma, a quote or a line end; otherwise unchanged. A value
// that a spreadsheet would run as a formula (one that begins with "=", "+",
// "-", "@", a tab or a CR, and is not a plain number such as "-5") is shown as
// text: it gets a leading apostrophe and is quoted.
QString csvField(const QString &value);

// One record line: the fields joined by commas, UTF-8, ended by CR LF.
QByteArray csvLine(const QStringList &fields);

// What a new record file starts with: the UTF-8 byte-order mark (a spreadsheet
// on a Chinese Windows otherwise reads the file in the local code page) and
// the header line.
QByteArray csvFileStart(const QStringList &header);

// A log window message as the log file keeps it: the MQTT key masked on each
// line that carries it (the command that writes it, the terminal's answer to
// its read, the binding file's entry), whatever its length; every other
// message unchanged. The window itself shows the key: it is the technician's
// own screen, while the file is mailed around.
QString withKeyMasked(const QString &message);

// Appends bytes to the file at path as one piece: the folder is created if
// missing, a new or empty file first gets startOfNewFile, a file whose last
// line lost its line end (edited by hand) gets one first, and everything goes
// out in a single write while a lock file keeps other copies of the tool out.
// A write that does not go through whole is cut off again, so the file never
// ends in a broken line. Empty reason on success; otherwise why it failed, in
// words a technician can act on ("磁盘已满", a read-only folder) where the
// system tells.
QString appendWhole(const QString &path, const QByteArray &bytes,
                    const QByteArray &startOfNewFile = QByteArray());

// The daily log file of a day: "yyyy-MM-dd.log".
QString logFileName(const QDate &day);

// A file of the log folder and its size.
struct DayFile
{
    QString name;
    qint64 bytes = 0;
};

// The names among files that the clean-up removes. Only daily log files are
// ever touched. The newest keepDays of them (by the day in their name) stay
// whatever the dates say, because the clock that named them may have been
// wrong; an older one goes once its day is more than keepDays before today.
// Beyond that the folder holds at most maxFolderBytes: the oldest files go
// first, and today's file always stays.
QStringList expiredLogFiles(const QVector<DayFile> &files, const QDate &today, int keepDays,
                            qint64 maxFolderBytes);

// What of a batch of log lines goes into a log file that holds fileBytes:
// all of it while the file is below maxFileBytes, followed by capLine once
// the batch reaches that size; nothing once the file has reached it.
QByteArray cappedLogBatch(qint64 fileBytes, const QByteArray &batch, qint64 maxFileBytes,
                          const QByteArray &capLine);

// Drops the oldest whole lines of lines until it holds at most keepBytes;
// returns how many lines went.
int dropOldestLines(QByteArray &lines, int keepBytes);

} // namespace records
