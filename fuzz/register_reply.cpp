// The register-read reply: whatever the line delivers, decodeRegisterReply
// reads only the bytes it was given, and a value it returns comes from a
// function-3 reply whose CRC really matches its bytes.
#include "fuzzcheck.h"
#include "protocol/modbus.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// A second CRC-16/MODBUS, table-driven, so that the decoder's own routine is
// not the only judge of what it accepted.
struct CrcTable
{
    quint16 entries[256];
    CrcTable()
    {
        for (unsigned i = 0; i < 256; ++i) {
            quint16 crc = quint16(i);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
            entries[i] = crc;
        }
    }
};

quint16 referenceCrc(const quint8 *data, std::size_t count)
{
    static const CrcTable table;
    quint16 crc = 0xFFFF;
    for (std::size_t i = 0; i < count; ++i)
        crc = quint16((crc >> 8) ^ table.entries[(crc ^ data[i]) & 0xFF]);
    return crc;
}

// Whether the buffer holds a function-3 reply carrying value, where the
// decoder looks for one: the adapter's echo of our 8-byte request sits in
// front of a reply in any buffer of 14 bytes or more.
bool isReplyWith(const quint8 *bytes, std::size_t size, quint16 value)
{
    const std::size_t start = size >= 14 ? 8 : 0;
    if (size < start + 5)
        return false;
    const quint8 *reply = bytes + start;
    const std::size_t byteCount = reply[2];
    if (start + 3 + byteCount + 2 > size || byteCount < 2 || reply[1] != modbus::kReadHolding)
        return false;
    const std::size_t crcAt = 3 + byteCount;
    const quint16 sent = quint16(reply[crcAt] | (reply[crcAt + 1] << 8));
    return referenceCrc(reply, crcAt) == sent && value == quint16((reply[3] << 8) | reply[4]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // A buffer of exactly the input's length: one byte further is a heap
    // overflow that AddressSanitizer reports.
    const std::vector<quint8> buffer(data, data + size);
    const quint8 *bytes = buffer.empty() ? nullptr : buffer.data();

    const std::optional<quint16> value = modbus::decodeRegisterReply(bytes, buffer.size());
    if (value) {
        // Read as it stands, or else behind the zero bytes in front of it.
        std::size_t zeros = 0;
        while (zeros < size && data[zeros] == 0)
            ++zeros;
        FUZZ_CHECK(isReplyWith(bytes, size, *value) ||
                   (zeros > 0 && isReplyWith(bytes + zeros, size - zeros, *value)));
    }

    // The same bytes as the fields of a request: the frame the tool sends
    // carries the CRC of its first six bytes, low byte first.
    if (size >= 6) {
        const quint16 reg = quint16((data[2] << 8) | data[3]);
        const quint16 word = quint16((data[4] << 8) | data[5]);
        const QByteArray frame = modbus::buildRequestFrame(data[0], data[1], reg, word);
        FUZZ_CHECK(frame.size() == 8);
        const auto *framed = reinterpret_cast<const quint8 *>(frame.constData());
        for (int i = 0; i < 6; ++i)
            FUZZ_CHECK(framed[i] == data[i]);
        const quint16 crc = referenceCrc(framed, 6);
        FUZZ_CHECK(framed[6] == (crc & 0xFF) && framed[7] == (crc >> 8));
        FUZZ_CHECK(modbus::crc16Modbus(framed, 6) == crc);

        // Every code reads as one of the five rates, and writing that rate
        // back gives the code again (19200 stands for every unknown code).
        const int baud = modbus::baudFromCode(word);
        const quint16 code = modbus::codeFromBaud(baud);
        FUZZ_CHECK(code <= 4);
        FUZZ_CHECK(modbus::baudFromCode(code) == baud);
        if (word <= 4)
            FUZZ_CHECK(code == word);
    }
    return 0;
}
