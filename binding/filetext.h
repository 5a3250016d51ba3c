#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The SN binding file's bytes as text. No I/O, no widgets.
namespace snbinding {

// Decodes text written in the system's code page (GBK on a Chinese Windows).
using CodePageDecoder = std::function<QString(const QByteArray &)>;

// A spreadsheet saves "CSV UTF-8" with a UTF-8 byte-order mark and plain "CSV"
// in the system's code page; a text editor saves UTF-8 without a mark. A
// byte-order mark (dropped here) or bytes that are valid UTF-8 mean UTF-8;
// anything else is the system's code page, read by fromCodePage.
QString decodeFileText(const QByteArray &bytes, const CodePageDecoder &fromCodePage);

} // namespace snbinding
