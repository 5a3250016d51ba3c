#pragma once

#include "session/SessionState.h"

#include <QString>
#include <QtGlobal>

#include <variant>

// The catalogue of commands, by selector (protocol/selectors.h): whether a
// command goes out in the session's present state, and what goes out. No
// I/O, no widgets: the window's sendCommand asks here, then writes and logs.
namespace catalogue {

// Whether the command of a selector goes out now. Most go out always; the
// reads are held back while a write is verified unless they read a parameter
// that was written, and the writes go out only for the parameters selected.
bool sendConditionHolds(int selector, const SessionState &session);

// A Modbus register request. Reads ask for one register, so their value is
// the quantity 1.
struct Rs485Request
{
    quint8 address;
    quint8 function;
    quint16 reg;
    quint16 value;
};

// An AT command is its body: "AT+" and the line end are added when it is sent.
using Command = std::variant<QString, Rs485Request>;

// The command of a selector whose condition holds. A batch write's commands
// carry the values taken when it was accepted (session.snapshot). switchOn
// says whether a relay or device switch is to be switched on (its button's
// caption says so); other selectors ignore it. A number that names no command
// (12, 26, 27 and anything outside 0 to 36) asks whether AT commands are enabled.
Command command(int selector, const SessionState &session, bool switchOn);

} // namespace catalogue
