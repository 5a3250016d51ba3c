#include "app/ZorvikTestTool.h"

#include "protocol/catalogue.h"
#include "protocol/selectors.h"
#include "session/parameters.h"

#include <variant>

namespace {

// A toggle button's caption names what its next click does. Finding "打开"
// means switching on now; once the command has gone out, the caption turns to
// the opposite action, without waiting for the terminal's answer.
struct Toggle
{
    QPushButton *button = nullptr;
    QString what;

    bool switchOn() const { return button->text().contains(QStringLiteral("打开")); }
    QString nextCaption() const
    {
        return (switchOn() ? QStringLiteral("关闭") : QStringLiteral("打开")) + what;
    }
};

Toggle toggleOf(int selectorNumber, Ui::ZorvikTestToolClass &ui)
{
    switch (selectorNumber) {
    case selector::toggleRelay1:
        return {ui.pushButton_3, QStringLiteral("继电器1")};
    case selector::toggleRelay2:
        return {ui.pushButton_2, QStringLiteral("继电器2")};
    case selector::toggleRelay3:
        return {ui.pushButton, QStringLiteral("继电器3")};
    case selector::toggleDevice:
        return {ui.pushButton_4, QStringLiteral("设备")};
    default:
        return {};
    }
}

} // namespace

void ZorvikTestTool::sendCommand(int selectorNumber)
{
    // A command that cannot be written (the port is closed) is not sent:
    // nothing is awaited, no caption turns and nothing is logged as sent.
    if (!catalogue::sendConditionHolds(selectorNumber, session) || !serialPort.isOpen()) {
        waitSelector = selector::none;
        return;
    }
    const Toggle toggle = toggleOf(selectorNumber, ui);
    const QString nextCaption = toggle.button ? toggle.nextCaption() : QString();
    const catalogue::Command command =
        catalogue::command(selectorNumber, session, toggle.button && toggle.switchOn());
    // The MQTT name and key written are kept as their command is made.
    if (selectorNumber == selector::writeMqttName)
        session.wMqttName = session.snapshot.value(WriteBit::mqttName);
    else if (selectorNumber == selector::writeMqttKey)
        session.wMqttCode = session.snapshot.value(WriteBit::mqttCode);

    // A send replaces whatever reply was awaited: the bytes received so far
    // belong to the old command and are dropped.
    waitSelector = selectorNumber;
    rxQuietTicks = 0;
    discardReceived();

    QString logLine;
    bool sent = false;
    if (const auto *request = std::get_if<catalogue::Rs485Request>(&command)) {
        sent = sendRs485Frame(request->address, request->function, request->reg, request->value);
        logLine = QStringLiteral("发送RS485指令:") + QString::number(request->function);
    } else {
        const QString text =
            QStringLiteral("AT+") + std::get<QString>(command) + QStringLiteral("\r\n");
        // The terminal reads one byte per character; whatever Latin-1 cannot
        // hold goes out as "?".
        sent = writeCommandBytes(text.toLatin1());
        logLine = QStringLiteral("发送AT指令:") + text;
    }
    if (!sent) {
        waitSelector = selector::none;
        return;
    }
    if (toggle.button)
        toggle.button->setText(nextCaption);
    // The record of a write that ends early names only what went out.
    WriteSnapshot &write = session.snapshot;
    write.sentMask = quint16(write.sentMask | (parameters::writtenBy(selectorNumber) & write.mask));
    appendLog(logLine);
}
