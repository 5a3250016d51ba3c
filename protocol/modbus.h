#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <optional>

// The bytes of the terminal's Modbus RTU register frames. No I/O, no widgets.
namespace modbus {

constexpr quint8 kReadHolding = 3;
constexpr quint8 kWriteSingle = 6;

constexpr quint16 kRegStationAddress = 0x0100;
constexpr quint16 kRegBaudCode = 0x0101;
constexpr quint16 kRegRelay1 = 0x0106;
constexpr quint16 kRegRelay2 = 0x010C;
constexpr quint16 kRegRelay3 = 0x010D;

// CRC-16/MODBUS (reflected polynomial 0xA001, initial 0xFFFF, no final XOR).
quint16 crc16Modbus(const quint8 *data, std::size_t count);

// The 8-byte request: address, function, register, value (or quantity), CRC low, CRC high.
QByteArray buildRequestFrame(quint8 address, quint8 function, quint16 reg, quint16 value);

// The first register of a function-3 reply, if the buffer holds a valid one.
// A buffer of 14 or more bytes is read from byte 8: the terminal's adapter may
// echo the 8-byte request in front of the reply. Zero bytes in front of a
// reply are dropped when it does not read as it stands.
std::optional<quint16> decodeRegisterReply(const quint8 *data, std::size_t length);

// Baud-rate code of register 0x0101: 0 2400, 1 4800, 2 9600, 3 115200, anything else 19200.
int baudFromCode(quint16 code);
// The reverse; a rate the register cannot hold is written as code 4.
quint16 codeFromBaud(int baud);

// A station address the terminal can really have: 0 is the broadcast address
// and 255 no address at all.
inline bool isValidStationAddress(int address)
{
    return address >= 1 && address <= 254;
}

} // namespace modbus
