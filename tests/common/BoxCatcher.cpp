#include "BoxCatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

BoxCatcher::BoxCatcher(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, &BoxCatcher::closeOpenBoxes);
    m_timer.start();
}

void BoxCatcher::closeOpenBoxes()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box || !box->isVisible() || m_reading.contains(box))
            continue;
        m_boxes.append({box->windowTitle(), box->text(), logNow ? logNow() : QStringList(),
                        box->standardButton(box->defaultButton())});
        if (whileOpen) {
            m_reading.append(box);
            whileOpen();
            m_reading.removeOne(box);
        }
        QAbstractButton *ok =
            box->button(answer) ? box->button(answer) : box->button(QMessageBox::Ok);
        if (ok)
            ok->click();
        else
            box->done(0);
        return; // while it was read, other boxes came and went: the next round looks again
    }
}
