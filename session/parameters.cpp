#include "session/parameters.h"

#include "protocol/selectors.h"
#include "ui_ZorvikTestTool.h"

#include <algorithm>

namespace parameters {

namespace {

using Ui = Ui::ZorvikTestToolClass;

QString number(int value)
{
    return QString::number(value);
}

constexpr int kMaxPort = 65535;

// The line carries one byte per character.
constexpr ushort kLastLatin1 = 0xFF;

// Typed values that the terminal would take empty, clearing its setting.
constexpr quint16 kNeverEmpty = WriteBit::srvAddr | WriteBit::srvPort | WriteBit::mqttName |
                                WriteBit::mqttCode | WriteBit::serialNumber;

// The station address and baud rate are read back from their registers, the
// rest from the terminal's AT answers. What the window shows may be clamped
// by its spin box, so numbers are compared as the terminal sent them.
const Parameter kTable[kCount] = {
    {WriteBit::devAddress, "站号", "设备站号写入失败\r\n",
     [](const Ui &ui, const SessionState &) { return number(ui.readAddress_3->value()); },
     [](const Ui &ui, const SessionState &) { return number(ui.readAddress_2->value()); }},
    {WriteBit::braudRate, "波特率", "波特率写入失败\r\n",
     [](const Ui &ui, const SessionState &) { return ui.BraudRate_3->currentText(); },
     [](const Ui &ui, const SessionState &) { return ui.braudRate_2->currentText(); }},
    {WriteBit::srvProtocol, "服务器协议", "服务器通信协议写入失败\r\n",
     [](const Ui &ui, const SessionState &) { return number(ui.BraudRate_4->currentIndex()); },
     [](const Ui &ui, const SessionState &) { return number(ui.BraudRate_5->currentIndex()); }},
    {WriteBit::devType, "设备类型", "设备类型写入失败\r\n",
     [](const Ui &ui, const SessionState &) { return number(ui.BraudRate_10->currentIndex()); },
     [](const Ui &ui, const SessionState &) { return number(ui.BraudRate_9->currentIndex()); }},
    {WriteBit::upDataInterval, "上传间隔", "上传间隔写入失败\r\n",
     [](const Ui &ui, const SessionState &) { return number(ui.readAddress_5->value()); },
     [](const Ui &, const SessionState &s) { return number(s.devUpDataInterval); }},
    {WriteBit::srvAddr, "服务器地址", "服务器地址写入失败\r\n",
     [](const Ui &ui, const SessionState &) { return ui.textEdit_2->toPlainText(); },
     [](const Ui &, const SessionState &s) { return s.devSrvAddr; }},
    {WriteBit::srvPort, "服务器端口", "服务器端口写入失败\r\n",
     [](const Ui &ui, const SessionState &) { return ui.textEdit_3->toPlainText(); },
     [](const Ui &, const SessionState &s) { return number(s.devSrvPort); }},
    {WriteBit::mqttName, "MQTT登录名", "mqttName写入失败\r\n",
     [](const Ui &ui, const SessionState &) { return ui.textEdit_5->toPlainText(); },
     [](const Ui &, const SessionState &s) { return s.devMqttName; }},
    {WriteBit::mqttCode, "MQTT登录密钥", "mqttCode写入失败\r\n",
     [](const Ui &ui, const SessionState &) { return ui.textEdit_4->toPlainText(); },
     [](const Ui &, const SessionState &s) { return s.devMqttCode; }},
    {WriteBit::serialNumber, "SN", "SN写入失败\r\n",
     [](const Ui &ui, const SessionState &) { return ui.SNlineEdit->text(); },
     [](const Ui &ui, const SessionState &) { return ui.lineEdit->text(); }},
};

} // namespace

const Parameter *table()
{
    return kTable;
}

const Parameter *find(quint16 bit)
{
    for (const Parameter &row : kTable) {
        if (row.bit == bit)
            return &row;
    }
    return nullptr;
}

WriteSnapshot snapshot(const Ui &ui, const SessionState &session)
{
    WriteSnapshot taken;
    taken.mask = session.writeMask;
    for (const Parameter &row : kTable)
        taken.setValue(row.bit, row.toWrite(ui, session));
    return taken;
}

quint16 writtenBy(int selectorNumber)
{
    switch (selectorNumber) {
    case selector::writeDeviceType:
        return WriteBit::devType;
    case selector::writeSerialNumber:
        return WriteBit::serialNumber;
    case selector::writeStationAddress:
        return WriteBit::devAddress;
    case selector::writeBaudCode:
        return WriteBit::braudRate;
    case selector::writeServerProtocol:
        return WriteBit::srvProtocol;
    case selector::writeIntervalAndKey:
        return WriteBit::upDataInterval | WriteBit::mqttCode;
    case selector::writeServerAddress:
        return WriteBit::srvAddr | WriteBit::srvPort;
    case selector::writeMqttName:
        return WriteBit::mqttName;
    case selector::writeMqttKey:
        return WriteBit::mqttCode;
    default:
        return 0;
    }
}

quint16 carried(quint16 selection)
{
    return (selection & WriteBit::upDataInterval) ? quint16(selection | WriteBit::mqttCode)
                                                  : selection;
}

std::optional<QString> inputProblem(quint16 bit, const QString &value)
{
    const Parameter *row = find(bit);
    if (row == nullptr)
        return std::nullopt;
    const QString name = QString::fromUtf8(row->name);
    if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n')))
        return name + QStringLiteral("含有换行符,不能写入");
    if (value.isEmpty() && (bit & kNeverEmpty))
        return name + QStringLiteral("为空,不能写入");
    for (int at = 0; at < value.size(); ++at) {
        if (value.at(at).unicode() <= kLastLatin1)
            continue;
        // A character beyond the first 65536 is a pair of halves: named whole.
        const bool pair = value.at(at).isHighSurrogate() && at + 1 < value.size() &&
                          value.at(at + 1).isLowSurrogate();
        return name + QStringLiteral("含有不能发送的字符“") + value.mid(at, pair ? 2 : 1) +
               QStringLiteral("”,不能写入");
    }
    if (bit == WriteBit::srvPort) {
        bool ok = false;
        const int port = value.toInt(&ok, 10);
        const bool digitsOnly =
            !value.isEmpty() && value.size() <= 5 &&
            std::all_of(value.begin(), value.end(), [](QChar c) { return c.isDigit(); });
        if (!ok || !digitsOnly || port < 1 || port > kMaxPort)
            return name + QStringLiteral("必须是1到65535之间的数字,不能写入");
    }
    if ((bit == WriteBit::mqttName || bit == WriteBit::mqttCode) &&
        value.contains(QLatin1Char(',')))
        return name + QStringLiteral("含有逗号,不能写入");
    return std::nullopt;
}

} // namespace parameters
