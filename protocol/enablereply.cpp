#include "protocol/enablereply.h"

#include "protocol/atreplies.h"

namespace replies {

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
    reply.address = asNumber(upTo(rest, QStringLiteral(":")));
    // Without a second colon the number after the first is the address, not
    // the flag: the reply says nothing about AT commands.
    if (!rest.contains(QLatin1Char(':')))
        return reply;
    const std::optional<int> flag =
        number(upTo(afterFirst(rest, QLatin1Char(':')), QStringLiteral("\r\n")));
    reply.hasFlag = flag.has_value();
    reply.atEnabled = flag && (*flag & 1) != 0;
    return reply;
}

} // namespace replies
