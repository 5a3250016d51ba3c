#pragma once

#include <QByteArray>
#include <QString>

// Points the configuration folder (and so "Setting.ini") and the data folder
// (the provisioning record, the log files) of this test process at a fresh
// temporary folder, away from the user's own. Call before the first window is
// built; returns the folder.
QString isolateSettings();

// Full path of the settings file the window uses after isolateSettings().
QString settingsFilePath();

// A whole file, written (its folder made first) or read; empty if unreadable.
bool writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);
