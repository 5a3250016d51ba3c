#pragma once

#include <QByteArray>

// The adapter's echo of the command just sent. No I/O, no widgets.
namespace replies {

// A half-duplex RS485 adapter hears its own transmitter, so the bytes of the
// command just sent may come back in front of the terminal's answer. Returns
// the length of that echo at the start of `received` (0 when there is none),
// or -1 while `received` is still only the beginning of it.
int echoLength(const QByteArray &received, const QByteArray &sent);

} // namespace replies
