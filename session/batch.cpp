#include "app/ZorvikTestTool.h"

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
    if (session.has(SessionState::verifying)) {
        session.setFlag(SessionState::verifying, false);
        verifyWrite();
    }
}

// One beat of the batch write: selectors 28 to 36, each gated by its bit of
// writeMask in the command builder. The terminal's answers to writes are never
// consumed, so each write that goes out ends by the step time-out.
void ZorvikTestTool::writeStepBeat()
{
    if (session.writeStep < kWriteStepStart || session.writeStep >= kWriteStepDone)
        return;
    if (!stepMayAdvance(session.writeTick))
        return;
    ++session.writeStep;
    if (session.writeStep < kWriteStepDone) {
        sendCommand(session.writeStep);
        session.writeTick = 0;
        return;
    }
    appendLog(QStringLiteral("已发完所选写入参数,正在校验所写参数\r\n"));
    session.setFlag(SessionState::verifying, true);
    session.startRead(); // the read step of this same beat starts the read-back
}

// A batch does not outlive its connection. The next terminal connected may be
// another one (a technician provisions one after the other), and the rest of a
// write, a serial number or MQTT credentials among it, must not go into that
// terminal unasked.
void ZorvikTestTool::stopBatches()
{
    session.readStep = kReadStepIdle;
    session.writeStep = 0;
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
        const bool confirmed =
            (session.answeredMask & p.bit) != 0 && write.value(p.bit) == p.readBack(ui, session);
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
