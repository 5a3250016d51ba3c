#include "protocol/adapterecho.h"

namespace replies {

int echoLength(const QByteArray &received, const QByteArray &sent)
{
    if (sent.isEmpty())
        return 0;
    if (received.startsWith(sent))
        return sent.size();
    return sent.startsWith(received) ? -1 : 0;
}

} // namespace replies
