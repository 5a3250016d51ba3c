#include "simcodec.h"

namespace termsim {

namespace {

const QByteArray kAtPrefix = QByteArrayLiteral("AT");
const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

// A line that long without "\r\n" is not a command the terminal would take;
// it stops the buffer from growing without end on a noisy line. Commands come
// in at the line's pace, a few bytes at a time, so the bound lies beyond the
// longest a tool might send (an SN pasted by mistake, thousands of characters).
constexpr int kMaxAtLineLength = 64 * 1024;

} // namespace

quint16 crc16Modbus(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : (crc >> 1);
    }
    return crc;
}

QByteArray withCrc(const QByteArray &bytes)
{
    const quint16 crc = crc16Modbus(bytes);
    QByteArray frame = bytes;
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

bool hasValidCrc(const QByteArray &frame)
{
    if (frame.size() < 3)
        return false;
    return withCrc(frame.left(frame.size() - 2)) == frame;
}

int baudRateForCode(int code)
{
    static const int kRates[] = {2400, 4800, 9600, 115200, 19200};
    return (code >= 0 && code <= kMaxBaudCode) ? kRates[code] : 0;
}

const QStringList &serverProtocolNames()
{
    static const QStringList names = {
        QStringLiteral("TCP_RAW"), QStringLiteral("TCP_JT808"), QStringLiteral("TCP_EC"),
        QStringLiteral("MQTT"),    QStringLiteral("UNKNOWN"),
    };
    return names;
}

const QStringList &deviceTypeNames()
{
    static const QStringList names = {
        QStringLiteral("BREAKER_RS485"),   QStringLiteral("VALVE_12V"),
        QStringLiteral("RESERVED"),        QStringLiteral("REMOTE_3KEY"),
        QStringLiteral("SOCKET"),          QStringLiteral("MANIPULATOR_220V"),
        QStringLiteral("METERING_SOCKET"), QStringLiteral("RELAY_BOARD_3"),
        QStringLiteral("RS485_BRIDGE_4G"),
    };
    return names;
}

bool RequestFramer::next(Piece *piece)
{
    while (!m_buffer.isEmpty()) {
        // A lone "A" may still become "AT": wait for the next byte.
        if (m_buffer.size() == 1 && m_buffer.at(0) == 'A')
            return false;
        if (m_buffer.startsWith(kAtPrefix))
            return takeAtLine(piece);
        if (m_buffer.size() < kModbusRequestSize)
            return false;
        if (takeModbusFrame(piece))
            return true;
        // Out of step: drop one byte and look again from the next one.
        m_noise.append(m_buffer.at(0));
        m_buffer.remove(0, 1);
    }
    return false;
}

bool RequestFramer::takeAtLine(Piece *piece)
{
    const int end = m_buffer.indexOf(kLineEnd);
    if (end < 0) {
        if (m_buffer.size() > kMaxAtLineLength) {
            m_noise.append(m_buffer);
            m_buffer.clear();
            return handOutNoiseFirst(piece);
        }
        return false;
    }
    if (handOutNoiseFirst(piece))
        return true;
    piece->kind = RequestKind::At;
    piece->bytes = m_buffer.left(end + kLineEnd.size());
    m_buffer.remove(0, piece->bytes.size());
    return true;
}

bool RequestFramer::takeModbusFrame(Piece *piece)
{
    if (!hasValidCrc(m_buffer.left(kModbusRequestSize)))
        return false;
    if (handOutNoiseFirst(piece))
        return true;
    piece->kind = RequestKind::Modbus;
    piece->bytes = m_buffer.left(kModbusRequestSize);
    m_buffer.remove(0, kModbusRequestSize);
    return true;
}

bool RequestFramer::handOutNoiseFirst(Piece *piece)
{
    if (m_noise.isEmpty())
        return false;
    piece->kind = RequestKind::Noise;
    piece->bytes = m_noise;
    m_noise.clear();
    return true;
}

QByteArray RequestFramer::takeLeftover()
{
    QByteArray leftover = m_noise + m_buffer;
    m_noise.clear();
    m_buffer.clear();
    return leftover;
}

QString hexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString escapedText(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<quint8>(c);
        if (c == '\r')
            text += QLatin1String("\\r");
        else if (c == '\n')
            text += QLatin1String("\\n");
        else if (c == '\t')
            text += QLatin1String("\\t");
        else if (c == '\\')
            text += QLatin1String("\\\\");
        else if (byte < 0x20 || byte == 0x7F)
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        else
            text += QChar(byte);
    }
    return text;
}

bool looksLikeText(const QByteArray &bytes)
{
    for (const char c : bytes) {
        const auto byte = static_cast<quint8>(c);
        const bool control = byte < 0x20 || (byte >= 0x7F && byte < 0xA0);
        if (control && c != '\r' && c != '\n' && c != '\t')
            return false;
    }
    return !bytes.isEmpty();
}

} // namespace termsim
