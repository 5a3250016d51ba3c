#include "protocol/modbus.h"

namespace modbus {

namespace {

constexpr std::size_t kRequestSize = 8;

// A buffer this long holds more than a reply: the adapter's echo of our own
// request comes first, so the reply starts right after it.
constexpr std::size_t kEchoedReplyMinimum = 14;

// Shorter buffers are not looked at. A reply that carries a register needs 7
// bytes; the byte-count check refuses anything too short for its own count.
constexpr std::size_t kReplyMinimum = 6;

// Address, function and byte count in front of the data; CRC low and high after it.
constexpr std::size_t kReplyHeader = 3;
constexpr std::size_t kReplyCrcSize = 2;

// One register is two data bytes; a smaller byte count carries no value.
constexpr std::size_t kRegisterBytes = 2;

struct BaudCode
{
    quint16 code;
    int baud;
};

// Code 4 (19200) doubles as the catch-all in both directions, so it is not listed.
constexpr BaudCode kBaudCodes[] = {{0, 2400}, {1, 4800}, {2, 9600}, {3, 115200}};
constexpr quint16 kFallbackCode = 4;
constexpr int kFallbackBaud = 19200;

} // namespace

quint16 crc16Modbus(const quint8 *data, std::size_t count)
{
    quint16 crc = 0xFFFF;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

QByteArray buildRequestFrame(quint8 address, quint8 function, quint16 reg, quint16 value)
{
    // Register and value go high byte first; the CRC goes low byte first.
    quint8 frame[kRequestSize] = {address,     function,           quint8(reg >> 8),
                                  quint8(reg), quint8(value >> 8), quint8(value)};
    const quint16 crc = crc16Modbus(frame, kRequestSize - kReplyCrcSize);
    frame[6] = quint8(crc);
    frame[7] = quint8(crc >> 8);
    return QByteArray(reinterpret_cast<const char *>(frame), int(kRequestSize));
}

namespace {

std::optional<quint16> decodeAsItStands(const quint8 *data, std::size_t length)
{
    if (data == nullptr || length < kReplyMinimum)
        return std::nullopt;
    const std::size_t start = length >= kEchoedReplyMinimum ? kRequestSize : 0;
    const quint8 *reply = data + start;
    const std::size_t available = length - start;

    const std::size_t byteCount = reply[2];
    if (byteCount < kRegisterBytes || kReplyHeader + byteCount + kReplyCrcSize > available)
        return std::nullopt;

    const std::size_t crcAt = kReplyHeader + byteCount;
    const quint16 received = quint16(reply[crcAt] | (reply[crcAt + 1] << 8));
    if (crc16Modbus(reply, crcAt) != received)
        return std::nullopt;
    if (reply[1] != kReadHolding)
        return std::nullopt;
    return quint16((reply[3] << 8) | reply[4]);
}

} // namespace

// Some terminals put a zero byte on the line when they wake their driver. No
// terminal answers from station 0, so zero bytes in front of a reply that is
// not read as it stands are dropped, and the reply is read without them.
std::optional<quint16> decodeRegisterReply(const quint8 *data, std::size_t length)
{
    if (const std::optional<quint16> value = decodeAsItStands(data, length))
        return value;
    std::size_t zeros = 0;
    while (data != nullptr && zeros < length && data[zeros] == 0)
        ++zeros;
    if (zeros == 0)
        return std::nullopt;
    return decodeAsItStands(data + zeros, length - zeros);
}

int baudFromCode(quint16 code)
{
    for (const BaudCode &entry : kBaudCodes) {
        if (entry.code == code)
            return entry.baud;
    }
    return kFallbackBaud;
}

quint16 codeFromBaud(int baud)
{
    for (const BaudCode &entry : kBaudCodes) {
        if (entry.baud == baud)
            return entry.code;
    }
    return kFallbackCode;
}

} // namespace modbus
