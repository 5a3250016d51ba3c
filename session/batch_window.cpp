#include "app/ZorvikTestTool.h"

#include "protocol/selectors.h"
#include "session/parameters.h"

#include <QMessageBox>

// One beat of the batch read: selectors 13 to 25, each sent once the previous
// reply has been consumed or given up. While the terminal has not enabled its
// AT commands the read stays where it is and asks it to.
void ZorvikTestTool::readStepBeat()
{
    if (session.readStep >= kReadStepIdle)
        return;
    if (!stepMayAdvance(session.readTick))
        return;
    if (!session.has(SessionState::atEnabled)) {
        requestAtEnable();
        return;
    }
    ++session.readStep;
    if (session.readStep < kReadStepIdle) {
        sendCommand(session.readStep);
        session.readTick = 0;
        return;
    }
    appendLog(QStringLiteral("已发完批量读取命令\r\n"));
    progressCompleted = true;
    if (session.verifyingWrite()) {
        session.setVerifyingWrite(false);
        verifyWrite();
    }
}

// One beat of the batch write: selectors 28 to 36, each gated by its bit of
// the selection in the command builder. A write that goes out ends on the
// terminal's "OK" or "ERROR" to it, or else by the step time-out; the station
// address and baud rate always by the time-out (see below).
//
// A terminal answers a Modbus write by sending the request back unchanged,
// and a half-duplex adapter echoes the request too: one copy on the line may
// be either, and only two copies would tell. The receive stage drops the
// first copy as the adapter's echo, so these two writes wait out their time.
void ZorvikTestTool::writeStepBeat()
{
    if (session.writeStep < kWriteStepStart || session.writeStep >= kWriteStepDone)
        return;
    const int awaited = waitSelector;
    if (!stepMayAdvance(session.writeTick))
        return;
    // Given up unanswered: a late answer of text could still come under the
    // next step. A register command's answer is a frame, never a verdict.
    if (awaited != selector::none && !selector::isRegisterCommand(awaited))
        session.snapshot.resultCodesHeeded = false;
    ++session.writeStep;
    if (session.writeStep < kWriteStepDone) {
        sendCommand(session.writeStep);
        session.writeTick = 0;
        return;
    }
    appendLog(QStringLiteral("已发完所选写入参数,正在校验所写参数\r\n"));
    session.setVerifyingWrite(true);
    session.startRead(); // the read step of this same beat starts the read-back
}

// The terminal answered a write with "ERROR": each parameter the command
// carried is named at once. In a batch write it fails the verification too.
void ZorvikTestTool::writeRefused(int selectorNumber)
{
    WriteSnapshot &write = session.snapshot;
    quint16 refused = WriteBit::serialNumber;
    if (selectorNumber != selector::writeSerialNumberNow) {
        refused = quint16(parameters::writtenBy(selectorNumber) & write.sentMask);
        write.rejectedMask = quint16(write.rejectedMask | refused);
    }
    for (int i = 0; i < parameters::kCount; ++i) {
        const parameters::Parameter &p = parameters::table()[i];
        if (refused & p.bit)
            appendLog(QString::fromUtf8(p.name) + QStringLiteral("写入被拒绝"));
    }
}

// A batch does not outlive its connection. The next terminal connected may be
// another one (a technician provisions one after the other), and the rest of a
// write, a serial number or MQTT credentials among it, must not go into that
// terminal unasked.
void ZorvikTestTool::stopBatches()
{
    session.readStep = kReadStepIdle;
    session.writeStep = 0;
    // In both its meanings: no read-back runs, and no read waits to start.
    session.setFlag(SessionState::verifying, false);
}

// Confirms each written parameter by what the terminal answered in the
// read-back just completed. A parameter counts as written only when its value
// came from the terminal in this read-back and equals the value written: a
// value the window still shows from an earlier read proves nothing. Written
// means taken when the write was accepted, whatever the fields show now.
void ZorvikTestTool::verifyWrite()
{
    const WriteSnapshot &write = session.snapshot;
    int failures = 0;
    quint16 failed = 0;
    for (int i = 0; i < parameters::kCount; ++i) {
        const parameters::Parameter &p = parameters::table()[i];
        if ((write.mask & p.bit) == 0)
            continue;
        // A value the terminal refused is not taken, whatever it reads back.
        const bool confirmed = (session.answeredMask & p.bit) != 0 &&
                               (write.rejectedMask & p.bit) == 0 &&
                               write.value(p.bit) == p.readBack(ui, session);
        if (confirmed)
            continue;
        appendLog(QString::fromUtf8(p.failure));
        failed = quint16(failed | p.bit);
        ++failures;
    }
    if (failures == 0) {
        appendLog(QStringLiteral("批量写入成功\r\n"));
        recordWriteVerdict(failed);
        return;
    }
    const QString text = QStringLiteral("批量写入失败数量：\r\n") + QString::number(failures);
    appendLog(text);
    recordWriteVerdict(failed);
    QMessageBox::information(nullptr, QStringLiteral("写入失败"), text, QMessageBox::Ok,
                             QMessageBox::NoButton);
}

// Every value of `write` selected in `bits` must go out as one argument of one
// command. Each one that cannot is named in the log.
bool ZorvikTestTool::typedValuesAcceptable(const WriteSnapshot &write, quint16 bits)
{
    bool acceptable = true;
    for (int i = 0; i < parameters::kCount; ++i) {
        const parameters::Parameter &p = parameters::table()[i];
        if ((bits & p.bit) == 0)
            continue;
        const std::optional<QString> problem = parameters::inputProblem(p.bit, write.value(p.bit));
        if (problem) {
            appendLog(*problem);
            acceptable = false;
        }
    }
    return acceptable;
}
