#pragma once

// Command selectors: the numbers that name the commands of sendCommand's
// catalogue. The batch read walks 13 to 25 (and walks them again to verify a
// write), the batch write 28 to 36; waitSelector holds the selector whose
// reply is awaited, and the reply parsers read it to know what a reply means.
namespace selector {

constexpr int none = 0;
constexpr int queryAtEnabled = 1;
constexpr int queryAtEnabledAgain = 2;
constexpr int enableAt = 3;
constexpr int disableAt = 4;
constexpr int writeSerialNumberNow = 5;
constexpr int toggleRelay1 = 6;
constexpr int toggleRelay2 = 7;
constexpr int toggleRelay3 = 8;
constexpr int toggleDevice = 9;
constexpr int deviceLogOn = 10;
constexpr int deviceLogOff = 11;
constexpr int readVersion = 13;
constexpr int readStationAddress = 14;
constexpr int readBaudCode = 15;
constexpr int readSerialNumber = 16;
constexpr int readNothing17 = 17;
constexpr int readDeviceSwitch = 18;
constexpr int readNothing19 = 19;
constexpr int readInterval = 20;
constexpr int readServerAddress = 21;
constexpr int readMqttName = 22;
constexpr int readMqttKey = 23;
constexpr int readServerProtocol = 24;
constexpr int readDeviceType = 25;
constexpr int writeDeviceType = 28;
constexpr int writeSerialNumber = 29;
constexpr int writeStationAddress = 30;
constexpr int writeBaudCode = 31;
constexpr int writeServerProtocol = 32;
constexpr int writeIntervalAndKey = 33;
constexpr int writeServerAddress = 34;
constexpr int writeMqttName = 35;
constexpr int writeMqttKey = 36;

// The "ENATCMD" commands, whose answer the connection procedure reads itself.
constexpr bool isConnectionCommand(int s)
{
    return s >= queryAtEnabled && s <= enableAt;
}

// Selectors whose answer the AT reply parser reads with a rule of its own;
// under every other selector received text is the terminal's own output.
constexpr bool hasAtReplyRule(int s)
{
    return s == toggleDevice || s == deviceLogOn || s == deviceLogOff || s == readVersion ||
           s == readSerialNumber || s == readDeviceSwitch ||
           (s >= readInterval && s <= readDeviceType);
}

// The writes of settings, by the batch write and by "写入SN号": the terminal
// answers them with a final result code alone, "OK" or "ERROR".
constexpr bool answersWithResultCode(int s)
{
    return s == writeSerialNumberNow || s == writeDeviceType || s == writeSerialNumber ||
           (s >= writeServerProtocol && s <= writeMqttKey);
}

// The Modbus commands: their answers are binary frames, never a line of text.
constexpr bool isRegisterCommand(int s)
{
    return (s >= toggleRelay1 && s <= toggleRelay3) || s == readStationAddress ||
           s == readBaudCode || s == writeStationAddress || s == writeBaudCode;
}

// Selectors whose answer carries something the tool reads: the connection
// replies, the two register reads and the AT rules. The answers to switches
// are never read; those to writes only end their step sooner or name a
// refusal at once, and the read-back that follows proves the write anyway,
// so a wait for either may be cut short.
constexpr bool awaitsReadableReply(int s)
{
    return isConnectionCommand(s) || s == readStationAddress || s == readBaudCode ||
           hasAtReplyRule(s);
}

} // namespace selector
