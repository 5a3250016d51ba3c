#pragma once

// The byte and text work of the simulated terminal: its own Modbus CRC-16,
// the framing of what arrives on the line, the terminal's code tables and the
// formatting used by the log. No I/O, no timers.
//
// The simulator deliberately does not share this with the tool: a test double
// that reused the tool's CRC or parsers would agree with the tool's mistakes.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace termsim {

enum class RequestKind {
    At,     // a text line "AT…\r\n"
    Modbus, // an 8-byte RTU request with a valid CRC
    Noise,  // bytes that formed neither and were discarded
};

constexpr int kModbusRequestSize = 8;

// CRC-16 of Modbus RTU: reflected polynomial 0xA001, initial value 0xFFFF,
// no final XOR. Sent low byte first.
quint16 crc16Modbus(const QByteArray &bytes);
// bytes followed by their CRC, low byte first.
QByteArray withCrc(const QByteArray &bytes);
// True when the last two bytes are the CRC of the ones before them.
bool hasValidCrc(const QByteArray &frame);

// Register 0x0101 holds a code, not a rate: 0 = 2400, 1 = 4800, 2 = 9600,
// 3 = 115200, 4 = 19200. Returns 0 for any other code.
int baudRateForCode(int code);
constexpr int kMaxBaudCode = 4;

// Names the terminal reports after the index in "+SRVPRO:" and "+DEVTYPE:".
// Plain ASCII: the line carries Latin-1.
const QStringList &serverProtocolNames();
const QStringList &deviceTypeNames();

// Cuts what arrives on the line into requests. Bytes may come in any pieces;
// a buffer that begins with "AT" is a text line up to "\r\n", anything else
// is tried as an 8-byte Modbus request, dropping one byte at a time until a
// valid CRC lines up again. Dropped bytes are handed out as one Noise piece
// before the request that follows them.
class RequestFramer
{
public:
    struct Piece
    {
        RequestKind kind = RequestKind::Noise;
        QByteArray bytes;
    };

    void append(const QByteArray &bytes) { m_buffer.append(bytes); }
    // Takes the next complete piece; false when more bytes are needed.
    bool next(Piece *piece);
    // Everything not yet handed out (after a silence on the line: the rest of
    // a request that will never be completed).
    QByteArray takeLeftover();

private:
    bool takeAtLine(Piece *piece);
    bool takeModbusFrame(Piece *piece);
    bool handOutNoiseFirst(Piece *piece);

    QByteArray m_buffer;
    QByteArray m_noise;
};

// "01 03 01 00 00 01 85 F6"
QString hexBytes(const QByteArray &bytes);
// Latin-1 text with control characters shown escaped: "AT+SN?\r\n".
QString escapedText(const QByteArray &bytes);
// True when bytes read as text: printable Latin-1, CR, LF and TAB only.
bool looksLikeText(const QByteArray &bytes);

} // namespace termsim
