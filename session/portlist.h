#pragma once

// The port list's rules. No I/O, no widgets.

#include <QString>
#include <QStringList>

namespace portlist {

// The entry of the port list that is a command, not a port: choosing it
// rebuilds the list.
inline QString refreshEntry()
{
    return QStringLiteral("刷新串口");
}

// Index of the port to preselect at start: the port used last, provided its
// remembered name has at least 4 characters, else the first port (0).
int preselectedIndex(const QStringList &ports, const QString &lastPortName);

} // namespace portlist
