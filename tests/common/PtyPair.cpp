#include "PtyPair.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    ptyline::open(m_ends, nullptr);
}

PtyPair::~PtyPair()
{
    ptyline::close(m_ends);
}

PtyPair::LineSettings PtyPair::lineSettings() const
{
    return ptyline::lineSettings(m_ends.masterFd);
}

bool PtyPair::setBaudRate(int baudRate)
{
    return ptyline::setBaudRate(m_ends.masterFd, baudRate);
}

qint64 PtyPair::write(const QByteArray &bytes)
{
    if (m_ends.masterFd < 0)
        return -1;
    qint64 total = 0;
    while (total < bytes.size()) {
        const ssize_t n = ::write(m_ends.masterFd, bytes.constData() + total, bytes.size() - total);
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
    if (m_ends.masterFd < 0)
        return bytes;
    char chunk[512];
    for (;;) {
        const ssize_t n = ::read(m_ends.masterFd, chunk, sizeof chunk);
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
    ptyline::close(m_ends);
}
