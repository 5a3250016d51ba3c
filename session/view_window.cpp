#include "app/ZorvikTestTool.h"

#include <QProgressBar>
#include <QStatusBar>

#include <utility>

void ZorvikTestTool::showConnectState(int state)
{
    const char *text = nullptr;
    switch (state) {
    case ManualConnecting:
        text = " 手动连接设备中，请等待";
        break;
    case AutoConnecting:
        text = " 自动连接设备中，请等待";
        break;
    case Connected:
        text = " 设备连接成功";
        break;
    case ConnectFailed:
        text = " 连接失败,请检查线路连接及串口编号是否正确";
        break;
    default:
        text = " 设备已断开 请重新连接";
        break;
    }
    statusBar()->clearMessage();
    statusBar()->showMessage(tr(text), 0);
}

// The sequence under way on the right of the status bar. The automatic
// connection holds the first rate for a window of its own before it walks
// the whole list.
void ZorvikTestTool::showProgress()
{
    const std::optional<Progress> now = session.progress(ui.BraudRate_1->count() + 1);
    const bool completed = std::exchange(progressCompleted, false);
    if (!now) {
        if (completed && !progressBar->isHidden())
            progressBar->setValue(progressBar->maximum()); // seen full for a beat
        else
            progressBar->hide();
        return;
    }
    // Setting the same range again would repaint the bar.
    if (progressBar->maximum() != now->total)
        progressBar->setRange(0, now->total);
    progressBar->setValue(now->done);
    progressBar->show();
}

void ZorvikTestTool::refreshControls()
{
    const bool connected = session.connectState == Connected;
    ui.connectButton->setEnabled(!connected);
    ui.autoConnectButton->setEnabled(!connected);
    ui.SerialComNum->setEnabled(!connected);
    ui.disConnectButton->setEnabled(true);
    ui.readButton->setEnabled(connected);
    ui.writeButton->setEnabled(connected);
    if (!connected) {
        // The wish follows the box: otherwise the next connection would switch
        // the terminal's log on behind a box that shows unchecked.
        ui.checkBox_5->setChecked(false);
        session.setFlag(SessionState::logWanted, false);
    }
    ui.readSNbutton->setEnabled(connected);
    ui.writeSNbutton->setEnabled(connected);
    ui.pushButton_3->setEnabled(connected);
    ui.pushButton_2->setEnabled(connected);
    ui.pushButton->setEnabled(connected);
}

// Taken from the layout once, before anything is shown in these fields.
void ZorvikTestTool::keepTerminalViewAtStart()
{
    const std::pair<QObject *, const char *> shown[] = {
        {ui.readAddress_2, "value"},      {ui.braudRate_2, "currentIndex"},
        {ui.BraudRate_5, "currentIndex"}, {ui.BraudRate_9, "currentIndex"},
        {ui.readAddress_4, "value"},      {ui.textBrowser, "html"},
        {ui.textBrowser_5, "html"},       {ui.textBrowser_2, "html"},
        {ui.textBrowser_6, "html"},       {ui.lineEdit, "text"},
        {ui.label_Temp, "text"},          {ui.label_4, "text"},
        {ui.label_Humidy, "text"},        {ui.pushButton_3, "text"},
        {ui.pushButton_2, "text"},        {ui.pushButton, "text"},
        {ui.pushButton_4, "text"},
    };
    for (const auto &[widget, property] : shown)
        terminalViewAtStart.append({widget, property, widget->property(property)});
    baudShownAtStart = ui.braudRate_2->itemText(0);
}

// A new connection may reach another terminal: nothing the last one said is
// shown or kept, and the relay and device buttons start from their first
// click again. What the technician typed and ticked stays.
void ZorvikTestTool::forgetTerminal()
{
    for (const ShownAtStart &shown : std::as_const(terminalViewAtStart))
        shown.widget->setProperty(shown.property, shown.value);
    ui.braudRate_2->setItemText(0, baudShownAtStart);
    session.forgetTerminal();
}
