#pragma once

// What the session tests look at: the requests as they reached the terminal
// (Modbus frames as their bytes, written out here from the terminal's manual,
// not built by the tool's code) and the log.

#include "SimFixture.h"

#include <QStatusBar>
#include <QtTest>

namespace sessioncheck {

const QString kReadDone = QStringLiteral("已发完批量读取命令\r\n");
const QString kStationRead =
    QStringLiteral("RTU 00 03 01 00 00 01 84 27"); // address 0: any station

inline QString sentAt(const QString &body)
{
    return QStringLiteral("发送AT指令:AT+") + body + QStringLiteral("\r\n");
}

// Every request the terminal received, in order: an AT command as its body
// (without "AT+" and the line end), a Modbus frame as "RTU" and its bytes.
inline QStringList lineRequests(const TerminalSimulator &sim)
{
    QStringList lines;
    for (const TerminalSimulator::Request &request : sim.requests()) {
        if (request.kind == TerminalSimulator::RequestKind::Modbus)
            lines << QStringLiteral("RTU ") + QString::fromLatin1(request.raw.toHex(' ').toUpper());
        else
            lines << (request.text.startsWith(QLatin1String("AT+")) ? request.text.mid(3)
                                                                    : request.text);
    }
    return lines;
}

// The line rate of each "ENATCMD?" the terminal received, in order.
inline QList<int> queryRates(const TerminalSimulator &sim)
{
    QList<int> rates;
    for (const TerminalSimulator::Request &request : sim.requests()) {
        if (request.text == QLatin1String("AT+ENATCMD?"))
            rates << request.lineBaudRate;
    }
    return rates;
}

inline QStringList startingWith(const QStringList &items, const QString &prefix)
{
    QStringList found;
    for (const QString &item : items) {
        if (item.startsWith(prefix))
            found << item;
    }
    return found;
}

inline QString statusText(SimFixture &f)
{
    return f.window->statusBar()->currentMessage();
}

// Connected by hand, and nothing awaited any more (the answer to "GSMLOG=0"
// is in).
inline bool connectAndSettle(SimFixture &f)
{
    return f.connectManually() && f.waitIdle();
}

} // namespace sessioncheck
