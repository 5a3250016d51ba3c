// The binding-file lookup. The input is a serial number, a zero byte and the
// bytes of a binding file; without a zero byte the whole input is the file and
// the serial number is empty. The file is decoded as the tool decodes it, with
// Latin-1 standing in for the system's code page.
//
// A found name or key must be free of line controls, and the lookup must find
// what a plain field split of each line finds: the first line whose second
// field equals the serial number and whose name and key are not empty.
#include "binding/filetext.h"
#include "binding/snlookup.h"
#include "fuzzcheck.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

QString withoutControls(QString field)
{
    field.remove(QLatin1Char('\r'));
    field.remove(QLatin1Char('\n'));
    field.remove(QLatin1Char('\t'));
    return field;
}

bool hasControls(const QString &field)
{
    return field.contains(QLatin1Char('\r')) || field.contains(QLatin1Char('\n')) ||
           field.contains(QLatin1Char('\t'));
}

std::optional<snbinding::Credentials> expected(const QStringList &lines, const QString &sn)
{
    for (const QString &line : lines) {
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(QLatin1Char(','), Qt::KeepEmptyParts);
        if (fields.size() < 3 || fields.at(1) != sn)
            continue;
        const snbinding::Credentials credentials{withoutControls(fields.at(0)),
                                                 withoutControls(fields.at(2))};
        if (!credentials.name.isEmpty() && !credentials.key.isEmpty())
            return credentials;
    }
    return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    const void *zero = std::memchr(bytes, 0, size);
    const int snLength = zero ? int(static_cast<const char *>(zero) - bytes) : 0;
    const int bodyFrom = zero ? snLength + 1 : 0;
    const QString sn = QString::fromUtf8(bytes, snLength);
    const QString body =
        snbinding::decodeFileText(QByteArray(bytes + bodyFrom, int(size) - bodyFrom),
                                  [](const QByteArray &file) { return QString::fromLatin1(file); });

    const QStringList lines = snbinding::splitLines(body);
    FUZZ_CHECK(lines.join(QLatin1Char('\n')) == body);
    for (const QString &line : lines)
        FUZZ_CHECK(!line.contains(QLatin1Char('\n')));

    const std::optional<snbinding::Credentials> found = snbinding::lookup(lines, sn);
    const std::optional<snbinding::Credentials> reference = expected(lines, sn);
    FUZZ_CHECK(found.has_value() == reference.has_value());
    if (found) {
        FUZZ_CHECK(!hasControls(found->name));
        FUZZ_CHECK(!hasControls(found->key));
        FUZZ_CHECK(found->name == reference->name);
        FUZZ_CHECK(found->key == reference->key);
    }

    // Each line's own serial number finds that line or an earlier one with
    // the same number, never nothing, unless its name or key is empty.
    const int probes = qMin(lines.size(), 4);
    for (int i = 0; i < probes; ++i) {
        const QStringList fields = lines.at(i).split(QLatin1Char(','), Qt::KeepEmptyParts);
        if (fields.size() >= 3 && !withoutControls(fields.at(0)).isEmpty() &&
            !withoutControls(fields.at(2)).isEmpty())
            FUZZ_CHECK(snbinding::lookup(lines, fields.at(1)).has_value());
    }
    return 0;
}
