#include "app/ZorvikTestTool.h"

#include "protocol/atreplies.h"
#include "protocol/enablereply.h"
#include "protocol/modbus.h"
#include "protocol/selectors.h"
#include "session/portlist.h"
#include "session/timing.h"

#include <QMessageBox>

namespace {

const char *const kCheckWiring = "1.检查设备与USB工具连接是否正确\r\n2.检查串口是否选择正确\r\n";
const char *const kCheckSettings = "3.波特率是否选择正确\r\n4.站号是否选择正确\r\n";

void inform(const QString &title, const QString &text)
{
    QMessageBox::information(nullptr, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

} // namespace

// Either connect button: not while an attempt runs, and not without a port;
// what the window showed of the terminal before is forgotten.
bool ZorvikTestTool::connectMayStart()
{
    if (session.connectState == ManualConnecting || session.connectState == AutoConnecting)
        return false;
    if (ui.SerialComNum->currentText() == portlist::refreshEntry()) {
        inform(QStringLiteral("无可用串口"), QStringLiteral("请刷新串口"));
        return false;
    }
    forgetTerminal();
    return true;
}

void ZorvikTestTool::onConnectButtonClicked()
{
    if (!connectMayStart())
        return;
    session.connectState = ManualConnecting;
    openSerialPort(session.braudRate);
}

void ZorvikTestTool::onautoConnectButtonClicked()
{
    if (!connectMayStart())
        return;
    ui.BraudRate_1->setCurrentIndex(0);
    session.autoBraudIndex = 0;
    session.connectState = AutoConnecting;
    openSerialPort(session.braudRate);
}

void ZorvikTestTool::onDisConnectButtonClicked()
{
    letTerminalGo(QStringLiteral("设备已经断开"), QStringLiteral("断开连接"));
}

// The terminal is told to stop accepting AT commands, the port closes once
// that has left, and a write under way ends without its verdict.
void ZorvikTestTool::letTerminalGo(const QString &logLine, const QString &recordReason)
{
    sendCommand(selector::disableAt);
    session.connectState = Disconnected;
    writeAndClosePort();
    stopBatches();
    showConnectState(Disconnected);
    refreshControls();
    appendLog(logLine);
    recordWriteInterrupted(recordReason);
}

// One beat of a connect attempt: the query goes out on the second and fourth
// beat after the port opened. False once the attempt's five beats are over.
bool ZorvikTestTool::connectWindowBeat()
{
    const quint16 beat = session.connectTick++;
    if (beat >= timing::kConnectWindowBeats)
        return false;
    if (serialPort.isOpen() && (beat & 1)) {
        appendLog(QStringLiteral("正在连接设备……\r\n"));
        sendCommand(selector::queryAtEnabled);
    }
    return true;
}

void ZorvikTestTool::manualConnectBeat()
{
    if (connectWindowBeat())
        return;
    session.connectTick = 1;
    session.connectState = ConnectFailed;
    showConnectState(ConnectFailed);
    if (serialPort.isOpen())
        serialPort.close();
    // An answer still coming in belongs to the attempt that has just failed;
    // left in the buffer, it would connect a port that is closed.
    discardReceived();
    const QString checks = QString::fromUtf8(kCheckWiring) + QString::fromUtf8(kCheckSettings);
    appendLog(QStringLiteral("手动连接超时\r\n\r\n") + checks);
    inform(QStringLiteral("手动连接超时"), checks);
}

// Each rate of BraudRate_1 is held for one window; the first window uses entry
// 0 (set by the button) and the walk then starts at entry 0 again.
void ZorvikTestTool::autoConnectBeat()
{
    if (connectWindowBeat())
        return;
    session.connectTick = 0;
    if (serialPort.isOpen())
        serialPort.close();
    // An answer that came in at the old rate and is not complete yet must not
    // connect at the next one.
    discardReceived();
    if (session.autoBraudIndex < ui.BraudRate_1->count()) {
        ui.BraudRate_1->setCurrentIndex(session.autoBraudIndex);
        ++session.autoBraudIndex;
        session.braudRate = ui.BraudRate_1->currentText().toInt();
        serialPort.setBaudRate(session.braudRate, QSerialPort::AllDirections);
        serialPort.open(QIODevice::ReadWrite); // the error handler restarts connectTick
        ++session.connectTick;
        return;
    }
    session.connectTick = 1;
    session.connectState = ConnectFailed;
    showConnectState(ConnectFailed);
    const QString checks = QString::fromUtf8(kCheckWiring);
    appendLog(QStringLiteral("自动连接超时\r\n\r\n") + checks);
    inform(QStringLiteral("自动连接超时"), checks);
}

// The terminal's answer to "ENATCMD": it establishes the connection and says
// whether the terminal accepts AT commands.
void ZorvikTestTool::handleConnectionReply()
{
    const replies::EnableReply reply =
        replies::parseEnableReply(replies::replyText(rxBuffer.constData(), rxBuffer.size()));
    if (!reply.recognised)
        return;

    // An address no terminal can have is not taken: the address in use and the
    // spin box that shows it stay as they are and stay in step.
    if (modbus::isValidStationAddress(reply.address)) {
        session.devAddress = quint8(reply.address);
        ui.readAddress_1->setValue(reply.address);
    }
    // A reply cut short after the address says nothing of AT commands: they
    // count as not enabled, so the terminal is asked, and its answer tells.
    session.setFlag(SessionState::atEnabled, reply.hasFlag && reply.atEnabled);

    if (session.connectState != Connected) {
        session.setReadPendingAfterAutoConnect(session.connectState == AutoConnecting);
        session.connectState = Connected;
        showConnectState(Connected);
        refreshControls();
        appendLog(QStringLiteral("设备连接成功\r\n"));
        session.atEnableCount = 0;
    }

    if (reply.atEnabled) {
        if (session.readPendingAfterAutoConnect()) {
            appendLog(QStringLiteral("设备已允许使用AT指令,正在读取设备参数\r\n"));
            session.setReadPendingAfterAutoConnect(false);
            session.startRead();
        }
        sendCommand(selector::deviceLogOff); // the terminal's own log off
    } else {
        appendLog(QStringLiteral("设备还未允许使用AT指令,正在自动要求设备允许使用AT指令\r\n"));
        requestAtEnable();
    }
}

// Asks the terminal to enable its AT commands. Every request of a connection
// counts, whether the batch read or an answer with the flag cleared asks for
// it, so a terminal that keeps refusing ends the connection instead of being
// asked forever.
void ZorvikTestTool::requestAtEnable()
{
    const quint16 asked = session.atEnableCount++;
    if (asked < timing::kMaxAtEnableRequests) {
        sendCommand(selector::enableAt);
        return;
    }
    letTerminalGo(QStringLiteral("设备使能AT指令超时"), QStringLiteral("设备使能AT指令超时"));
}

// Brings the terminal's own log output in line with "打开日志".
void ZorvikTestTool::syncDeviceLog()
{
    if (session.connectState != Connected || !session.has(SessionState::atEnabled))
        return;
    const bool wanted = session.has(SessionState::logWanted);
    const bool on = session.has(SessionState::logOn);
    if (wanted && !on)
        sendCommand(selector::deviceLogOn);
    else if (!wanted && on)
        sendCommand(selector::deviceLogOff);
}
