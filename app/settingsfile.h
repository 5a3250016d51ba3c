#pragma once

#include <QSettings>
#include <QString>

// "Setting.ini", opened the one way in which every build of the tool reads and
// writes it: INI format, text in UTF-8. Every place that opens the settings
// opens them through this.
class SettingsFile : public QSettings
{
public:
    explicit SettingsFile(const QString &path);
};
