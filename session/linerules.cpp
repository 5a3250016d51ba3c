#include "session/linerules.h"

namespace linerules {

namespace {

// The part of text after the first occurrence of sep; all of it if sep is absent.
QString afterFirst(const QString &text, QChar sep)
{
    const int at = text.indexOf(sep);
    return at < 0 ? text : text.mid(at + 1);
}

// The part of text before the first occurrence of sep; all of it if sep is absent.
QString beforeFirst(const QString &text, const QString &sep)
{
    const int at = text.indexOf(sep);
    return at < 0 ? text : text.left(at);
}

int decimal(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : 0;
}

} // namespace

EnableReply parseEnableReply(const QString &text)
{
    EnableReply reply;
    if (!text.contains(QLatin1String("ENATCMD")))
        return reply;
    reply.recognised = true;
    const QString rest = afterFirst(text, QLatin1Char(':'));
    reply.address = decimal(beforeFirst(rest, QStringLiteral(":")));
    const QString flag = beforeFirst(afterFirst(rest, QLatin1Char(':')), QStringLiteral("\r\n"));
    reply.atEnabled = (decimal(flag) & 1) != 0;
    return reply;
}

} // namespace linerules
