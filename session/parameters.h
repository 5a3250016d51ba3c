#pragma once

#include "session/SessionState.h"

#include <QString>
#include <QtGlobal>

#include <optional>

namespace Ui {
class ZorvikTestToolClass;
}

// The ten parameters a batch write can send, one row each, in the order of
// their writeMask bits: how the technician's value and the terminal's answer
// are read off the window, and what the verification logs when they differ.
namespace parameters {

struct Parameter
{
    quint16 bit;         // its bit of writeMask
    const char *name;    // as the technician knows it, for log lines and records
    const char *failure; // the verification's line when it was not confirmed
    // The value to write, as text (a combo's index as the number sent).
    QString (*toWrite)(const Ui::ZorvikTestToolClass &ui, const SessionState &session);
    // The value the terminal answered, as text, comparable with toWrite.
    QString (*readBack)(const Ui::ZorvikTestToolClass &ui, const SessionState &session);
};

constexpr int kCount = WriteSnapshot::kParameters;
const Parameter *table(); // kCount rows, 0x001 first
const Parameter *find(quint16 bit);

// Every value as the widgets hold it now, with writeMask as the selection.
WriteSnapshot snapshot(const Ui::ZorvikTestToolClass &ui, const SessionState &session);

// The parameters whose value the batch write command of a selector carries;
// none for any other selector.
quint16 writtenBy(int selector);

// The parameters that the commands of a selection carry: "BEAT=" writes the
// MQTT key together with the interval, whether the key is selected or not.
quint16 carried(quint16 selection);

// Why a typed value cannot go out inside its command, or nothing when it can.
// The terminal ends a command at a line break and splits its arguments at
// commas, so a value holding either would be read as something else; an
// empty value would clear the setting; and the line carries one byte per
// character (Latin-1), so any other character would arrive as "?".
std::optional<QString> inputProblem(quint16 bit, const QString &value);

} // namespace parameters
