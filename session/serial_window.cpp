#include "app/ZorvikTestTool.h"

#include "app/settingsfile.h"
#include "session/portlist.h"
#include "session/timing.h"

#include <QMessageBox>
#include <QSerialPortInfo>
#include <QSignalBlocker>

namespace {

QStringList availablePortNames()
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names << info.portName();
    return names;
}

} // namespace

// The one-time copy of the widgets' start values into the session record,
// ending with the first filling of the port list.
void ZorvikTestTool::initSessionFromUi()
{
    session.setMask(WriteBit::devAddress, ui.checkBox->isChecked());
    session.setMask(WriteBit::braudRate, ui.checkBox_2->isChecked());
    session.setMask(WriteBit::srvProtocol, ui.checkBox_7->isChecked());
    session.setMask(WriteBit::devType, ui.checkBox_13->isChecked());
    session.setMask(WriteBit::upDataInterval, ui.checkBox_16->isChecked());
    session.setMask(WriteBit::srvAddr | WriteBit::srvPort, ui.checkBox_3->isChecked());
    session.setMask(WriteBit::srvAddr | WriteBit::srvPort, ui.checkBox_4->isChecked());
    session.setMask(WriteBit::mqttName, ui.checkBox_14->isChecked());
    session.setMask(WriteBit::mqttCode, ui.checkBox_15->isChecked());
    session.setFlag(SessionState::logWanted, ui.checkBox_5->isChecked());
    session.braudRate = ui.BraudRate_1->currentText().toInt();
    session.devAddress = quint8(ui.readAddress_1->value());
    session.wDevAddress = quint8(ui.readAddress_3->value());
    session.wBraudRate = ui.BraudRate_3->currentText().toInt();

    const QStringList ports = availablePortNames();
    ui.SerialComNum->clear();
    ui.SerialComNum->addItems(ports);
    if (!ports.isEmpty())
        ui.SerialComNum->setCurrentIndex(portlist::preselectedIndex(ports, lastPortName));
    ui.SerialComNum->addItem(portlist::refreshEntry());
    session.comName = ui.SerialComNum->currentText();
}

void ZorvikTestTool::onSerialComNumChanged(int)
{
    if (rebuildingPortList)
        return;
    if (ui.SerialComNum->currentText() != portlist::refreshEntry()) {
        session.comName = ui.SerialComNum->currentText();
        return;
    }
    // "刷新串口" was chosen: rebuild the list once. The combo reports its own
    // changes while it is rebuilt; those must not start another rebuild.
    rebuildingPortList = true;
    ui.SerialComNum->clear();
    ui.SerialComNum->addItems(availablePortNames());
    ui.SerialComNum->addItem(portlist::refreshEntry());
    ui.SerialComNum->setCurrentIndex(0);
    rebuildingPortList = false;
    session.comName = ui.SerialComNum->currentText();
}

void ZorvikTestTool::openSerialPort(int baud)
{
    showConnectState(session.connectState);
    serialPort.setBaudRate(baud, QSerialPort::AllDirections);
    serialPort.setDataBits(QSerialPort::Data8);
    serialPort.setParity(QSerialPort::NoParity);
    serialPort.setStopBits(QSerialPort::OneStop);
    serialPort.setFlowControl(QSerialPort::NoFlowControl);
    serialPort.setPortName(session.comName);
    // Success or failure shows through onSerialError, which runs inside open().
    serialPort.open(QIODevice::ReadWrite);

    lastPortName = session.comName;
    SettingsFile settings(settingsPath);
    settings.setValue(QStringLiteral("lastComName"), lastPortName);
    settings.sync();
}

void ZorvikTestTool::onSerialError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::NoError) {
        session.connectState = ConnectFailed;
        const QString reason = serialPort.errorString();
        if (serialPort.isOpen())
            serialPort.close();
        // Whatever came in before the error stays unread: an answer to
        // "ENATCMD?" among it would otherwise connect the closed port.
        discardReceived();
        stopBatches();
        recordWriteInterrupted(QStringLiteral("串口错误：") + reason);
        // The state is shown before the box: ticks keep running behind it and
        // find nothing to do in state 4.
        showConnectState(session.connectState);
        refreshControls();
        QMessageBox::information(nullptr, QStringLiteral("串口操作错误"),
                                 QStringLiteral("请检查当前选择的串口是否可用!\r\n\r\n") + reason,
                                 QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    if (!serialPort.isOpen())
        session.connectTick = 0; // every open attempt starts its connect window at zero
    showConnectState(session.connectState);
    refreshControls();
}

void ZorvikTestTool::onSerialReadyRead()
{
    // Read straight onto the end of rxBuffer: readAll() makes room for 16 KiB
    // first, and a storm brings a hundred reads a second.
    const qint64 available = serialPort.bytesAvailable();
    if (available <= 0)
        return;
    const int kept = rxBuffer.size();
    rxBuffer.resize(kept + int(available));
    const qint64 got = serialPort.read(rxBuffer.data() + kept, rxBuffer.size() - kept);
    rxBuffer.resize(kept + int(qMax<qint64>(got, 0)));
    if (got <= 0)
        return;
    rxQuietTicks = 0;
    const int excess = rxBuffer.size() - timing::kMaxRxBufferBytes;
    if (excess > 0) {
        dropReceivedFront(excess);
        rxEcho.clear(); // the front it would have matched is gone
    }
}

// Writes one command in one piece. False when it could not go out (the port
// is closed, or refused the bytes): the caller then logs nothing as sent.
bool ZorvikTestTool::writeCommandBytes(const QByteArray &bytes)
{
    if (!serialPort.isOpen() || serialPort.write(bytes) != bytes.size())
        return false;
    rxEcho = bytes;
    return true;
}

// Forgets every byte received so far, and how far they had been looked at.
void ZorvikTestTool::discardReceived()
{
    rxBuffer.clear();
    rxOfferedSize = 0;
    rxUnsolicitedFrom = 0;
    rxEcho.clear();
}

// Drops bytes at the front of rxBuffer that have been dealt with, keeping the
// marks of how far the rest had been looked at.
void ZorvikTestTool::dropReceivedFront(int count)
{
    count = qBound(0, count, rxBuffer.size());
    rxBuffer.remove(0, count);
    rxOfferedSize = qMax(0, rxOfferedSize - count);
    rxUnsolicitedFrom = qMax(0, rxUnsolicitedFrom - count);
}

// The terminal is told to stop accepting AT commands just before the line is
// given up; a port closed right after a write may drop those bytes, so they
// are given a short, bounded time to leave first.
void ZorvikTestTool::writeAndClosePort()
{
    if (!serialPort.isOpen())
        return;
    if (serialPort.bytesToWrite() > 0) {
        // The port reports a wait that runs out as a time-out error; on a
        // stalled line that would turn the disconnect into a port failure with
        // its box. The wait is ours and the port is closed next, so neither
        // its reports nor what it reads meanwhile matter.
        const QSignalBlocker quiet(serialPort);
        serialPort.waitForBytesWritten(timing::kFlushTimeoutMs);
        serialPort.clearError();
    }
    if (serialPort.isOpen())
        serialPort.close();
}
