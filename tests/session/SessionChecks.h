#pragma once

// What the session tests look at: the requests as they reached the terminal,
// Modbus frames built here on their own (not by the tool's code), the log,
// and a tick driven by hand.

#include "SimFixture.h"

#include <QCoreApplication>
#include <QStatusBar>
#include <QtTest>

namespace sessioncheck {

// The Modbus CRC-16, written out here so that a frame on the line is checked
// against an independent computation.
inline quint16 modbusCrc(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

// The bytes followed by their CRC, low byte first.
inline QByteArray withCrc(QByteArray bytes)
{
    const quint16 crc = modbusCrc(bytes);
    bytes.append(char(crc & 0xFF));
    bytes.append(char(crc >> 8));
    return bytes;
}

inline QByteArray rtuFrame(quint8 address, quint8 function, quint16 reg, quint16 value)
{
    const char body[] = {char(address),    char(function),   char(reg >> 8),
                         char(reg & 0xFF), char(value >> 8), char(value & 0xFF)};
    return withCrc(QByteArray(body, sizeof body));
}

// A register-read reply: one register, high byte first.
inline QByteArray rtuReadReply(quint8 address, quint16 value)
{
    const char body[] = {char(address), char(3), char(2), char(value >> 8), char(value & 0xFF)};
    return withCrc(QByteArray(body, sizeof body));
}

inline QString rtuText(const QByteArray &frame)
{
    return QStringLiteral("RTU ") + QString::fromLatin1(frame.toHex(' ').toUpper());
}

// Every request the terminal received, in order: an AT command as its body
// (without "AT+" and the line end), a Modbus frame as "RTU" and its bytes.
inline QStringList lineRequests(const TerminalSimulator &sim)
{
    QStringList lines;
    for (const TerminalSimulator::Request &request : sim.requests()) {
        switch (request.kind) {
        case TerminalSimulator::RequestKind::At:
            lines << (request.text.startsWith(QLatin1String("AT+")) ? request.text.mid(3)
                                                                    : request.text);
            break;
        case TerminalSimulator::RequestKind::Modbus:
            lines << rtuText(request.raw);
            break;
        case TerminalSimulator::RequestKind::Noise:
            lines << QStringLiteral("NOISE ") + QString::fromLatin1(request.raw.toHex(' '));
            break;
        }
    }
    return lines;
}

// The line rate of each request whose AT body is `body`, in order.
inline QList<int> ratesOf(const TerminalSimulator &sim, const QString &body)
{
    QList<int> rates;
    for (const TerminalSimulator::Request &request : sim.requests()) {
        if (request.kind == TerminalSimulator::RequestKind::At &&
            request.text == QStringLiteral("AT+") + body)
            rates << request.lineBaudRate;
    }
    return rates;
}

inline int countStartingWith(const QStringList &items, const QString &prefix)
{
    int count = 0;
    for (const QString &item : items) {
        if (item.startsWith(prefix))
            ++count;
    }
    return count;
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

// One tick by hand, then whatever the line has delivered meanwhile. Used
// with the window's own timer stopped.
inline void tickOnce(SimFixture &f)
{
    f.probe->tick();
    QCoreApplication::processEvents();
}

inline void tickTimes(SimFixture &f, int count)
{
    for (int i = 0; i < count; ++i)
        tickOnce(f);
}

// Stops the window's tick and lines the beat counters up, so that the 10th
// tick from now is a 100 ms beat and the 200th a 2 s beat.
inline void takeOverTicks(SimFixture &f)
{
    f.probe->tickTimer().stop();
    f.probe->tick100ms() = 0;
    f.probe->tick2s() = 0;
}

// Connects by hand to the simulator and waits until nothing is awaited any
// more (the answer to "GSMLOG=0" has come in).
inline bool connectAndSettle(SimFixture &f)
{
    return f.connectManually() && f.waitIdle(10000);
}

// Connected, the tick driven by hand, and "读取SN号" clicked on a terminal that
// keeps quiet: the test then plays the terminal's answer itself, byte by byte
// if it likes. False if "SN?" never reached the line.
inline bool awaitSerialNumberByHand(SimFixture &f)
{
    if (!connectAndSettle(f))
        return false;
    takeOverTicks(f);
    f.sim.setSilent(true);
    f.click(f.ui().readSNbutton);
    return QTest::qWaitFor(
        [&f] {
            const QStringList requests = lineRequests(f.sim);
            return !requests.isEmpty() && requests.last() == QLatin1String("SN?");
        },
        5000);
}

} // namespace sessioncheck
