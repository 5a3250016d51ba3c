#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <functional>

// Closes the modal message boxes the window opens (from a button or from
// inside its tick) the way a user would, by pressing OK (or `answer`, where a
// box offers it), and remembers what each one said.
class BoxCatcher : public QObject
{
    Q_OBJECT

public:
    struct Box
    {
        QString title;
        QString text;
        QStringList log; // what logNow() gave while the box was open
        QMessageBox::StandardButton defaultButton;
    };

    explicit BoxCatcher(QObject *parent = nullptr);

    const QVector<Box> &boxes() const { return m_boxes; }
    int count() const { return m_boxes.size(); }
    Box last() const { return m_boxes.isEmpty() ? Box{} : m_boxes.last(); }
    void clear() { m_boxes.clear(); }

    // Reads the log window when a box is caught, to see what it showed then.
    std::function<QStringList()> logNow;
    // The button pressed in a box that has it, such as QMessageBox::Yes.
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    // Runs while a box is open, the time a technician reads it; boxes opening meanwhile are caught.
    std::function<void()> whileOpen;

private:
    void closeOpenBoxes();

    QTimer m_timer;
    QVector<Box> m_boxes;
    QVector<QMessageBox *> m_reading; // caught, not answered yet
};
