#include "TestSettings.h"

#include <QStandardPaths>
#include <QTemporaryDir>

QString isolateSettings()
{
    static QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    // The provisioning record and the log files go here too, not into the
    // user's data folder.
    qputenv("XDG_DATA_HOME", (dir.path() + QStringLiteral("/data")).toLocal8Bit());
    return dir.path();
}

QString settingsFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::ConfigLocation) +
           QStringLiteral("/Setting.ini");
}
