#include "binding/filetext.h"

namespace snbinding {

namespace {
constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr int kUtf8ByteOrderMarkSize = 3;
} // namespace

QString decodeFileText(const QByteArray &bytes, const CodePageDecoder &fromCodePage)
{
    if (bytes.startsWith(kUtf8ByteOrderMark))
        return QString::fromUtf8(bytes.constData() + kUtf8ByteOrderMarkSize,
                                 bytes.size() - kUtf8ByteOrderMarkSize);
    // Valid UTF-8 is what comes back unchanged from decoding and encoding
    // again: a byte that is not UTF-8 comes back as U+FFFD.
    const QString text = QString::fromUtf8(bytes.constData(), bytes.size());
    return text.toUtf8() == bytes ? text : fromCodePage(bytes);
}

} // namespace snbinding
