// The connection reply: the terminal's answer to "ENATCMD", read the way the
// window reads its receive buffer (zero bytes are dropped, so that a zero in
// front of the answer does not hide it). The same bytes, cut in two, are a
// command sent and what came back: its echo is found only where it stands.
#include "fuzzcheck.h"
#include "protocol/adapterecho.h"
#include "protocol/atreplies.h"
#include "protocol/enablereply.h"
#include "protocol/modbus.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace {

void checkEcho(const QByteArray &received, const QByteArray &sent)
{
    const int echo = replies::echoLength(received, sent);
    if (sent.isEmpty()) {
        FUZZ_CHECK(echo == 0);
        return;
    }
    FUZZ_CHECK(echo == -1 || echo == 0 || echo == sent.size());
    if (echo == sent.size())
        FUZZ_CHECK(received.startsWith(sent));
    else if (echo == -1) // the start of the echo so far, the rest still to come
        FUZZ_CHECK(received.size() < sent.size() && sent.startsWith(received));
    else
        FUZZ_CHECK(!received.startsWith(sent) &&
                   (!sent.startsWith(received) || received.size() >= sent.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const int cut = size > 0 ? data[0] % (int(size) + 1) : 0;
    checkEcho(bytes, bytes.mid(1, cut));
    checkEcho(bytes.mid(1, cut), bytes);
    checkEcho(bytes.mid(cut), bytes.left(cut));

    const QString text = replies::replyText(reinterpret_cast<const char *>(data), int(size));

    const replies::EnableReply reply = replies::parseEnableReply(text);
    FUZZ_CHECK(reply.recognised == text.contains(QLatin1String("ENATCMD")));
    if (!reply.recognised) {
        FUZZ_CHECK(reply.address == 0 && !reply.atEnabled);
        return 0;
    }

    // The address is the number between the first colon and the next one.
    const int colon = text.indexOf(QLatin1Char(':'));
    const QString rest = colon < 0 ? text : text.mid(colon + 1);
    const int next = rest.indexOf(QLatin1Char(':'));
    bool ok = false;
    const int address = (next < 0 ? rest : rest.left(next)).trimmed().toInt(&ok, 10);
    FUZZ_CHECK(reply.address == (ok ? address : 0));

    // The flag runs from there to the line end; its bit 0 says AT commands are
    // on. Without a second colon there is no flag at all.
    if (next < 0) {
        FUZZ_CHECK(!reply.hasFlag && !reply.atEnabled);
        return 0;
    }
    const QString afterAddress = rest.mid(next + 1);
    const int lineEnd = afterAddress.indexOf(QStringLiteral("\r\n"));
    const int flag =
        (lineEnd < 0 ? afterAddress : afterAddress.left(lineEnd)).trimmed().toInt(&ok, 10);
    FUZZ_CHECK(reply.hasFlag == ok);
    FUZZ_CHECK(reply.atEnabled == (ok && (flag & 1) != 0));

    // A station address is only taken when a terminal can have it.
    FUZZ_CHECK(modbus::isValidStationAddress(reply.address) ==
               (reply.address >= 1 && reply.address <= 254));
    return 0;
}
