#include "app/ZorvikTestTool.h"

#include <QStatusBar>

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
