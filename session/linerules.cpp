#include "session/linerules.h"

#include "protocol/replies.h"

namespace linerules {

namespace {

// The part of text after the first occurrence of sep; all of it if sep is absent.
QString afterFirst(const QString &text, QChar sep)
{
    const int at = text.indexOf(sep);
    return at < 0 ? text : text.mid(at + 1);
}

} // namespace

EnableReply parseEnableReply(const QString &text)
{
    EnableReply reply;
    if (!text.contains(QLatin1String("ENATCMD")))
        return reply;
    reply.recognised = true;
    const QString rest = afterFirst(text, QLatin1Char(':'));
    reply.address = replies::asNumber(replies::upTo(rest, QStringLiteral(":")));
    const QString flag = replies::upTo(afterFirst(rest, QLatin1Char(':')), QStringLiteral("\r\n"));
    reply.atEnabled = (replies::asNumber(flag) & 1) != 0;
    return reply;
}

} // namespace linerules
