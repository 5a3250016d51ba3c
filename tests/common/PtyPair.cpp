#include "PtyPair.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

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

} // namespace

PtyPair::PtyPair()
{
    m_masterFd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_masterFd < 0)
        return;
    const char *name = nullptr;
    if (::grantpt(m_masterFd) == 0 && ::unlockpt(m_masterFd) == 0)
        name = ::ptsname(m_masterFd);
    if (name)
        m_slaveFd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slaveFd < 0) {
        closeIfOpen(m_masterFd);
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);

    // Raw from the start: with the default line discipline the slave would
    // echo what the test writes straight back to the master before the code
    // under test has opened (and configured) the port.
    termios tio{};
    ::tcgetattr(m_slaveFd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ::tcsetattr(m_slaveFd, TCSANOW, &tio);
}

PtyPair::~PtyPair()
{
    closeIfOpen(m_slaveFd);
    closeIfOpen(m_masterFd);
}

PtyPair::LineSettings PtyPair::lineSettings() const
{
    LineSettings settings;
    termios tio{};
    if (m_masterFd < 0 || ::tcgetattr(m_masterFd, &tio) != 0)
        return settings;
    settings.baudRate = baudRateOf(::cfgetospeed(&tio));
    settings.dataBits = dataBitsOf(tio.c_cflag);
    settings.parity = parityOf(tio.c_cflag);
    settings.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    settings.rtsCts = (tio.c_cflag & CRTSCTS) != 0;
    settings.xonXoff = (tio.c_iflag & (IXON | IXOFF)) != 0;
    return settings;
}

bool PtyPair::setBaudRate(int baudRate)
{
    const speed_t code = speedCodeOf(baudRate);
    termios tio{};
    if (m_masterFd < 0 || code == B0 || ::tcgetattr(m_masterFd, &tio) != 0)
        return false;
    ::cfsetispeed(&tio, code);
    ::cfsetospeed(&tio, code);
    return ::tcsetattr(m_masterFd, TCSANOW, &tio) == 0;
}

qint64 PtyPair::write(const QByteArray &bytes)
{
    if (m_masterFd < 0)
        return -1;
    qint64 total = 0;
    while (total < bytes.size()) {
        const ssize_t n = ::write(m_masterFd, bytes.constData() + total, bytes.size() - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += n;
    }
    return total > 0 || bytes.isEmpty() ? total : -1;
}

QByteArray PtyPair::readAvailable()
{
    QByteArray bytes;
    if (m_masterFd < 0)
        return bytes;
    char chunk[512];
    for (;;) {
        const ssize_t n = ::read(m_masterFd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: nothing more for now. EIO: no one has the slave open.
        if (n <= 0)
            break;
        bytes.append(chunk, static_cast<int>(n));
    }
    return bytes;
}

void PtyPair::closeMaster()
{
    closeIfOpen(m_masterFd);
    closeIfOpen(m_slaveFd);
}
