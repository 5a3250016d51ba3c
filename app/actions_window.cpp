#include "app/ZorvikTestTool.h"

#include "protocol/selectors.h"
#include "session/parameters.h"

namespace {
// A write of any of these gives a terminal its identity: the SN, or the MQTT
// credentials that belong to one SN.
constexpr quint16 kIdentityBits = WriteBit::serialNumber | WriteBit::mqttName | WriteBit::mqttCode;
} // namespace

// The user's actions that need no more than a few lines: starting the batch
// sequences, the buttons that send one command, the value setters and the
// check boxes that choose what a batch write sends.

void ZorvikTestTool::onReadButtonClicked()
{
    // A write still sending ends here without its verdict; during its
    // read-back the read starts over and the verdict still follows.
    const bool writing = session.writeStep >= kWriteStepStart && session.writeStep < kWriteStepDone;
    session.writeStep = 0; // a batch write in progress stops here
    session.startRead();
    appendLog(QStringLiteral("批量读取参数开始"));
    if (writing)
        recordWriteInterrupted(QStringLiteral("批量读取"));
}

void ZorvikTestTool::onWriteButtonClicked()
{
    // No MQTT credentials of another serial number go out (the binding file
    // may fill the fields now). Then every value is taken at once: what is
    // checked here is what goes out, is verified and is recorded, whatever
    // the fields show meanwhile.
    if (!bindingCredentialsAcceptable()) {
        appendLog(QStringLiteral("批量写入未开始"));
        return;
    }
    WriteSnapshot write = parameters::snapshot(ui, session);
    const quint16 carried = parameters::carried(write.mask);
    if (!typedValuesAcceptable(write, carried)) {
        appendLog(QStringLiteral("批量写入未开始"));
        return;
    }
    if (carried & kIdentityBits) {
        // The question waits for the technician while the line goes on: the
        // terminal may be gone by the answer.
        if (!repeatedSerialNumberAllowed(write.value(WriteBit::serialNumber), &write.repeated) ||
            (write.repeated && session.connectState != Connected)) {
            appendLog(QStringLiteral("批量写入未开始"));
            return;
        }
    }
    write.bindingFile = recordedBindingFile(write);
    beginRecordedWrite();
    session.snapshot = write;
    if (session.readStep != kReadStepIdle)
        session.readStep = kReadStepIdle; // a batch read in progress stops here
    session.writeTick = 0;
    session.writeStep = kWriteStepStart;
    appendLog(QStringLiteral("批量写入参数开始"));
}

void ZorvikTestTool::onpushButton_3Clicked()
{
    sendCommand(selector::toggleRelay1);
}
void ZorvikTestTool::onpushButton_2Clicked()
{
    sendCommand(selector::toggleRelay2);
}
void ZorvikTestTool::onpushButtonClicked()
{
    sendCommand(selector::toggleRelay3);
}
void ZorvikTestTool::onpushButton_4Clicked()
{
    sendCommand(selector::toggleDevice);
}
void ZorvikTestTool::readSNButtonClicked()
{
    sendCommand(selector::readSerialNumber);
}
// The number of the moment of pressing goes out, checked like a batch
// write's, and a number written before is asked about first.
void ZorvikTestTool::writeSNButtonClicked()
{
    const std::optional<QString> problem =
        parameters::inputProblem(WriteBit::serialNumber, session.wSN);
    if (problem) {
        appendLog(*problem);
        return;
    }
    bool repeated = false;
    if (!repeatedSerialNumberAllowed(session.wSN, &repeated)) {
        appendLog(QStringLiteral("写入SN号未开始"));
        return;
    }
    sendCommand(selector::writeSerialNumberNow);
}

void ZorvikTestTool::onBraudRate_1Changed(int)
{
    session.braudRate = ui.BraudRate_1->currentText().toInt();
}

void ZorvikTestTool::onWBraudRate_1Changed(int)
{
    session.wBraudRate = ui.BraudRate_3->currentText().toInt();
}

void ZorvikTestTool::onDevAddressChanged(int address)
{
    session.devAddress = quint8(address);
}

void ZorvikTestTool::onWDevAddressChanged(int address)
{
    session.wDevAddress = quint8(address);
}

// The interval is read from readAddress_5 when the write command is built.
void ZorvikTestTool::onWupDataIntervalChanged(int) {}

// "站号：" and "SN" share this slot: both bits follow both boxes.
void ZorvikTestTool::devNumCheckClicked()
{
    session.setMask(WriteBit::devAddress, ui.checkBox->isChecked());
    session.setMask(WriteBit::serialNumber, ui.checkBox_8->isChecked());
}

void ZorvikTestTool::braudRateCheckClicked()
{
    session.setMask(WriteBit::braudRate, ui.checkBox_2->isChecked());
}

void ZorvikTestTool::srvProtocolCheckClicked()
{
    session.setMask(WriteBit::srvProtocol, ui.checkBox_7->isChecked());
}

void ZorvikTestTool::devTypeCheckClicked()
{
    session.setMask(WriteBit::devType, ui.checkBox_13->isChecked());
}

// "BEAT=" writes the MQTT key together with the interval, so choosing the
// interval chooses the key too; dropping the interval leaves the key chosen.
void ZorvikTestTool::upDataIntervalCheckClicked()
{
    if (ui.checkBox_16->isChecked()) {
        session.setMask(WriteBit::upDataInterval | WriteBit::mqttCode, true);
        ui.checkBox_15->setChecked(true);
    } else {
        session.setMask(WriteBit::upDataInterval, false);
    }
}

// "DOMAIN=" carries the server address and port together: the two boxes
// always move as one.
void ZorvikTestTool::srvAddrCheckClicked()
{
    const bool on = ui.checkBox_3->isChecked();
    session.setMask(WriteBit::srvAddr | WriteBit::srvPort, on);
    ui.checkBox_4->setChecked(on);
}

void ZorvikTestTool::srvPortCheckClicked()
{
    const bool on = ui.checkBox_4->isChecked();
    session.setMask(WriteBit::srvAddr | WriteBit::srvPort, on);
    ui.checkBox_3->setChecked(on);
}

void ZorvikTestTool::mqttNameCheckClicked()
{
    session.setMask(WriteBit::mqttName, ui.checkBox_14->isChecked());
}

void ZorvikTestTool::mqttCodeCheckClicked()
{
    session.setMask(WriteBit::mqttCode, ui.checkBox_15->isChecked());
}

// The tick brings the terminal's log in line with this wish every 2 s. A wait
// for an answer that nobody reads ends here; an answer that is read (a batch
// read's value) is still waited for, or it would land under the next command.
void ZorvikTestTool::gsmLogCheckClicked()
{
    session.setFlag(SessionState::logWanted, ui.checkBox_5->isChecked());
    if (!selector::awaitsReadableReply(waitSelector))
        waitSelector = 0;
}
