#include "app/ZorvikTestTool.h"

#include "protocol/selectors.h"

#include "protocol/modbus.h"

quint16 ZorvikTestTool::crc16(const quint8 *bytes, quint8 count) const
{
    return modbus::crc16Modbus(bytes, count);
}

bool ZorvikTestTool::sendRs485Frame(quint8 address, quint8 function, quint16 reg, quint16 value)
{
    // One write keeps the frame in one piece on the line: the terminal takes a
    // gap inside a frame for its end.
    return writeCommandBytes(modbus::buildRequestFrame(address, function, reg, value));
}

bool ZorvikTestTool::parseRs485Reply(const char *data, quint16 length)
{
    const std::optional<quint16> value =
        modbus::decodeRegisterReply(reinterpret_cast<const quint8 *>(data), length);
    if (!value)
        return false;

    switch (waitSelector) {
    case selector::readStationAddress: {
        // The register's high byte carries nothing the terminal uses. 0 is the
        // broadcast address and 255 no address at all: such a value is not
        // taken, or every later frame, relays included, would go to it.
        const int address = *value & 0xFF;
        if (!modbus::isValidStationAddress(address))
            break;
        session.devAddress = quint8(address);
        ui.readAddress_2->setValue(session.devAddress);
        appendLog(QStringLiteral("设备地址为：") + QString::number(session.devAddress) +
                  QStringLiteral("\r\n"));
        session.answered(WriteBit::devAddress);
        break;
    }
    case selector::readBaudCode: {
        session.devBraudRate = modbus::baudFromCode(*value);
        const QString rate = QString::number(session.devBraudRate);
        ui.braudRate_2->setItemText(0, rate);
        appendLog(QStringLiteral("设备波特率为：") + rate + QStringLiteral("\r\n"));
        session.answered(WriteBit::braudRate);
        break;
    }
    default:
        // A register reply that arrives late, after its wait was given up, is
        // still taken off the line so it cannot confuse the next parse.
        break;
    }
    return true;
}
