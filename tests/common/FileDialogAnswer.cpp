#include "FileDialogAnswer.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QtTest>

FileDialogAnswer::FileDialogAnswer(const QString &path, QObject *parent)
    : QObject(parent), m_path(path)
{
    connect(&m_timer, &QTimer::timeout, this, &FileDialogAnswer::answerIfOpen);
    m_timer.start(20);
}

void FileDialogAnswer::answerIfOpen()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog || !dialog->isVisible())
            continue;
        m_timer.stop();
        seen = true;
        caption = dialog->windowTitle();
        folder = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        if (m_path.isEmpty()) {
            dialog->reject();
            return;
        }
        if (m_remove) {
            const QString path = m_path;
            // On accepted, not fileSelected: the dialog emits fileSelected only
            // when exactly one file is selected, and once it has listed its
            // folder it may have selected a file there as well as the typed one.
            connect(dialog, &QDialog::accepted, this, [path] { QFile::remove(path); });
        }
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (name) {
            name->setText(m_path);
            QTest::keyClick(name, Qt::Key_Return);
            answered = !dialog->isVisible();
        }
        // A dialog that refuses the path would otherwise wait forever.
        if (dialog->isVisible())
            dialog->reject();
        return;
    }
}
