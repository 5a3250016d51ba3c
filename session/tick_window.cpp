#include "app/ZorvikTestTool.h"

#include "protocol/adapterecho.h"
#include "protocol/atreplies.h"
#include "protocol/selectors.h"
#include "session/timing.h"

#include <limits>

namespace {
// How the answer awaited under a selector ends.
replies::AnswerEnd answerEndOf(int waited)
{
    switch (waited) {
    case selector::readInterval:
    case selector::readMqttKey:
        return replies::AnswerEnd::lineAfterOk;
    case selector::readMqttName:
        return replies::AnswerEnd::ownLine;
    default:
        return replies::AnswerEnd::okLine;
    }
}
} // namespace

void ZorvikTestTool::_10msTimerCallback()
{
    const LogBatch batch(*this); // a report storm's entries go into the log window at once
    receiveStage();

    if (++tick100ms >= timing::kTicksPerBeat) {
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
        showProgress();
    }

    // The device-log sync falls due every 2 s but never cuts short a reply
    // that is still awaited and would be read: it waits for a later tick.
    if (++tick2s >= timing::kTicksPerLogSync) {
        tick2s = 0;
        logSyncDue = true;
    }
    if (logSyncDue && !selector::awaitsReadableReply(waitSelector)) {
        logSyncDue = false;
        syncDeviceLog();
    }
}

// Judges whether the bytes received form a complete reply and hands them to
// the connection reply handling or to the parsers. Only the bytes not offered
// yet count: text that no parser takes stays in the buffer, and the same text
// would give the same result, so it is offered again only once more bytes
// have come in (the same report must not be handled a hundred times a
// second). The size rule is judged on those new bytes as well: unsolicited
// output piles up in the buffer, and measured on all of it, a report that
// comes in a few bytes at a time would be looked at on every tick and read
// cut in two.
void ZorvikTestTool::receiveStage()
{
    if (rxBuffer.isEmpty())
        return;
    const quint16 quiet = rxQuietTicks;
    if (rxQuietTicks < std::numeric_limits<quint16>::max())
        ++rxQuietTicks;
    const int fresh = rxBuffer.size() - rxOfferedSize;
    if (fresh <= 0) {
        takeUnterminatedOutput();
        return;
    }
    // A write's verdict is a line of its own, and nothing of the answer comes
    // after it: once its line end is in, it is taken at once rather than
    // after the quiet ticks, which would often let the next beat pass.
    const bool verdictIn =
        awaitsResultCode() && replies::finalResult(rxBuffer.constData(), rxBuffer.size()).code !=
                                  replies::ResultCode::none;
    if (!verdictIn && fresh <= timing::kCompleteAboveBytes && quiet < timing::kQuietTicks)
        return;

    // An echoing adapter sends the command back in front of the answer. The
    // echo is no answer: it is dropped before any reply rule sees it, and if
    // it is all there is, the answer is still to come.
    if (!rxEcho.isEmpty()) {
        const int echo = replies::echoLength(rxBuffer, rxEcho);
        if (echo < 0) {
            rxOfferedSize = rxBuffer.size(); // only the start of it so far
            return;
        }
        rxEcho.clear();
        dropReceivedFront(echo);
        if (rxBuffer.isEmpty())
            return;
    }

    // The size rule hands a long answer over before the line falls silent,
    // but not one that is visibly still coming in: at 9600 baud an answer
    // passes 100 bytes long before its end, and read then it would be taken
    // cut (a serial number without its line end, a version without its "OK").
    // Silence still ends any answer.
    if (quiet < timing::kQuietTicks && selector::hasAtReplyRule(waitSelector) &&
        !replies::answerEnded(rxBuffer.constData(), rxBuffer.size(), answerEndOf(waitSelector)))
        return;

    routeReply();
    rxOfferedSize = rxBuffer.size();
}

// The terminal's own output that stopped without its line end has waited
// long enough for its rest: it is read as it stands, once.
void ZorvikTestTool::takeUnterminatedOutput()
{
    const bool ownOutput =
        !selector::hasAtReplyRule(waitSelector) && !selector::isConnectionCommand(waitSelector);
    if (ownOutput && rxQuietTicks == timing::kUnterminatedQuietTicks &&
        rxUnsolicitedFrom < rxBuffer.size())
        parseAtReply(rxBuffer.constData(), quint16(rxBuffer.size()));
}

// Hands a complete reply to the rule for what is awaited: the connection
// reply handling, a write's verdict, or the register and AT parsers.
void ZorvikTestTool::routeReply()
{
    if (selector::isConnectionCommand(waitSelector)) {
        handleConnectionReply();
    } else if (awaitsResultCode() && takeResultCode()) {
        // The write's step is over; what came in after its verdict stays.
    } else if (parseRs485Reply(rxBuffer.constData(), quint16(rxBuffer.size())) ||
               parseAtReply(rxBuffer.constData(), quint16(rxBuffer.size()))) {
        waitSelector = 0;
        discardReceived();
    }
}

// Whether the answer awaited is a write's "OK" or "ERROR" that ends its step.
// Not while the terminal's own log is on: it may hold lines of the terminal's
// own modem talk, "OK" and "ERROR" among them. In a batch write, not after a
// step went unanswered (its late answer could end the wrong step); "写入SN号"
// stands alone and always heeds its answer.
bool ZorvikTestTool::awaitsResultCode() const
{
    if (!selector::answersWithResultCode(waitSelector) || session.has(SessionState::logOn))
        return false;
    return waitSelector == selector::writeSerialNumberNow || session.snapshot.resultCodesHeeded;
}

// The step discipline of both batch sequences: true when the sequence may go
// on to its next step in this beat, either because the awaited reply has been
// consumed or because it has been waited for long enough (no retry).
bool ZorvikTestTool::stepMayAdvance(quint16 &beatCounter)
{
    const quint16 waited = beatCounter++;
    if (waited >= timing::kStepTimeoutBeats) {
        beatCounter = 0;
        waitSelector = 0;
        return true;
    }
    return waitSelector == 0;
}
