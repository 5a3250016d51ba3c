#include "session/portlist.h"

namespace portlist {

int preselectedIndex(const QStringList &ports, const QString &lastPortName)
{
    constexpr int kMinRememberedNameLength = 4;
    if (lastPortName.size() < kMinRememberedNameLength)
        return 0;
    const int found = ports.indexOf(lastPortName);
    return found < 0 ? 0 : found;
}

} // namespace portlist
