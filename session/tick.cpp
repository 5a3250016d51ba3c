#include "app/ZorvikTestTool.h"

#include <limits>

namespace {
constexpr quint16 kTicksPerBeat = 10;     // 100 ms beat
constexpr quint16 kTicksPerLogSync = 200; // 2 s device-log sync
constexpr quint16 kQuietTicks = 5;        // a reply is complete after 5 silent ticks...
constexpr int kCompleteAboveBytes = 100;  // ...or as soon as it is longer than this
constexpr quint16 kStepTimeoutBeats = 20; // a step's reply is given up on the 21st beat
} // namespace

void ZorvikTestTool::_10msTimerCallback()
{
    receiveStage();

    if (++tick100ms >= kTicksPerBeat) {
        tick100ms = 0;
        switch (session.connectState) {
        case ManualConnecting:
            manualConnectBeat();
            break;
        case AutoConnecting:
            autoConnectBeat();
            break;
        case Connected:
            writeStepBeat();
            readStepBeat();
            break;
        default:
            break;
        }
    }

    if (++tick2s >= kTicksPerLogSync) {
        tick2s = 0;
        syncDeviceLog();
    }
}

// Judges whether the bytes received form a complete reply and hands them to
// the connection reply handling or to the parsers. Bytes that no parser takes
// stay in the buffer, but they are offered again only once more bytes arrive:
// the same text would give the same result, and the same report must not be
// handled a hundred times a second.
void ZorvikTestTool::receiveStage()
{
    if (rxBuffer.isEmpty())
        return;
    if (rxBuffer.size() <= kCompleteAboveBytes) {
        const quint16 quiet = rxQuietTicks;
        if (rxQuietTicks < std::numeric_limits<quint16>::max())
            ++rxQuietTicks;
        if (quiet < kQuietTicks)
            return;
    }
    if (rxBuffer.size() == rxOfferedSize)
        return;

    if (waitSelector >= 1 && waitSelector <= 3) {
        handleConnectionReply();
    } else if (parseRs485Reply(rxBuffer.constData(), quint16(rxBuffer.size())) ||
               parseAtReply(rxBuffer.constData(), quint16(rxBuffer.size()))) {
        waitSelector = 0;
        rxBuffer.clear();
        rxUnsolicitedFrom = 0;
    }
    rxOfferedSize = rxBuffer.size();
}

// The step discipline of both batch sequences: true when the sequence may go
// on to its next step in this beat, either because the awaited reply has been
// consumed or because it has been waited for long enough (no retry).
bool ZorvikTestTool::stepMayAdvance(quint16 &beatCounter)
{
    const quint16 waited = beatCounter++;
    if (waited >= kStepTimeoutBeats) {
        beatCounter = 0;
        waitSelector = 0;
        return true;
    }
    return waitSelector == 0;
}
