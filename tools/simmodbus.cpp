// The terminal's Modbus RTU side: five holding registers, function 3 reads of
// one register and function 6 writes.

#include "SimLink.h"
#include "TerminalSimulator.h"

namespace {

constexpr quint8 kReadHoldingRegisters = 3;
constexpr quint8 kWriteSingleRegister = 6;
constexpr quint8 kExceptionFlag = 0x80;

constexpr quint8 kIllegalFunction = 1;
constexpr quint8 kIllegalDataAddress = 2;
constexpr quint8 kIllegalDataValue = 3;

constexpr quint16 kStationAddressRegister = 0x0100;
constexpr quint16 kBaudCodeRegister = 0x0101;
// Relay 1 sits apart from relays 2 and 3; that is the terminal's map.
constexpr quint16 kRelayRegisters[] = {0x0106, 0x010C, 0x010D};

// Station 0 reaches every terminal on the line: the tool reads the station
// address that way before it knows it.
constexpr int kAnyStation = 0;
constexpr int kMaxStationAddress = 254;

quint16 wordAt(const QByteArray &frame, int index)
{
    return static_cast<quint16>(static_cast<quint8>(frame.at(index)) << 8 |
                                static_cast<quint8>(frame.at(index + 1)));
}

int relayIndex(quint16 reg)
{
    for (int i = 0; i < 3; ++i) {
        if (kRelayRegisters[i] == reg)
            return i;
    }
    return -1;
}

// How a register is named when its writes are to be ignored: "0100".
QString registerKeyword(quint16 reg)
{
    return QStringLiteral("%1").arg(reg, 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

TerminalSimulator::Answer TerminalSimulator::answerModbus(const QByteArray &frame)
{
    const int station = static_cast<quint8>(frame.at(0));
    if (station != kAnyStation && station != m_state.address)
        return {};
    const auto function = static_cast<quint8>(frame.at(1));
    const quint16 reg = wordAt(frame, 2);
    const quint16 value = wordAt(frame, 4);
    switch (function) {
    case kReadHoldingRegisters:
        return readRegister(function, reg, value);
    case kWriteSingleRegister:
        return writeRegister(frame, reg, value);
    default:
        return Answer{exceptionReply(function, kIllegalFunction), {}};
    }
}

TerminalSimulator::Answer TerminalSimulator::readRegister(quint8 function, quint16 reg,
                                                          quint16 quantity) const
{
    if (quantity != 1)
        return Answer{exceptionReply(function, kIllegalDataValue), {}};
    int value = 0;
    const int relay = relayIndex(reg);
    if (reg == kStationAddressRegister)
        value = m_state.address;
    else if (reg == kBaudCodeRegister)
        value = m_state.baudCode;
    else if (relay >= 0)
        value = m_state.relays[relay] ? 1 : 0;
    else
        return Answer{exceptionReply(function, kIllegalDataAddress), {}};

    // The reply carries the terminal's own address, also to a station-0 read.
    QByteArray reply;
    reply.append(static_cast<char>(m_state.address));
    reply.append(static_cast<char>(function));
    reply.append(static_cast<char>(2));
    reply.append(static_cast<char>((value >> 8) & 0xFF));
    reply.append(static_cast<char>(value & 0xFF));
    return Answer{termsim::withCrc(reply), {}};
}

TerminalSimulator::Answer TerminalSimulator::writeRegister(const QByteArray &frame, quint16 reg,
                                                           quint16 value)
{
    const int relay = relayIndex(reg);
    bool valid = false;
    if (reg == kStationAddressRegister)
        valid = value >= 1 && value <= kMaxStationAddress;
    else if (reg == kBaudCodeRegister)
        valid = value <= termsim::kMaxBaudCode;
    else if (relay >= 0)
        valid = value <= 1;
    else
        return Answer{exceptionReply(kWriteSingleRegister, kIllegalDataAddress), {}};
    if (!valid)
        return Answer{exceptionReply(kWriteSingleRegister, kIllegalDataValue), {}};

    // A write is confirmed by echoing the request, also when told to ignore it.
    Answer answer{frame, {}};
    if (writeIgnored(registerKeyword(reg)))
        return answer;
    if (reg == kStationAddressRegister) {
        m_state.address = value;
    } else if (reg == kBaudCodeRegister) {
        // The echo still leaves at the old rate; the next request is heard at
        // the new one.
        m_state.baudCode = value;
        answer.afterSent = [this] {
            if (m_link)
                m_link->setOwnBaudRate(ownBaudRate());
        };
    } else {
        m_state.relays[relay] = value == 1;
    }
    return answer;
}

QByteArray TerminalSimulator::exceptionReply(quint8 function, quint8 code) const
{
    QByteArray reply;
    reply.append(static_cast<char>(m_state.address));
    reply.append(static_cast<char>(function | kExceptionFlag));
    reply.append(static_cast<char>(code));
    return termsim::withCrc(reply);
}
