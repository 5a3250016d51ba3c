#include "app/ZorvikTestTool.h"

#include <QCursor>
#include <QDateTime>
#include <QLocale>
#include <QMenu>
#include <QScrollBar>
#include <QTextCursor>

namespace {
constexpr int kMaxLogBlocks = 5000;
}

void ZorvikTestTool::appendLog(QString message)
{
    const QString stamp = QLocale::system().toString(QDateTime::currentDateTime(),
                                                     QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    // A new paragraph at the end, as QTextEdit::append() makes it, but always
    // as plain text: append() would take a reply such as "<admin>" for markup
    // and show something other than what the terminal sent.
    QTextEdit *log = ui.textEdit;
    QScrollBar *scroll = log->verticalScrollBar();
    const bool atBottom = scroll->value() >= scroll->maximum();
    QTextCursor cursor(log->document());
    cursor.movePosition(QTextCursor::End);
    if (!log->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(stamp + QLatin1Char('\t') + message);
    if (atBottom)
        scroll->setValue(scroll->maximum());
}

void ZorvikTestTool::setupLogWindow()
{
    QTextEdit *log = ui.textEdit;
    log->document()->setMaximumBlockCount(kMaxLogBlocks);
    log->setContextMenuPolicy(Qt::CustomContextMenu);

    logMenu = new QMenu(log);
    logMenu->setObjectName(QStringLiteral("logMenu"));
    copyAction = new QAction(tr("复制"), log);
    copyAction->setObjectName(QStringLiteral("copyAction"));
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    selectAllAction = new QAction(tr("选择全部"), log);
    selectAllAction->setObjectName(QStringLiteral("selectAllAction"));
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    selectAllAction->setShortcutContext(Qt::WidgetShortcut);
    clearAction = new QAction(tr("清除"), log);
    clearAction->setObjectName(QStringLiteral("clearAction"));

    logMenu->addAction(copyAction);
    logMenu->addSeparator();
    logMenu->addAction(selectAllAction);
    logMenu->addSeparator();
    logMenu->addAction(clearAction);

    connect(copyAction, SIGNAL(triggered()), log, SLOT(copy()));
    connect(selectAllAction, SIGNAL(triggered()), log, SLOT(selectAll()));
    connect(
        clearAction, &QAction::triggered, clearAction, [log](bool) { log->clear(); },
        Qt::DirectConnection);
    // The menu opens where the mouse pointer is, whatever position the signal
    // reports (the keyboard's menu key reports the text cursor instead).
    QMenu *menu = logMenu;
    connect(
        log, &QWidget::customContextMenuRequested, log,
        [menu](const QPoint &) {
            menu->move(QCursor::pos());
            menu->show();
        },
        Qt::DirectConnection);
}

void ZorvikTestTool::onAutoReadButtonClicked()
{
    ui.textEdit->clear();
}
