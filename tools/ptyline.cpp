#include "ptyline.h"

#ifdef Q_OS_UNIX

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace ptyline {

namespace {

struct SpeedEntry
{
    speed_t code;
    int baudRate;
};

constexpr SpeedEntry kSpeeds[] = {
    {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

int baudRateOf(speed_t code)
{
    for (const SpeedEntry &entry : kSpeeds) {
        if (entry.code == code)
            return entry.baudRate;
    }
    return 0;
}

speed_t speedCodeOf(int baudRate)
{
    for (const SpeedEntry &entry : kSpeeds) {
        if (entry.baudRate == baudRate)
            return entry.code;
    }
    return B0;
}

int dataBitsOf(tcflag_t cflag)
{
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

char parityOf(tcflag_t cflag)
{
    if (!(cflag & PARENB))
        return 'N';
    return (cflag & PARODD) ? 'O' : 'E';
}

void closeIfOpen(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

bool open(Ends &ends, QString *error)
{
    ends.masterFd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (ends.masterFd < 0) {
        if (error)
            *error = systemError("posix_openpt");
        return false;
    }
    const char *name = nullptr;
    if (::grantpt(ends.masterFd) == 0 && ::unlockpt(ends.masterFd) == 0)
        name = ::ptsname(ends.masterFd);
    if (name)
        ends.slaveFd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (ends.slaveFd < 0) {
        if (error)
            *error = systemError("opening the pseudo-terminal's slave");
        close(ends);
        return false;
    }
    ends.slavePath = QString::fromLocal8Bit(name);

    termios tio{};
    ::tcgetattr(ends.slaveFd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ::tcsetattr(ends.slaveFd, TCSANOW, &tio);
    return true;
}

void close(Ends &ends)
{
    // The master first: that is what hangs up the tool's side of the line.
    closeIfOpen(ends.masterFd);
    closeIfOpen(ends.slaveFd);
}

LineSettings lineSettings(int masterFd)
{
    LineSettings settings;
    termios tio{};
    if (masterFd < 0 || ::tcgetattr(masterFd, &tio) != 0)
        return settings;
    settings.baudRate = baudRateOf(::cfgetospeed(&tio));
    settings.dataBits = dataBitsOf(tio.c_cflag);
    settings.parity = parityOf(tio.c_cflag);
    settings.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    settings.rtsCts = (tio.c_cflag & CRTSCTS) != 0;
    settings.xonXoff = (tio.c_iflag & (IXON | IXOFF)) != 0;
    return settings;
}

bool setBaudRate(int fd, int baudRate)
{
    const speed_t code = speedCodeOf(baudRate);
    termios tio{};
    if (fd < 0 || code == B0 || ::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfsetispeed(&tio, code);
    ::cfsetospeed(&tio, code);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

} // namespace ptyline

#endif
