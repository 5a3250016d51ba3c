#include "app/settingsfile.h"

#include <QtGlobal>

SettingsFile::SettingsFile(const QString &path) : QSettings(path, QSettings::IniFormat)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 writes a folder name such as "D:/绑定" as UTF-8, which Qt 5 would
    // read byte by byte as Latin-1: a technician who goes back to a Qt 5 build
    // would find the remembered folder garbled. In UTF-8, Qt 5 reads both that
    // and its own older "\x7ed1" escapes, and writes what Qt 6 writes.
    setIniCodec("UTF-8");
#endif
}
