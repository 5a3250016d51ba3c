#include "binding/snlookup.h"

#include <QStringView>

namespace snbinding {

namespace {

QString withoutLineControls(QStringView field)
{
    QString clean = field.toString();
    clean.remove(QLatin1Char('\r'));
    clean.remove(QLatin1Char('\n'));
    clean.remove(QLatin1Char('\t'));
    return clean;
}

} // namespace

QStringList splitLines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::KeepEmptyParts);
}

std::optional<Credentials> lookup(const QStringList &lines, const QString &sn)
{
    const QLatin1Char comma(',');
    for (const QString &line : lines) {
        if (line.isEmpty())
            continue;
        // Fields are located in place: a file of a hundred thousand lines is
        // walked on every keystroke, so no line is split into copies.
        const int firstComma = line.indexOf(comma);
        if (firstComma < 0)
            continue;
        const int secondComma = line.indexOf(comma, firstComma + 1);
        if (secondComma < 0)
            continue; // fewer than three fields: not a record
        const QStringView serial =
            QStringView(line).mid(firstComma + 1, secondComma - firstComma - 1);
        if (serial != sn)
            continue;
        const int thirdComma = line.indexOf(comma, secondComma + 1);
        const QStringView key =
            thirdComma < 0 ? QStringView(line).mid(secondComma + 1)
                           : QStringView(line).mid(secondComma + 1, thirdComma - secondComma - 1);
        Credentials found{withoutLineControls(QStringView(line).left(firstComma)),
                          withoutLineControls(key)};
        // A name or key left blank would clear the terminal's own.
        if (found.name.isEmpty() || found.key.isEmpty())
            continue;
        return found;
    }
    return std::nullopt;
}

} // namespace snbinding
