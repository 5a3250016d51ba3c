// The AT reply extraction: every reader of protocol/atreplies.h gets the same
// input, and what each returns must agree with the text it was given.
//
// The input is a receive buffer. Its bytes without zero bytes are the reply
// text, as the window reads it; whatever follows the first zero byte is also
// used as a key, a separator and a keyword, so that the generic readers see
// more than the terminal's few words.
#include "fuzzcheck.h"
#include "protocol/atreplies.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

void checkTextAfter(const QString &text, const QString &key)
{
    const QString after = replies::textAfter(text, key);
    const int at = text.indexOf(key);
    if (at < 0) {
        FUZZ_CHECK(after.isEmpty());
        return;
    }
    FUZZ_CHECK(after.size() == text.size() - at - key.size());
    FUZZ_CHECK(text.endsWith(after));
}

void checkUpTo(const QString &text, const QString &separator)
{
    const QString before = replies::upTo(text, separator);
    FUZZ_CHECK(text.startsWith(before));
    if (!separator.isEmpty())
        FUZZ_CHECK(!before.contains(separator));
    if (!text.contains(separator))
        FUZZ_CHECK(before == text);
}

void checkIndexAfter(const QString &text, const QString &keyword)
{
    const replies::Answer<int> index = replies::indexAfter(text, keyword);
    FUZZ_CHECK(index.recognised == text.contains(keyword));
    if (index.value) {
        FUZZ_CHECK(index.recognised && text.contains(keyword + QLatin1Char(':')));
        FUZZ_CHECK(*index.value >= 0 && *index.value <= 999999999); // nine digits at most
    }
}

// Every kind of answer ends on a line end: an "OK" line, and a line after it,
// are line ends too. An answer without reports has ended with its first "OK"
// or "ERROR" line.
void checkAnswerEnded(const char *bytes, int length, const QString &text)
{
    using replies::AnswerEnd;
    const bool ok = replies::answerEnded(bytes, length, AnswerEnd::okLine);
    const bool lineAfterOk = replies::answerEnded(bytes, length, AnswerEnd::lineAfterOk);
    const bool ownLine = replies::answerEnded(bytes, length, AnswerEnd::ownLine);
    if (ownLine) // a report taken out from between "\r" and "\n" leaves its "\n"
        FUZZ_CHECK(text.contains(QLatin1Char('\n')));
    if (lineAfterOk)
        FUZZ_CHECK(ok);
    if (ok)
        FUZZ_CHECK(ownLine);
    const bool reports =
        text.contains(QLatin1String("+CSQ: ")) || text.contains(QLatin1String("+CMQTTCONNECT: "));
    if (!reports)
        FUZZ_CHECK(ok == (text.contains(QLatin1String("OK\r\n")) ||
                          text.contains(QLatin1String("ERROR\r\n"))));
}

// Reading from an offset, as the window does for unsolicited output it has
// not looked at yet: offsets before, inside and past the data.
void checkOffsets(const char *bytes, int length, int textEnd, const QString &text)
{
    const int offsets[] = {-1, 0, textEnd / 2, textEnd, textEnd + 1, length, length + 7};
    for (const int from : offsets) {
        const QString part = replies::replyText(bytes, length, from);
        FUZZ_CHECK(!part.contains(QChar(0)));
        if (from <= 0)
            FUZZ_CHECK(part == text);
        if (from >= length)
            FUZZ_CHECK(part.isEmpty());

        // Unsolicited output is read up to its last line end (all of it once
        // it may be taken unterminated), never before the offset nor past the
        // data, and without zero bytes.
        for (const bool whole : {false, true}) {
            const int end = replies::unsolicitedEnd(bytes, length, from, whole);
            if (from > length) {
                FUZZ_CHECK(end == from);
                continue;
            }
            FUZZ_CHECK(end >= qMax(from, 0) && end <= length);
            if (whole)
                FUZZ_CHECK(end == length);
            else
                FUZZ_CHECK(end == qMax(from, 0) || bytes[end - 1] == '\n');
            FUZZ_CHECK(!replies::unsolicitedText(bytes, from, end).contains(QChar(0)));
        }
    }
}

// The generic readers, with the terminal's keys and with whatever followed
// the first zero byte (extra).
void checkGenericReaders(const QString &text, const QString &extra)
{
    const QString keys[] = {
        extra,    kLineEnd, QStringLiteral("SN:"), QStringLiteral("("), QStringLiteral(":"),
        QString()};
    for (const QString &key : keys) {
        checkTextAfter(text, key);
        checkUpTo(text, key);
    }

    const int number = replies::asNumber(text);
    FUZZ_CHECK(replies::asNumber(QString::number(number)) == number);
    FUZZ_CHECK(replies::asNumber(QLatin1Char(' ') + QString::number(number) + kLineEnd) == number);
    replies::asNumber(extra);
}

void checkSwitches(const QString &text)
{
    const std::optional<bool> open = replies::deviceOpen(text);
    if (text.contains(QLatin1String("CLOSE")))
        FUZZ_CHECK(open && !*open);
    else if (text.contains(QLatin1String("OPEN")))
        FUZZ_CHECK(open && *open);
    else
        FUZZ_CHECK(!open);

    const std::optional<bool> logOn = replies::deviceLogOn(text);
    FUZZ_CHECK(logOn.has_value() == text.contains(QLatin1String("GSMLOG")));
    if (logOn)
        FUZZ_CHECK(*logOn == text.contains(QLatin1String("GSMLOG:(1)")));
}

void checkSerialNumber(const QString &text)
{
    const replies::Answer<QString> sn = replies::serialNumber(text);
    FUZZ_CHECK(sn.recognised == text.contains(QLatin1String("SN:")));
    if (sn.value) {
        FUZZ_CHECK(sn.recognised);
        FUZZ_CHECK(!sn.value->isEmpty());
        FUZZ_CHECK(!sn.value->contains(kLineEnd));
        FUZZ_CHECK(text.contains(QStringLiteral("SN:") + *sn.value + kLineEnd));
    }
    // Missing only when the first "SN:" has no line end after it, or nothing before that.
    if (sn.recognised)
        FUZZ_CHECK(sn.value.has_value() ==
                   (replies::textAfter(text, QStringLiteral("SN:")).indexOf(kLineEnd) >= 1));
}

void checkBeat(const QString &text)
{
    const std::optional<replies::BeatSettings> beat = replies::beatSettings(text);
    FUZZ_CHECK(beat.has_value() == text.contains(QLatin1String("BEAT:")));
    if (beat) {
        FUZZ_CHECK(!beat->intervalText.contains(kLineEnd));
        if (beat->interval)
            FUZZ_CHECK(*beat->interval == replies::asNumber(beat->intervalText));
        FUZZ_CHECK(text.contains(QStringLiteral("BEAT:") + beat->intervalText));
        if (beat->key) {
            FUZZ_CHECK(!beat->key->contains(kLineEnd));
            FUZZ_CHECK(text.contains(QStringLiteral("OK\r\n") + *beat->key + kLineEnd));
        }
        // A key line still without its line end is coming, not missing.
        FUZZ_CHECK(!(beat->key && beat->keyComing));
        if (beat->keyComing)
            FUZZ_CHECK(text.contains(QStringLiteral("OK\r\n")));
    }
}

void checkNameAndAddress(const QString &text)
{
    // The name is the first line that is not empty; the terminal's verdict
    // alone is no name.
    const std::optional<QString> name = replies::mqttName(text);
    if (name) {
        FUZZ_CHECK(!name->isEmpty() && !name->contains(QLatin1Char('\n')));
        FUZZ_CHECK(*name != QLatin1String("OK") && *name != QLatin1String("ERROR"));
        FUZZ_CHECK(text.contains(*name));
    }

    const replies::Answer<replies::ServerAddress> address = replies::serverAddress(text);
    FUZZ_CHECK(address.recognised == text.contains(QLatin1String("DOMAIN")));
    FUZZ_CHECK(address.value.has_value() == text.contains(QLatin1String("DOMAIN:")));
    if (address.value) {
        FUZZ_CHECK(!address.value->host.contains(QLatin1Char(':')));
        FUZZ_CHECK(!address.value->host.contains(kLineEnd));
        FUZZ_CHECK(text.contains(QStringLiteral("DOMAIN:") + address.value->host));
        if (address.value->port)
            FUZZ_CHECK(*address.value->port >= 0 && *address.value->port <= 0xFFFF);
    }
}

// Reports taken out of an answer: each a whole line of its own in the data,
// in order, and the answer is every other byte before the last one.
void checkReports(const char *bytes, int length)
{
    const replies::Interleaved parts = replies::separateReports(bytes, length);
    int answerBytes = 0;
    int previousEnd = 0;
    for (const QPair<int, int> &place : parts.reports) {
        FUZZ_CHECK(place.first >= previousEnd && place.second <= length);
        FUZZ_CHECK(bytes[place.first] == '+' && bytes[place.second - 1] == '\n');
        answerBytes += place.first - previousEnd;
        previousEnd = place.second;
    }
    FUZZ_CHECK(parts.answer.size() >= answerBytes &&
               parts.answer.size() <= length - previousEnd + answerBytes);
}

// The verdict: the first whole line that reads "OK" or "ERROR" once its zero
// bytes and the CR of its line end are gone; it ends after its "\n".
void checkVerdict(const char *bytes, int length)
{
    const QByteArray raw = QByteArray::fromRawData(bytes, length);
    replies::FinalResult expected;
    for (int from = 0, at = raw.indexOf('\n'); at >= 0 && expected.end == 0;
         from = at + 1, at = raw.indexOf('\n', from)) {
        QByteArray line = raw.mid(from, at - from).replace('\0', QByteArray());
        if (line.endsWith('\r'))
            line.chop(1);
        if (line == "OK" || line == "ERROR")
            expected = {line == "OK" ? replies::ResultCode::ok : replies::ResultCode::error,
                        at + 1};
    }
    const replies::FinalResult verdict = replies::finalResult(bytes, length);
    FUZZ_CHECK(verdict.code == expected.code && verdict.end == expected.end);
}

void checkUnsolicitedReport(const QString &text)
{
    const replies::UnsolicitedReport report = replies::unsolicitedReport(text);
    FUZZ_CHECK(report.serverConnected.has_value() ==
               text.contains(QLatin1String("+CMQTTCONNECT: 0")));
    // "CSQ: " without a number after it carries no signal quality.
    if (report.signalQuality)
        FUZZ_CHECK(text.contains(QLatin1String("CSQ: ")));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    const int length = int(size);
    const void *zero = std::memchr(bytes, 0, size);
    const int textEnd = zero ? int(static_cast<const char *>(zero) - bytes) : length;

    const QString text = replies::replyText(bytes, length);
    FUZZ_CHECK(!text.contains(QChar(0)));
    FUZZ_CHECK(text == QString::fromUtf8(QByteArray(bytes, length).replace('\0', QByteArray())));
    checkOffsets(bytes, length, textEnd, text);

    const QString extra =
        zero ? QString::fromUtf8(bytes + textEnd + 1, length - textEnd - 1) : QString();
    checkGenericReaders(text, extra);
    checkSwitches(text);
    checkSerialNumber(text);
    checkBeat(text);
    checkNameAndAddress(text);
    checkAnswerEnded(bytes, length, text);
    checkIndexAfter(text, QStringLiteral("SRVPRO"));
    checkIndexAfter(text, QStringLiteral("DEVTYPE"));
    checkIndexAfter(text, extra);
    checkReports(bytes, length);
    checkVerdict(bytes, length);
    checkUnsolicitedReport(text);
    return 0;
}
