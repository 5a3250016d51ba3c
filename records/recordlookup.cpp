#include "records/recordlookup.h"

#include "records/recordfile.h"

namespace records {

QList<QStringList> csvRows(const QString &text)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool rowStarted = false;
    const int from = text.startsWith(QChar(0xFEFF)) ? 1 : 0;
    for (int i = from; i < text.size(); ++i) {
        const QChar c = text.at(i);
        rowStarted = true;
        if (quoted) {
            if (c != QLatin1Char('"'))
                field += c;
            else if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"'))
                field += text.at(++i);
            else
                quoted = false;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            row << field;
            field.clear();
        } else if (c == QLatin1Char('\n')) {
            if (field.endsWith(QLatin1Char('\r')))
                field.chop(1);
            rows << (row << field);
            row.clear();
            field.clear();
            rowStarted = false;
        } else {
            field += c;
        }
    }
    if (rowStarted)
        rows << (row << field);
    return rows;
}

QStringList successfulWrites(const QString &recordText, const QStringList &header,
                             const QString &sn)
{
    const int timeColumn = header.indexOf(QStringLiteral("时间"));
    const int snColumn = header.indexOf(QStringLiteral("SN"));
    const int verdictColumn = header.indexOf(QStringLiteral("结果"));
    const int needed = qMax(timeColumn, qMax(snColumn, verdictColumn)) + 1;
    // The record may write a value otherwise than typed (quoted, or guarded
    // against a spreadsheet's formulas): it is compared as written.
    const QString stored = csvRows(QString::fromUtf8(csvLine({sn}))).value(0).value(0);
    QStringList times;
    if (qMin(timeColumn, qMin(snColumn, verdictColumn)) < 0)
        return times;
    for (const QStringList &row : csvRows(recordText)) {
        if (row.size() >= needed && row.at(snColumn) == stored &&
            row.at(verdictColumn) == QStringLiteral("成功"))
            times << row.at(timeColumn);
    }
    return times;
}

} // namespace records
