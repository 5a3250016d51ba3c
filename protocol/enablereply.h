#pragma once

#include <QString>

// What the terminal's answer to an "ENATCMD" command says. No I/O, no widgets.
namespace replies {

struct EnableReply
{
    bool recognised = false; // the text holds "ENATCMD"
    int address = 0;         // station address as sent, 0 if it is not a number
    bool hasFlag = false;    // a reply cut after the address carries no flag
    bool atEnabled = false;  // bit 0 of the flag
};

// Reads "...:<address>:<flag>\r\n...": the address between the first colon of
// the text and the next one, the flag between that colon and the next line end.
EnableReply parseEnableReply(const QString &text);

} // namespace replies
