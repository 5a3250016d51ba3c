#include "PtyPair.h"

#include <cerrno>
#include <unistd.h>

void PtyPair::write(const QByteArray &bytes)
{
    qint64 total = 0;
    while (m_ends.masterFd >= 0 && total < bytes.size()) {
        const ssize_t n = ::write(m_ends.masterFd, bytes.constData() + total, bytes.size() - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += n;
    }
}

QByteArray PtyPair::readAvailable()
{
    QByteArray bytes;
    char chunk[512];
    for (;;) {
        const ssize_t n = m_ends.masterFd < 0 ? 0 : ::read(m_ends.masterFd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: nothing more for now. EIO: no one has the slave open.
        if (n <= 0)
            break;
        bytes.append(chunk, static_cast<int>(n));
    }
    return bytes;
}
