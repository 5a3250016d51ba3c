#include "protocol/replies.h"

#include <cstring>

namespace replies {

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

const QString kOkLine = QStringLiteral("OK\r\n");
constexpr int kMissingOkSkip = 3;

} // namespace

QString replyText(const char *data, int length, int from)
{
    if (data == nullptr || length <= 0)
        return QString();
    const void *zero = std::memchr(data, 0, std::size_t(length));
    const int end = zero ? int(static_cast<const char *>(zero) - data) : length;
    const int start = qBound(0, from, end);
    return QString::fromUtf8(data + start, end - start);
}

QString textAfter(const QString &text, const QString &key)
{
    const int at = text.indexOf(key);
    return at < 0 ? QString() : text.mid(at + key.size());
}

QString upTo(const QString &text, const QString &separator)
{
    const int at = text.indexOf(separator);
    return at < 0 ? text : text.left(at);
}

int asNumber(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : 0;
}

std::optional<bool> deviceOpen(const QString &text)
{
    if (text.contains(QLatin1String("CLOSE")))
        return false;
    if (text.contains(QLatin1String("OPEN")))
        return true;
    return std::nullopt;
}

std::optional<bool> deviceLogOn(const QString &text)
{
    if (!text.contains(QLatin1String("GSMLOG")))
        return std::nullopt;
    return text.contains(QLatin1String("GSMLOG:(1)"));
}

Answer<QString> serialNumber(const QString &text)
{
    const QString key = QStringLiteral("SN:");
    Answer<QString> answer;
    answer.recognised = text.contains(key);
    if (!answer.recognised)
        return answer;
    // The number must be followed by its line end; without one the reply is cut
    // short or garbled, and an empty number is no number.
    const QString rest = textAfter(text, key);
    const int end = rest.indexOf(kLineEnd);
    if (end >= 1)
        answer.value = rest.left(end);
    return answer;
}

std::optional<BeatSettings> beatSettings(const QString &text)
{
    const QString key = QStringLiteral("BEAT:");
    if (!text.contains(key))
        return std::nullopt;
    const QString rest = textAfter(text, key);
    BeatSettings beat;
    beat.intervalText = upTo(rest, kLineEnd);
    beat.interval = quint16(asNumber(beat.intervalText));
    // The key is the line after the terminal's "OK". A reply without that line
    // has no marker to go by: its first three characters are dropped and the
    // rest is taken as it stands.
    const int ok = rest.indexOf(kOkLine);
    const QString afterOk = ok >= 0 ? rest.mid(ok + kOkLine.size()) : rest.mid(kMissingOkSkip);
    beat.key = upTo(afterOk, kLineEnd);
    return beat;
}

Answer<ServerAddress> serverAddress(const QString &text)
{
    const QString key = QStringLiteral("DOMAIN:");
    Answer<ServerAddress> answer;
    answer.recognised = text.contains(QLatin1String("DOMAIN"));
    // "DOMAIN" alone is the echo of the query or an error line: no address in it.
    if (!answer.recognised || !text.contains(key))
        return answer;
    const QString rest = textAfter(text, key);
    const QString separator = QStringLiteral(":");
    const QString portPart = rest.contains(separator) ? textAfter(rest, separator) : rest;
    answer.value = ServerAddress{upTo(rest, separator), asNumber(upTo(portPart, kLineEnd))};
    return answer;
}

Answer<int> indexAfter(const QString &text, const QString &keyword)
{
    Answer<int> answer;
    answer.recognised = text.contains(keyword);
    const QString key = keyword + QLatin1Char(':');
    if (answer.recognised && text.contains(key))
        answer.value = asNumber(upTo(textAfter(text, key), QStringLiteral("(")));
    return answer;
}

UnsolicitedReport unsolicitedReport(const QString &text)
{
    UnsolicitedReport report;
    // The terminal reports "+CMQTTCONNECT: 0" after each connection attempt; a
    // report that names the server (recognised by its ".com") means connected.
    if (text.contains(QLatin1String("+CMQTTCONNECT: 0")))
        report.serverConnected = text.contains(QLatin1String(".com"));
    const QString csq = QStringLiteral("CSQ: ");
    if (text.contains(csq))
        report.signalQuality = asNumber(upTo(textAfter(text, csq), QStringLiteral(",")));
    return report;
}

int unsolicitedEnd(const char *data, int length, int from)
{
    from = qMax(from, 0);
    if (data == nullptr || from >= length)
        return from;
    for (int i = length - 1; i >= from; --i) {
        if (data[i] == '\n')
            return i + 1;
    }
    return length;
}

QString unsolicitedText(const char *data, int from, int end)
{
    from = qMax(from, 0);
    if (data == nullptr || end <= from)
        return QString();
    return QString::fromUtf8(data + from, end - from).remove(QChar(0));
}

} // namespace replies
