#include "protocol/atreplies.h"

#include <cstring>

#include <QStringList>

namespace replies {

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

const QString kOkLine = QStringLiteral("OK\r\n");

} // namespace

QString replyText(const char *data, int length, int from)
{
    from = qMax(from, 0);
    if (data == nullptr || length <= from)
        return QString();
    // Called on every tick with all the unsolicited output kept (kilobytes in a
    // report storm): text without a zero byte, nearly all of it, is taken as
    // it is, found by the system's fast search.
    const char *begin = data + from;
    const int size = length - from;
    if (std::memchr(begin, '\0', size_t(size)) == nullptr)
        return QString::fromUtf8(begin, size);
    QByteArray bytes(begin, size);
    bytes.replace(QByteArray(1, '\0'), QByteArray());
    return QString::fromUtf8(bytes);
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
    return number(text).value_or(0);
}

std::optional<int> number(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

std::optional<int> leadingNumber(const QString &text)
{
    int at = 0;
    while (at < text.size() &&
           (text.at(at) == QLatin1Char(' ') || text.at(at) == QLatin1Char('\t')))
        ++at;
    const int digitsFrom = at;
    // Nine digits at most: more is no index, port or interval of any terminal.
    while (at < text.size() && at - digitsFrom < 9 && text.at(at) >= QLatin1Char('0') &&
           text.at(at) <= QLatin1Char('9'))
        ++at;
    if (at == digitsFrom)
        return std::nullopt;
    return text.mid(digitsFrom, at - digitsFrom).toInt();
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
    const std::optional<int> interval = number(beat.intervalText);
    if (interval && *interval >= 0 && *interval <= 0xFFFF)
        beat.interval = quint16(*interval);
    // The key is the line after the terminal's "OK". A reply without that line
    // has no marker to go by and carries no key that could be trusted.
    // A key cut short (a long one reaches the size at which a reply counts
    // as complete before its end) waits for the rest.
    const int ok = rest.indexOf(kOkLine);
    if (ok < 0)
        return beat;
    const QString keyLine = rest.mid(ok + kOkLine.size());
    const int end = keyLine.indexOf(kLineEnd);
    if (end >= 0)
        beat.key = keyLine.left(end);
    else
        beat.keyComing = true;
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
    const QString line = upTo(textAfter(text, key), kLineEnd);
    const QString separator = QStringLiteral(":");
    ServerAddress address{upTo(line, separator), std::nullopt};
    const std::optional<int> port =
        line.contains(separator) ? number(textAfter(line, separator)) : std::nullopt;
    if (port && *port >= 0 && *port <= 0xFFFF)
        address.port = port;
    answer.value = address;
    return answer;
}

std::optional<QString> mqttName(const QString &text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString name = line.endsWith(QLatin1Char('\r')) ? line.chopped(1) : line;
        if (name.isEmpty())
            continue;
        if (name == QLatin1String("OK") || name == QLatin1String("ERROR"))
            return std::nullopt;
        return name;
    }
    return std::nullopt;
}

Answer<int> indexAfter(const QString &text, const QString &keyword)
{
    Answer<int> answer;
    answer.recognised = text.contains(keyword);
    const QString key = keyword + QLatin1Char(':');
    if (answer.recognised && text.contains(key))
        answer.value = leadingNumber(textAfter(text, key));
    return answer;
}

Interleaved separateReports(const char *data, int length)
{
    static const QByteArray kReportStarts[] = {QByteArrayLiteral("+CSQ: "),
                                               QByteArrayLiteral("+CMQTTCONNECT: ")};
    Interleaved parts;
    if (data == nullptr || length <= 0)
        return parts;
    const QByteArray bytes = QByteArray::fromRawData(data, length);
    int from = 0;
    while (from < length) {
        int report = -1;
        for (const QByteArray &start : kReportStarts) {
            const int at = bytes.indexOf(start, from);
            if (at >= 0 && (report < 0 || at < report))
                report = at;
        }
        if (report < 0)
            break;
        parts.answer.append(data + from, report - from);
        const int lineEnd = bytes.indexOf('\n', report);
        if (lineEnd < 0)
            return parts; // its rest is still on its way
        parts.reports.append({report, lineEnd + 1});
        from = lineEnd + 1;
    }
    parts.answer.append(data + from, length - from);
    return parts;
}

FinalResult finalResult(const char *data, int length)
{
    if (data == nullptr)
        return {};
    // Room for "ERROR" and the CR of its line end; a longer line is no verdict.
    constexpr int kLongestVerdictLine = 6;
    int lineStart = 0;
    for (int at = 0; at < length; ++at) {
        if (data[at] != '\n')
            continue;
        char line[kLongestVerdictLine];
        int size = 0;
        for (int i = lineStart; i < at && size <= kLongestVerdictLine; ++i) {
            if (data[i] == '\0')
                continue;
            if (size < kLongestVerdictLine)
                line[size] = data[i];
            ++size;
        }
        lineStart = at + 1;
        if (size > kLongestVerdictLine)
            continue;
        if (size > 0 && line[size - 1] == '\r')
            --size;
        const QByteArray text = QByteArray::fromRawData(line, size);
        if (text == "OK")
            return {ResultCode::ok, lineStart};
        if (text == "ERROR")
            return {ResultCode::error, lineStart};
    }
    return {};
}

bool answerEnded(const char *data, int length, AnswerEnd end)
{
    const Interleaved parts = separateReports(data, length);
    const QString text = replyText(parts.answer.constData(), parts.answer.size());
    if (text.contains(QLatin1String("ERROR\r\n")))
        return true;
    const int ok = text.indexOf(kOkLine);
    switch (end) {
    case AnswerEnd::okLine:
        return ok >= 0;
    case AnswerEnd::lineAfterOk:
        return ok >= 0 && text.indexOf(kLineEnd, ok + kOkLine.size()) >= 0;
    case AnswerEnd::ownLine:
        return text.contains(kLineEnd);
    }
    return true;
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
        report.signalQuality = leadingNumber(textAfter(text, csq));
    return report;
}

int unsolicitedEnd(const char *data, int length, int from, bool takeUnterminated)
{
    from = qMax(from, 0);
    if (data == nullptr || from >= length)
        return from;
    if (takeUnterminated)
        return length;
    for (int i = length - 1; i >= from; --i) {
        if (data[i] == '\n')
            return i + 1;
    }
    return from;
}

QString unsolicitedText(const char *data, int from, int end)
{
    from = qMax(from, 0);
    if (data == nullptr || end <= from)
        return QString();
    return QString::fromUtf8(data + from, end - from).remove(QChar(0));
}

} // namespace replies
