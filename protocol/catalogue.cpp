#include "protocol/catalogue.h"

#include "protocol/modbus.h"
#include "protocol/selectors.h"

#include <optional>

namespace catalogue {

namespace {

// When a command of the catalogue goes out.
struct SendWhen
{
    enum Gate {
        always,
        never,
        notVerifyingOrSelected, // no read-back of a write runs, or any of `selected` set
        selectedOnly,           // any of `selected` set
    };
    Gate gate = always;
    quint16 selected = 0;  // selection bits that open the gate
    quint16 mustClear = 0; // selection bits that close it whatever the gate says

    // A running write goes by the selection it was accepted with.
    bool holds(const SessionState &session) const
    {
        if (session.selected(mustClear))
            return false;
        switch (gate) {
        case always:
            return true;
        case never:
            return false;
        case notVerifyingOrSelected:
            // The bit's other meaning, a read pending after an automatic
            // connection, holds these back too.
            return !session.verifyingWrite() || session.selected(selected);
        case selectedOnly:
            return session.selected(selected);
        }
        return false;
    }
};

struct CatalogueCondition
{
    int selector;
    SendWhen when;
};

// Every selector not listed here, numbers outside the catalogue included, is
// always sent.
//
// The terminal's BEAT parameter holds both the upload interval and the MQTT
// key: 33 writes both, 36 the key alone, so 36 (and its read-back 23) stand
// aside when the interval is selected. Server address and port are written
// together by 34 but either of them brings the read-back 21.
const CatalogueCondition kConditions[] = {
    {selector::none, {SendWhen::never}},
    {selector::toggleDevice, {SendWhen::notVerifyingOrSelected}},
    {selector::readVersion, {SendWhen::notVerifyingOrSelected}},
    // A written station address or baud rate is read back fresh: the station
    // address is read at station 0, which the terminal answers whatever its
    // address now is.
    {selector::readStationAddress, {SendWhen::notVerifyingOrSelected, WriteBit::devAddress}},
    {selector::readBaudCode, {SendWhen::notVerifyingOrSelected, WriteBit::braudRate}},
    {selector::readSerialNumber, {SendWhen::notVerifyingOrSelected, WriteBit::serialNumber}},
    {selector::readNothing17, {SendWhen::never}},
    {selector::readDeviceSwitch, {SendWhen::notVerifyingOrSelected}},
    {selector::readNothing19, {SendWhen::never}},
    {selector::readInterval, {SendWhen::notVerifyingOrSelected, WriteBit::upDataInterval}},
    {selector::readServerAddress,
     {SendWhen::notVerifyingOrSelected, WriteBit::srvAddr | WriteBit::srvPort}},
    {selector::readMqttName, {SendWhen::notVerifyingOrSelected, WriteBit::mqttName}},
    {selector::readMqttKey,
     {SendWhen::notVerifyingOrSelected, WriteBit::mqttCode, WriteBit::upDataInterval}},
    {selector::readServerProtocol, {SendWhen::notVerifyingOrSelected, WriteBit::srvProtocol}},
    {selector::readDeviceType, {SendWhen::notVerifyingOrSelected, WriteBit::devType}},
    {selector::writeDeviceType, {SendWhen::selectedOnly, WriteBit::devType}},
    {selector::writeSerialNumber, {SendWhen::selectedOnly, WriteBit::serialNumber}},
    {selector::writeStationAddress, {SendWhen::selectedOnly, WriteBit::devAddress}},
    {selector::writeBaudCode, {SendWhen::selectedOnly, WriteBit::braudRate}},
    {selector::writeServerProtocol, {SendWhen::selectedOnly, WriteBit::srvProtocol}},
    {selector::writeIntervalAndKey, {SendWhen::selectedOnly, WriteBit::upDataInterval}},
    {selector::writeServerAddress, {SendWhen::selectedOnly, WriteBit::srvAddr}},
    {selector::writeMqttName, {SendWhen::selectedOnly, WriteBit::mqttName}},
    {selector::writeMqttKey,
     {SendWhen::selectedOnly, WriteBit::mqttCode, WriteBit::upDataInterval}},
};

SendWhen sendWhen(int selectorNumber)
{
    for (const CatalogueCondition &row : kConditions) {
        if (row.selector == selectorNumber)
            return row.when;
    }
    return SendWhen{};
}

Rs485Request readRegister(quint8 address, quint16 reg)
{
    return {address, modbus::kReadHolding, reg, 1};
}

Rs485Request writeRegister(quint8 address, quint16 reg, quint16 value)
{
    return {address, modbus::kWriteSingle, reg, value};
}

QString numbered(const char *prefix, int number, const char *suffix = "")
{
    return QLatin1String(prefix) + QString::number(number) + QLatin1String(suffix);
}

// The Modbus commands: the relays, and the station address and baud rate,
// which live in registers.
std::optional<Rs485Request> registerCommand(int selectorNumber, const SessionState &session,
                                            bool switchOn)
{
    const WriteSnapshot &write = session.snapshot;
    switch (selectorNumber) {
    case selector::toggleRelay1:
        return writeRegister(session.devAddress, modbus::kRegRelay1, switchOn ? 1 : 0);
    case selector::toggleRelay2:
        return writeRegister(session.devAddress, modbus::kRegRelay2, switchOn ? 1 : 0);
    case selector::toggleRelay3:
        return writeRegister(session.devAddress, modbus::kRegRelay3, switchOn ? 1 : 0);
    case selector::readStationAddress:
        // Station 0 reaches the terminal whatever its own address is, and its
        // own address is what this read is asking for.
        return readRegister(0, modbus::kRegStationAddress);
    case selector::readBaudCode:
        return readRegister(session.devAddress, modbus::kRegBaudCode);
    case selector::writeStationAddress:
        return writeRegister(session.devAddress, modbus::kRegStationAddress,
                             quint8(write.value(WriteBit::devAddress).toInt()));
    case selector::writeBaudCode:
        return writeRegister(session.devAddress, modbus::kRegBaudCode,
                             modbus::codeFromBaud(write.value(WriteBit::braudRate).toInt()));
    default:
        return std::nullopt;
    }
}

// The AT commands of a batch write, with the values of the write as accepted.
std::optional<QString> writeCommand(int selectorNumber, const SessionState &session)
{
    const WriteSnapshot &write = session.snapshot;
    switch (selectorNumber) {
    case selector::writeSerialNumber:
        return QStringLiteral("SN=") + write.value(WriteBit::serialNumber);
    case selector::writeDeviceType:
        return QStringLiteral("DEVTYPE=") + write.value(WriteBit::devType);
    case selector::writeServerProtocol:
        return QStringLiteral("SRVPRO=") + write.value(WriteBit::srvProtocol);
    case selector::writeIntervalAndKey:
        return QStringLiteral("BEAT=") + write.value(WriteBit::mqttCode) + QLatin1Char(',') +
               write.value(WriteBit::upDataInterval);
    case selector::writeServerAddress:
        return QStringLiteral("DOMAIN=") + write.value(WriteBit::srvAddr) + QLatin1Char(':') +
               write.value(WriteBit::srvPort);
    case selector::writeMqttName:
        return QStringLiteral("PKEY=") + write.value(WriteBit::mqttName) + QLatin1Char(',');
    case selector::writeMqttKey:
        return QStringLiteral("BEAT=") + write.value(WriteBit::mqttCode) + QLatin1Char(',');
    default:
        return std::nullopt;
    }
}

// Every other AT command: the connection's, the switches, the "写入SN号"
// button's and the reads.
QString atCommand(int selectorNumber, const SessionState &session, bool switchOn)
{
    switch (selectorNumber) {
    case selector::enableAt:
        return numbered("ENATCMD=", session.devAddress, ",1");
    case selector::disableAt:
        return numbered("ENATCMD=", session.devAddress, ",0");
    case selector::writeSerialNumberNow:
        return QStringLiteral("SN=") + session.wSN;
    case selector::toggleDevice:
        return numbered("OPENDEV=", switchOn ? 1 : 0);
    case selector::deviceLogOn:
        return QStringLiteral("GSMLOG=1");
    case selector::deviceLogOff:
        return QStringLiteral("GSMLOG=0");
    case selector::readVersion:
        return QStringLiteral("VER");
    case selector::readSerialNumber:
        return QStringLiteral("SN?");
    case selector::readDeviceSwitch:
        return QStringLiteral("OPENDEV?");
    case selector::readInterval:
    case selector::readMqttKey:
        return QStringLiteral("BEAT?");
    case selector::readServerAddress:
        return QStringLiteral("DOMAIN?");
    case selector::readMqttName:
        return QStringLiteral("PKEY?");
    case selector::readServerProtocol:
        return QStringLiteral("SRVPRO?");
    case selector::readDeviceType:
        return QStringLiteral("DEVTYPE?");
    default:
        // 1 and 2 ask whether AT commands are enabled; so does every number
        // that names no command.
        return QStringLiteral("ENATCMD?");
    }
}

} // namespace

bool sendConditionHolds(int selectorNumber, const SessionState &session)
{
    return sendWhen(selectorNumber).holds(session);
}

Command command(int selectorNumber, const SessionState &session, bool switchOn)
{
    if (const std::optional<Rs485Request> request =
            registerCommand(selectorNumber, session, switchOn))
        return *request;
    if (const std::optional<QString> body = writeCommand(selectorNumber, session))
        return *body;
    return atCommand(selectorNumber, session, switchOn);
}

} // namespace catalogue
