#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// Answers the next file dialog the way a user does: types the path into the
// file-name field and presses Enter, or presses Cancel when the path is empty.
// Remembers how the dialog looked when it opened. Qt's own dialog is needed
// (Qt::AA_DontUseNativeDialogs); selectFile() would have no effect while the
// file-name field has the focus.
class FileDialogAnswer : public QObject
{
    Q_OBJECT

public:
    explicit FileDialogAnswer(const QString &path, QObject *parent = nullptr);

    // The file disappears between the choice and the window opening it.
    void removeWhenChosen() { m_remove = true; }

    bool seen = false;     // a dialog opened
    bool answered = false; // it took the path and closed
    QString caption;
    QString folder;
    QStringList filters;

private:
    void answerIfOpen();

    QString m_path;
    bool m_remove = false;
    QTimer m_timer;
};
