#include "app/ZorvikTestTool.h"

#include "protocol/modbus.h"
#include "protocol/selectors.h"
#include "session/parameters.h"

#include <variant>

namespace {

// When a command of the catalogue goes out. Most go out always; the reads are
// held back while a write is verified unless they read a parameter that was
// written, and the writes go out only for the parameters selected.
struct SendWhen
{
    enum Gate {
        always,
        never,
        notVerifyingOrSelected, // not verifying, or any of `selected` set
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
            return !session.has(SessionState::verifying) || session.selected(selected);
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

// A Modbus register request. Reads ask for one register, so their value is
// the quantity 1.
struct Rs485Request
{
    quint8 address;
    quint8 function;
    quint16 reg;
    quint16 value;
};

// An AT command is its body: "AT+" and the line end are added when it is sent.
using Command = std::variant<QString, Rs485Request>;

Rs485Request readRegister(quint8 address, quint16 reg)
{
    return {address, modbus::kReadHolding, reg, 1};
}

Rs485Request writeRegister(quint8 address, quint16 reg, quint16 value)
{
    return {address, modbus::kWriteSingle, reg, value};
}

// A toggle button's caption names what its next click does. Finding "打开"
// means switching on now; once the command has gone out, the caption turns to
// the opposite action, without waiting for the terminal's answer.
struct Toggle
{
    QPushButton *button = nullptr;
    QString what;

    bool switchOn() const { return button->text().contains(QStringLiteral("打开")); }
    QString nextCaption() const
    {
        return (switchOn() ? QStringLiteral("关闭") : QStringLiteral("打开")) + what;
    }
};

Toggle toggleOf(int selectorNumber, Ui::ZorvikTestToolClass &ui)
{
    switch (selectorNumber) {
    case selector::toggleRelay1:
        return {ui.pushButton_3, QStringLiteral("继电器1")};
    case selector::toggleRelay2:
        return {ui.pushButton_2, QStringLiteral("继电器2")};
    case selector::toggleRelay3:
        return {ui.pushButton, QStringLiteral("继电器3")};
    case selector::toggleDevice:
        return {ui.pushButton_4, QStringLiteral("设备")};
    default:
        return {};
    }
}

QString numbered(const char *prefix, int number, const char *suffix = "")
{
    return QLatin1String(prefix) + QString::number(number) + QLatin1String(suffix);
}

// The command of a selector whose condition holds. A batch write's commands
// carry the values taken when it was accepted; the MQTT name and key written
// are kept here, as the command is made.
Command buildCommand(int selectorNumber, Ui::ZorvikTestToolClass &ui, SessionState &session)
{
    const Toggle toggle = toggleOf(selectorNumber, ui);
    const WriteSnapshot &write = session.snapshot;
    switch (selectorNumber) {
    case selector::enableAt:
        return numbered("ENATCMD=", session.devAddress, ",1");
    case selector::disableAt:
        return numbered("ENATCMD=", session.devAddress, ",0");
    case selector::writeSerialNumberNow:
        return QStringLiteral("SN=") + session.wSN;
    case selector::writeSerialNumber:
        return QStringLiteral("SN=") + write.value(WriteBit::serialNumber);
    case selector::toggleRelay1:
        return writeRegister(session.devAddress, modbus::kRegRelay1, toggle.switchOn() ? 1 : 0);
    case selector::toggleRelay2:
        return writeRegister(session.devAddress, modbus::kRegRelay2, toggle.switchOn() ? 1 : 0);
    case selector::toggleRelay3:
        return writeRegister(session.devAddress, modbus::kRegRelay3, toggle.switchOn() ? 1 : 0);
    case selector::toggleDevice:
        return numbered("OPENDEV=", toggle.switchOn() ? 1 : 0);
    case selector::deviceLogOn:
        return QStringLiteral("GSMLOG=1");
    case selector::deviceLogOff:
        return QStringLiteral("GSMLOG=0");
    case selector::readVersion:
        return QStringLiteral("VER");
    case selector::readStationAddress:
        // Station 0 reaches the terminal whatever its own address is, and its
        // own address is what this read is asking for.
        return readRegister(0, modbus::kRegStationAddress);
    case selector::readBaudCode:
        return readRegister(session.devAddress, modbus::kRegBaudCode);
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
    case selector::writeDeviceType:
        return QStringLiteral("DEVTYPE=") + write.value(WriteBit::devType);
    case selector::writeStationAddress:
        return writeRegister(session.devAddress, modbus::kRegStationAddress,
                             quint8(write.value(WriteBit::devAddress).toInt()));
    case selector::writeBaudCode:
        return writeRegister(session.devAddress, modbus::kRegBaudCode,
                             modbus::codeFromBaud(write.value(WriteBit::braudRate).toInt()));
    case selector::writeServerProtocol:
        return QStringLiteral("SRVPRO=") + write.value(WriteBit::srvProtocol);
    case selector::writeIntervalAndKey:
        return QStringLiteral("BEAT=") + write.value(WriteBit::mqttCode) + QLatin1Char(',') +
               write.value(WriteBit::upDataInterval);
    case selector::writeServerAddress:
        return QStringLiteral("DOMAIN=") + write.value(WriteBit::srvAddr) + QLatin1Char(':') +
               write.value(WriteBit::srvPort);
    case selector::writeMqttName:
        session.wMqttName = write.value(WriteBit::mqttName);
        return QStringLiteral("PKEY=") + session.wMqttName + QLatin1Char(',');
    case selector::writeMqttKey:
        session.wMqttCode = write.value(WriteBit::mqttCode);
        return QStringLiteral("BEAT=") + session.wMqttCode + QLatin1Char(',');
    default:
        // 1 and 2 ask whether AT commands are enabled; so does every number
        // that names no command (12, 26, 27 and anything outside 0 to 36).
        return QStringLiteral("ENATCMD?");
    }
}

} // namespace

void ZorvikTestTool::sendCommand(int selectorNumber)
{
    // A command that cannot be written (the port is closed) is not sent:
    // nothing is awaited, no caption turns and nothing is logged as sent.
    if (!sendWhen(selectorNumber).holds(session) || !serialPort.isOpen()) {
        waitSelector = selector::none;
        return;
    }
    const Toggle toggle = toggleOf(selectorNumber, ui);
    const QString nextCaption = toggle.button ? toggle.nextCaption() : QString();
    const Command command = buildCommand(selectorNumber, ui, session);

    // A send replaces whatever reply was awaited: the bytes received so far
    // belong to the old command and are dropped.
    waitSelector = selectorNumber;
    rxQuietTicks = 0;
    discardReceived();

    QString logLine;
    bool sent = false;
    if (const auto *request = std::get_if<Rs485Request>(&command)) {
        sent = sendRs485Frame(request->address, request->function, request->reg, request->value);
        logLine = QStringLiteral("发送RS485指令:") + QString::number(request->function);
    } else {
        const QString text =
            QStringLiteral("AT+") + std::get<QString>(command) + QStringLiteral("\r\n");
        // The terminal reads one byte per character; whatever Latin-1 cannot
        // hold goes out as "?".
        sent = writeCommandBytes(text.toLatin1());
        logLine = QStringLiteral("发送AT指令:") + text;
    }
    if (!sent) {
        waitSelector = selector::none;
        return;
    }
    if (toggle.button)
        toggle.button->setText(nextCaption);
    // The record of a write that ends early names only what went out.
    WriteSnapshot &write = session.snapshot;
    write.sentMask = quint16(write.sentMask | (parameters::writtenBy(selectorNumber) & write.mask));
    appendLog(logLine);
}
