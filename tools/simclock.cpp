// The terminal in time-lapse: a clock that runs only when a test moves it,
// and a line that carries bytes at its rate in that time.

#include "SimLink.h"
#include "TerminalSimulator.h"

namespace {

// A UART frame of 8N1 is 10 bits long: start bit, 8 data bits, stop bit.
constexpr int kBitsPerByte = 10;
// A request cut short by this much silence on the line will not be completed
// (the same rule as the wall-clock timer of the terminal's UART driver).
constexpr double kSilenceMs = 100;

} // namespace

void TerminalSimulator::useSteppedClock()
{
    m_stepped = true;
    m_silenceTimer.stop();
}

double TerminalSimulator::msPerByte() const
{
    // The pseudo-terminal carries the rate the tool has set; before it has
    // set one, the terminal's own.
    int rate = m_link ? m_link->lineSettings().baudRate : 0;
    if (rate <= 0)
        rate = ownBaudRate();
    return 1000.0 * kBitsPerByte / qMax(1, rate);
}

void TerminalSimulator::advanceClock(int ms)
{
    if (!m_stepped || ms <= 0)
        return;
    const double end = m_nowMs + ms;
    const double perByte = msPerByte();
    // What the tool sent is heard first: the answers it brings leave from the
    // moment their request was complete, within this same stretch of time.
    receiveUntil(end, perByte);
    m_nowMs = end;
    if (m_silencePending && end - m_lastHeardAt >= kSilenceMs) {
        m_silencePending = false;
        onSilence();
    }
    transmitUntil(end, perByte);
}

// The request bytes are heard one by one as each has crossed, so that a
// request is complete, and its answer starts, at its last byte's time.
void TerminalSimulator::receiveUntil(double endMs, double perByte)
{
    while (!m_lineIn.isEmpty() && m_lineInFreeAt + perByte <= endMs) {
        m_lineInFreeAt += perByte;
        m_nowMs = m_lineInFreeAt;
        const QByteArray byte = m_lineIn.left(1);
        m_lineIn.remove(0, 1);
        takeRequestBytes(byte);
    }
}

// One transmitter: the chunks leave in order, each after its pause, byte
// after byte; a chunk's pause starts once the one before it is out.
void TerminalSimulator::transmitUntil(double endMs, double perByte)
{
    while (!m_lineOut.isEmpty()) {
        LineChunk &chunk = m_lineOut.first();
        if (chunk.startAt < 0)
            chunk.startAt = qMax(m_lineOutFreeAt, chunk.queuedAt) + chunk.pauseMs;
        double at = qMax(m_lineOutFreeAt, chunk.startAt);
        const int from = chunk.sent;
        while (chunk.sent < chunk.bytes.size() && at + perByte <= endMs) {
            at += perByte;
            ++chunk.sent;
        }
        if (chunk.sent > from) {
            m_lineOutFreeAt = at;
            putOnLink(chunk.bytes.mid(from, chunk.sent - from));
        }
        if (chunk.sent < chunk.bytes.size())
            return;
        const std::function<void()> afterSent = chunk.afterSent;
        m_lineOut.removeFirst();
        if (afterSent)
            afterSent();
    }
}

qint64 TerminalSimulator::bytesWaitingOnLink() const
{
    return m_link ? m_link->bytesUnread() : 0;
}

void TerminalSimulator::discardUnheard()
{
    if (m_link)
        m_link->discardUnread();
}
