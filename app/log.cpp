#include "app/ZorvikTestTool.h"

#include <QCursor>
#include <QDateTime>
#include <QLocale>
#include <QMenu>

namespace {
constexpr int kMaxLogBlocks = 5000;
}

void ZorvikTestTool::appendLog(QString message)
{
    const QString stamp = QLocale::system().toString(QDateTime::currentDateTime(),
                                                     QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    ui.textEdit->append(stamp + QLatin1Char('\t') + message);
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
