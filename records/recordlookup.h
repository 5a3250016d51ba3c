#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Reading the provisioning record back. No I/O, no widgets.
namespace records {

// The rows of CSV text as a spreadsheet reads them: fields split at commas,
// quoted fields with their quotes doubled and line ends inside, rows ended by
// CR LF or LF. A byte-order mark in front is not part of the first field.
QList<QStringList> csvRows(const QString &text);

// The "时间" of every row of the record whose "SN" is sn and whose "结果" is
// "成功", oldest first. The columns are found by the record's header; sn is
// compared as the record would hold it.
QStringList successfulWrites(const QString &recordText, const QStringList &header,
                             const QString &sn);

} // namespace records
