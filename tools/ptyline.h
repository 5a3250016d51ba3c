#pragma once

// The pseudo-terminal as a serial line (Unix): creating one, and reading the
// line settings the tool has set on its end. Shared by the simulated terminal
// and the tests' own pseudo-terminal pair.

#include <QString>

// The line settings of the tool's side of the line.
struct LineSettings
{
    int baudRate = 0; // bit/s, 0 when unknown
    int dataBits = 8;
    char parity = 'N'; // 'N', 'E' or 'O'
    int stopBits = 1;
    bool rtsCts = false;
    bool xonXoff = false;

    bool is8N1() const { return dataBits == 8 && parity == 'N' && stopBits == 1; }
};

#ifdef Q_OS_UNIX
namespace ptyline {

struct Ends
{
    int masterFd = -1;
    int slaveFd = -1;
    QString slavePath;
};

// Creates a pseudo-terminal, both ends non-blocking. A descriptor on the slave
// is kept (never read) so that the master does not hang up each time the tool
// closes its port, and the slave starts raw at 9600 so that it does not echo
// bytes back before the tool has opened and configured it. On failure the
// ends are closed and the reason is returned in error.
bool open(Ends &ends, QString *error);
void close(Ends &ends);

// On Linux, tcgetattr on the master returns the slave's termios: the rate and
// framing the tool has set on its port.
LineSettings lineSettings(int masterFd);
// Sets the rate of both directions, as if the port had been opened at it.
bool setBaudRate(int fd, int baudRate);

} // namespace ptyline
#endif
