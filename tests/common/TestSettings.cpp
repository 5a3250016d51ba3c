#include "TestSettings.h"

#include <QStandardPaths>
#include <QTemporaryDir>

QString isolateSettings()
{
    static QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    return dir.path();
}

QString settingsFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::ConfigLocation) +
           QStringLiteral("/Setting.ini");
}
