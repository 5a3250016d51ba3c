#pragma once

#include <QByteArray>
#include <QString>

// What the terminal's answer to an "ENATCMD" command says. No I/O, no widgets.
namespace linerules {

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

// A half-duplex RS485 adapter hears its own transmitter, so the bytes of the
// command just sent may come back in front of the terminal's answer. Returns
// the length of that echo at the start of `received` (0 when there is none),
// or -1 while `received` is still only the beginning of it.
int echoLength(const QByteArray &received, const QByteArray &sent);

// A station address the terminal can really have.
inline bool isValidStationAddress(int address)
{
    return address >= 1 && address <= 254;
}

} // namespace linerules
