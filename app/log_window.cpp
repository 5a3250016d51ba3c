#include "app/ZorvikTestTool.h"

#include "records/recordfile.h"

#include <QAbstractEventDispatcher>
#include <QAbstractTextDocumentLayout>
#include <QCursor>
#include <QDateTime>
#include <QLocale>
#include <QMenu>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

namespace {
// The log keeps at most this many paragraphs; the oldest go first. Every cut
// at the top lays out the position of every paragraph left, so a full log
// drops kLogTrimBlocks of its oldest paragraphs at once, not one per entry.
constexpr int kMaxLogBlocks = 5000;
constexpr int kLogTrimBlocks = 1000;
// Nobody reads a log that moves more often than this: while entries keep
// coming, the log window is repainted at most once per kLogRepaintMs.
constexpr int kLogRepaintMs = 100;
} // namespace

ZorvikTestTool::LogBatch::LogBatch(ZorvikTestTool &window) : w(window)
{
    ++w.logBatchDepth;
}

ZorvikTestTool::LogBatch::~LogBatch()
{
    --w.logBatchDepth;
    w.flushLog();
}

void ZorvikTestTool::appendLog(QString message)
{
    // The stamp shows whole seconds: the local time is worked out once a
    // second, not for every entry (each time it asks the system's time zone).
    const qint64 second = QDateTime::currentMSecsSinceEpoch() / 1000;
    if (second != logStampSecond) {
        logStampSecond = second;
        const QDateTime now = QDateTime::fromMSecsSinceEpoch(second * 1000);
        logStamp = QLocale::system().toString(now, QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                   QLatin1Char('\t');
        logStampDay = now.date();
    }
    const QString entry = logStamp + message;
    if (logFileOn)
        keepLogEntry(logStamp + records::withKeyMasked(message), logStampDay);
    pendingLog << entry;
    if (logBatchDepth == 0)
        flushLog();
}

// Puts the entries that have come in into the log window in one edit: laying
// out the document, moving the scroll bar and repainting are paid once for
// all of them, which is what keeps a terminal that reports hundreds of lines
// a second from eating the processor.
void ZorvikTestTool::flushLog()
{
    if (pendingLog.isEmpty())
        return;
    // The first entries after a quiet spell are painted at once; those that
    // follow within kLogRepaintMs wait for the repaint when it runs out.
    const bool held = logRepaintTimer.isActive();
    if (held)
        holdLogRepaints(true);
    else
        logRepaintTimer.start();

    QTextDocument *doc = ui.textEdit->document();
    QScrollBar *scroll = ui.textEdit->verticalScrollBar();
    const bool atBottom = scroll->value() >= scroll->maximum();
    // While the repaints are held, the log's new height is not passed on: the
    // scroll bar, its range and the view's position (laid out again with
    // every change of the range) follow once, with the held repaint.
    const QSignalBlocker sizeHeld(held ? doc->documentLayout() : nullptr);

    // New paragraphs at the end, as QTextEdit::append() makes them, but always
    // as plain text (append() would take a reply such as "<admin>" for markup)
    // and in the default format: a cursor at the end otherwise takes the format
    // of the text before it, the welcome text's link for one. The cursor moves
    // inside the edit block, where it is not measured against the laid-out
    // line (that alone would shape the line's text once more).
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    if (!doc->isEmpty())
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    else
        cursor.setBlockFormat(QTextBlockFormat());
    cursor.insertText(pendingLog.join(QLatin1Char('\n')), QTextCharFormat());
    cursor.endEditBlock();
    pendingLog.clear();

    if (doc->blockCount() > kMaxLogBlocks) {
        // Selected by position: moving a cursor block by block would place
        // it on every line in between.
        QTextCursor oldest(doc);
        oldest.setPosition(
            doc->findBlockByNumber(doc->blockCount() - (kMaxLogBlocks - kLogTrimBlocks)).position(),
            QTextCursor::KeepAnchor);
        oldest.removeSelectedText();
    }
    if (atBottom && !held)
        scroll->setValue(scroll->maximum());
}

// Passes the log's height, held back while entries kept coming, on to the
// scroll bar, and keeps the view at the end if it was there.
void ZorvikTestTool::showLogHeight()
{
    QScrollBar *scroll = ui.textEdit->verticalScrollBar();
    const bool atBottom = scroll->value() >= scroll->maximum();
    QAbstractTextDocumentLayout *layout = ui.textEdit->document()->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize());
    if (atBottom)
        scroll->setValue(scroll->maximum());
}

namespace {
// What a scroll bar shows, laid out as its style lays it out: whether it is
// there, its size, its handle and whether it stands at an end.
QVector<int> scrollBarLook(const QScrollBar *bar)
{
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = bar->orientation();
    if (option.orientation == Qt::Horizontal)
        option.state |= QStyle::State_Horizontal;
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    option.upsideDown = bar->invertedAppearance();
    const QRect handle = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                      QStyle::SC_ScrollBarSlider, bar);
    return {bar->isVisible(),
            bar->width(),
            bar->height(),
            handle.x(),
            handle.y(),
            handle.width(),
            handle.height(),
            bar->value() == bar->minimum(),
            bar->value() == bar->maximum(),
            int(option.state)};
}
} // namespace

// The text and its scroll bar only: the frame around them and the group box
// behind them do not change with the entries. The scroll bar is painted again
// only when it shows something else (with the log at its cap its handle stays
// put): each of its paints takes the frame and the group box behind it along.
void ZorvikTestTool::holdLogRepaints(bool hold)
{
    ui.textEdit->viewport()->setUpdatesEnabled(!hold);
    QScrollBar *scroll = ui.textEdit->verticalScrollBar();
    if (hold) {
        if (scroll->updatesEnabled()) {
            logScrollLook = scrollBarLook(scroll);
            scroll->setUpdatesEnabled(false);
        }
    } else if (scroll->underMouse() || scrollBarLook(scroll) != logScrollLook) {
        scroll->setUpdatesEnabled(true);
    }
}

void ZorvikTestTool::setupLogWindow()
{
    setupLogRepaints();
    setupLogDocument();
    setupLogMenu();
}

// Repaints held back in a storm, and entries put in before anything else
// shows the window.
void ZorvikTestTool::setupLogRepaints()
{
    logRepaintTimer.setSingleShot(true);
    logRepaintTimer.setInterval(kLogRepaintMs);
    connect(&logRepaintTimer, &QTimer::timeout, this, [this] {
        if (ui.textEdit->viewport()->updatesEnabled()) {
            // The entries have stopped: the scroll bar is painted as usual again.
            ui.textEdit->verticalScrollBar()->setUpdatesEnabled(true);
            return;
        }
        showLogHeight();
        holdLogRepaints(false); // repaints what came in meanwhile
        logRepaintTimer.start();
    });
    // Entries held back while the tick runs go in before any nested event loop
    // (a message box opened from inside the tick) shows the window.
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance()) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &ZorvikTestTool::flushLog);
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, &ZorvikTestTool::flushLog);
    }
}

// What laying out a log line costs, kept low: the log window takes hundreds
// of lines a second from a terminal that streams its own log.
void ZorvikTestTool::setupLogDocument()
{
    QTextEdit *log = ui.textEdit;
    // Nobody undoes a log, and an undo history would keep every dropped entry.
    log->document()->setUndoRedoEnabled(false);
    // The log runs left to right. Left open, the direction of every paragraph
    // would be worked out from its text each time the log is laid out again,
    // which after every cut at the top is all of it.
    QTextOption direction = log->document()->defaultTextOption();
    direction.setTextDirection(Qt::LeftToRight);
    log->document()->setDefaultTextOption(direction);
    // Neither Latin nor Chinese text needs shaping (ligatures, kerning) to be
    // legible; skipping it halves what laying out a log line costs.
    QFont font = log->font();
    font.setStyleStrategy(QFont::PreferNoShaping);
    log->setFont(font);
}

// The context menu: "复制", "选择全部" and "清除".
void ZorvikTestTool::setupLogMenu()
{
    QTextEdit *log = ui.textEdit;
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
