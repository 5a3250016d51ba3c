#include "BoxCatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

BoxCatcher::BoxCatcher(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, &BoxCatcher::closeOpenBoxes);
    m_timer.start();
}

namespace {

QMessageBox *openBox(const QVector<QMessageBox *> &skip)
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (box && box->isVisible() && !skip.contains(box))
            return box;
    }
    return nullptr;
}

} // namespace

// One box at a time, the list of windows looked at afresh each time: while
// one is read, others may open and close.
void BoxCatcher::closeOpenBoxes()
{
    while (QPointer<QMessageBox> box = openBox(m_reading)) {
        m_boxes.append({box->windowTitle(), box->text(), logNow ? logNow() : QStringList(),
                        box->standardButton(box->defaultButton())});
        if (whileOpen) {
            m_reading.append(box);
            whileOpen();
            m_reading.removeOne(box);
        }
        if (!box)
            continue;
        QAbstractButton *ok =
            box->button(answer) ? box->button(answer) : box->button(QMessageBox::Ok);
        if (ok)
            ok->click();
        else
            box->done(0);
    }
}
