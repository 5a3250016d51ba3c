#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The SN binding file: one record a line, "<MQTT login name>,<serial number>,<MQTT key>".
// No I/O, no widgets.
namespace snbinding {

struct Credentials
{
    QString name;
    QString key;
};

// The file's text split into lines at every "\n"; empty parts stay, so a file
// with Windows line ends keeps a "\r" at the end of each line.
QStringList splitLines(const QString &text);

// The credentials of the first line whose second field equals sn exactly
// (case-sensitive, nothing trimmed). Empty lines and lines with fewer than
// three fields never match, nor do lines whose name or key is empty. "\r",
// "\n" and "\t" are removed from name and key.
std::optional<Credentials> lookup(const QStringList &lines, const QString &sn);

} // namespace snbinding
