#include "app/ZorvikTestTool.h"

#include "protocol/selectors.h"

#include "protocol/modbus.h"

quint16 ZorvikTestTool::crc16(const quint8 *bytes, quint8 count) const
{
    return modbus::crc16Modbus(bytes, count);
}

void ZorvikTestTool::sendRs485Frame(quint8 address, quint8 function, quint16 reg, quint16 value)
{
    // One write keeps the frame in one piece on the line: the terminal takes a
    // gap inside a frame for its end.
    const QByteArray frame = modbus::buildRequestFrame(address, function, reg, value);
    if (serialPort.isOpen())
        serialPort.write(frame);
}

bool ZorvikTestTool::parseRs485Reply(const char *data, quint16 length)
{
    const std::optional<quint16> value =
        modbus::decodeRegisterReply(reinterpret_cast<const quint8 *>(data), length);
    if (!value)
        return false;

    switch (waitSelector) {
    case selector::readStationAddress: {
        // The register's high byte carries nothing the terminal uses.
        session.devAddress = quint8(*value & 0xFF);
        ui.readAddress_2->setValue(session.devAddress);
        appendLog(QStringLiteral("设备地址为：") + QString::number(session.devAddress) +
                  QStringLiteral("\r\n"));
        break;
    }
    case selector::readBaudCode: {
        session.devBraudRate = modbus::baudFromCode(*value);
        const QString rate = QString::number(session.devBraudRate);
        ui.braudRate_2->setItemText(0, rate);
        appendLog(QStringLiteral("设备波特率为：") + rate + QStringLiteral("\r\n"));
        break;
    }
    default:
        // A register reply that arrives late, after its wait was given up, is
        // still taken off the line so it cannot confuse the next parse.
        break;
    }
    return true;
}
