#include "app/ZorvikTestTool.h"

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
    session.readTick = 0;
    session.readStep = kReadStepStart; // the read step of this same beat starts the read-back
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

// Compares each written parameter with what the read-back shows.
void ZorvikTestTool::verifyWrite()
{
    struct Check
    {
        quint16 bit;
        bool same;
        const char *failure;
    };
    const Check checks[] = {
        {WriteBit::devAddress, ui.readAddress_3->text() == ui.readAddress_2->text(),
         "设备站号写入失败\r\n"},
        {WriteBit::braudRate, ui.BraudRate_3->currentText() == ui.braudRate_2->currentText(),
         "波特率写入失败\r\n"},
        {WriteBit::srvProtocol, ui.BraudRate_4->currentIndex() == ui.BraudRate_5->currentIndex(),
         "服务器通信协议写入失败\r\n"},
        {WriteBit::devType, ui.BraudRate_10->currentIndex() == ui.BraudRate_9->currentIndex(),
         "设备类型写入失败\r\n"},
        {WriteBit::upDataInterval, ui.readAddress_5->text() == ui.readAddress_4->text(),
         "上传间隔写入失败\r\n"},
        {WriteBit::srvAddr, ui.textEdit_2->toPlainText() == ui.textBrowser->toPlainText(),
         "服务器地址写入失败\r\n"},
        {WriteBit::srvPort, ui.textEdit_3->toPlainText() == ui.textBrowser_5->toPlainText(),
         "服务器端口写入失败\r\n"},
        {WriteBit::mqttName, ui.textEdit_5->toPlainText() == ui.textBrowser_2->toPlainText(),
         "mqttName写入失败\r\n"},
        {WriteBit::mqttCode, ui.textEdit_4->toPlainText() == ui.textBrowser_6->toPlainText(),
         "mqttCode写入失败\r\n"},
        {WriteBit::serialNumber, ui.SNlineEdit->text() == ui.lineEdit->text(), "SN写入失败\r\n"},
    };

    int failures = 0;
    quint16 failed = 0;
    for (const Check &check : checks) {
        if (session.masked(check.bit) && !check.same) {
            appendLog(QString::fromUtf8(check.failure));
            ++failures;
            failed |= check.bit;
        }
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
