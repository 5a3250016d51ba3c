#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

// The bytes of the provisioning record and the daily log files, and the one
// way they reach the disk. No widgets.
namespace records {

// A CSV field as a spreadsheet reads it back: quoted, with its quotes doubled,
// when it holds a comma, a quote or a line end; otherwise unchanged.
QString csvField(const QString &value);

// One record line: the fields joined by commas, UTF-8, ended by CR LF.
QByteArray csvLine(const QStringList &fields);

// What a new record file starts with: the UTF-8 byte-order mark (a spreadsheet
// on a Chinese Windows otherwise reads the file in the local code page) and
// the header line.
QByteArray csvFileStart(const QStringList &header);

// Appends bytes to the file at path as one piece: the folder is created if
// missing, a new or empty file first gets startOfNewFile, and everything goes
// out in a single write while a lock file keeps other copies of the tool out.
// A write that does not go through whole is cut off again, so the file never
// ends in a broken line. Empty reason on success; otherwise why it failed.
QString appendWhole(const QString &path, const QByteArray &bytes,
                    const QByteArray &startOfNewFile = QByteArray());

// The daily log file of a day: "yyyy-MM-dd.log".
QString logFileName(const QDate &day);

// The names among fileNames that are daily log files of a day more than
// keepDays before today. Other files are never touched.
QStringList expiredLogFiles(const QStringList &fileNames, const QDate &today, int keepDays);

} // namespace records
