#pragma once

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <optional>

// The terminal's text replies, read into values. No I/O, no widgets: the
// window's parser decides what each value means for the session and the log.
//
// All searches are case-sensitive and find the first occurrence anywhere in
// the text; the terminal echoes commands and mixes in output of its own, so a
// keyword is not expected at the start of a line.
namespace replies {

// The text of a receive buffer, decoded as UTF-8. A zero byte is line noise
// (the terminal sometimes sends one in front of its answer) and is dropped,
// so it never hides what follows it. Bytes that are not valid UTF-8 become
// replacement characters. Only [from, length) is decoded.
QString replyText(const char *data, int length, int from = 0);

// Everything after the first occurrence of key; empty when key is absent.
QString textAfter(const QString &text, const QString &key);
// The characters before the first occurrence of separator, or the whole text.
QString upTo(const QString &text, const QString &separator);
// A decimal integer with white space around it; anything else reads as 0.
int asNumber(const QString &text);
// The same, but a text that is no number gives nothing rather than 0.
std::optional<int> number(const QString &text);
// The decimal digits at the start of text (after blanks), such as the 3 of
// "3(MQTT)" or of "3\r\nOK\r\n"; nothing when text does not start with one.
std::optional<int> leadingNumber(const QString &text);

// A reply that names a setting may still fail to carry its value: `recognised`
// says the keyword was there, `value` holds what could be read.
template <typename T> struct Answer
{
    bool recognised = false;
    std::optional<T> value;
};

// "OPENDEV" replies: true for an open switch, false for a closed one (a text
// with both words counts as closed), nothing when neither word is there.
std::optional<bool> deviceOpen(const QString &text);

// "GSMLOG" replies: whether the terminal's own log output is on; nothing when
// the text does not mention GSMLOG.
std::optional<bool> deviceLogOn(const QString &text);

// "SN?" reply: recognised by "SN:"; the value is what follows up to the line
// end, and is missing when there is no line end or nothing before it.
Answer<QString> serialNumber(const QString &text);

// "BEAT?" reply: the upload interval line, then, after the terminal's "OK",
// the MQTT key line. Either may be missing from a garbled or cut reply; a key
// line counts only once its line end has come.
struct BeatSettings
{
    QString intervalText; // as received, for the log
    std::optional<quint16> interval;
    std::optional<QString> key;
    bool keyComing = false; // the key line has begun, its line end is still to come
};
std::optional<BeatSettings> beatSettings(const QString &text);

// "DOMAIN?" reply: recognised by "DOMAIN"; the value needs "DOMAIN:" and is
// the host before the next ":" and the port after it, on the same line.
struct ServerAddress
{
    QString host;
    std::optional<int> port;
};
Answer<ServerAddress> serverAddress(const QString &text);

// "PKEY?" reply: the name itself, bare or as the first line of the answer.
// "OK" or "ERROR" alone is the terminal's verdict, not a name.
std::optional<QString> mqttName(const QString &text);

// "SRVPRO?" and "DEVTYPE?" replies: recognised by the keyword; the value is
// the number right after "<keyword>:", which an optional "(" and description
// or the line end follow.
Answer<int> indexAfter(const QString &text, const QString &keyword);

// The terminal's own reports ("+CSQ: …", "+CMQTTCONNECT: …", each to its
// line end) may come in the middle of an awaited answer, even glued to an
// answer that has no line end. They are taken out: `answer` holds the bytes
// without them, `reports` the place [first, second) of each complete report.
// A report still without its line end at the end is left out of both.
struct Interleaved
{
    QByteArray answer;
    QVector<QPair<int, int>> reports;
};
Interleaved separateReports(const char *data, int length);

// The terminal's verdict on a command it has taken: "OK" or "ERROR" standing
// alone on a line of its own, ended by its line end ("\r\n" or "\n"). An
// "OK" inside a longer line (a report, the echo of a command, a line of the
// terminal's own log) is no verdict, nor is one whose line end is still on
// its way. A zero byte is line noise and is skipped.
enum class ResultCode { none, ok, error };
struct FinalResult
{
    ResultCode code = ResultCode::none;
    int end = 0; // just after the line end of the verdict in data
};
// The first verdict in data[0, length).
FinalResult finalResult(const char *data, int length);

// How the terminal ends its answer to a query: most answers close with an
// "OK" line; the answer to "BEAT?" carries the MQTT key on a line after its
// "OK"; the login name comes bare, or ended by a line end. "ERROR" closes any.
enum class AnswerEnd { okLine, lineAfterOk, ownLine };

// Whether the answer in data has visibly ended the way its kind ends: its
// closing line has come, whatever follows it (the terminal's own log). The
// terminal's reports mixed into it do not count. A bare answer never shows
// its end.
bool answerEnded(const char *data, int length, AnswerEnd end);

// Output the terminal sends of its own accord.
struct UnsolicitedReport
{
    std::optional<bool> serverConnected; // from a "+CMQTTCONNECT: 0" report
    std::optional<int> signalQuality;    // from a "CSQ: " report
};
UnsolicitedReport unsolicitedReport(const QString &text);

// Where the unsolicited output in data[from, length) that can be read now
// ends: just after its last "\n", so that a line still coming in waits for
// its rest. A piece without a line end is only taken as it stands once the
// line has been quiet long enough for `takeUnterminated`.
int unsolicitedEnd(const char *data, int length, int from, bool takeUnterminated = false);
// The text of data[from, end), decoded as UTF-8. A zero byte is line noise
// here and is dropped, so it cannot hide the reports behind it.
QString unsolicitedText(const char *data, int from, int end);

} // namespace replies
