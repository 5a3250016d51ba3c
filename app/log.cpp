#include "app/ZorvikTestTool.h"

#include <QCursor>
#include <QDateTime>
#include <QLocale>
#include <QMenu>
#include <QScrollBar>
#include <QTextCursor>

namespace {
// The log keeps at most this many paragraphs; the oldest go first. Dropping
// them one at a time would lay the whole log out again for every entry once
// it is full (milliseconds each, enough to choke on a chatty terminal), so a
// full log drops kLogTrimBlocks of its oldest paragraphs at once.
constexpr int kMaxLogBlocks = 5000;
constexpr int kLogTrimBlocks = 500;
} // namespace

void ZorvikTestTool::appendLog(QString message)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString entry = QLocale::system().toString(now, QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                          QLatin1Char('\t') + message;
    // A new paragraph at the end, as QTextEdit::append() makes it, but always
    // as plain text: append() would take a reply such as "<admin>" for markup
    // and show something other than what the terminal sent.
    QTextDocument *doc = ui.textEdit->document();
    QScrollBar *scroll = ui.textEdit->verticalScrollBar();
    const bool atBottom = scroll->value() >= scroll->maximum();
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    if (!doc->isEmpty())
        cursor.insertBlock();
    cursor.insertText(entry);
    if (doc->blockCount() > kMaxLogBlocks) {
        QTextCursor oldest(doc);
        oldest.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor,
                            doc->blockCount() - (kMaxLogBlocks - kLogTrimBlocks));
        oldest.removeSelectedText();
    }
    if (atBottom)
        scroll->setValue(scroll->maximum());
    if (logFileOn)
        keepLogEntry(entry, now.date());
}

void ZorvikTestTool::setupLogWindow()
{
    QTextEdit *log = ui.textEdit;
    // Nobody undoes a log, and an undo history would keep every dropped entry.
    log->document()->setUndoRedoEnabled(false);
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
