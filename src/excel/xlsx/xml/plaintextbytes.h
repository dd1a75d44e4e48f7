#pragma once

// Plain cell text handled as the UTF-8 bytes of the part: the cheap way to
// edit the common cells. Each helper agrees byte for byte with the QString
// path of xmltext.h on the text it accepts and refuses the rest, which then
// takes that path.

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>

namespace Excel {
namespace Xlsx {

// Whether an _xHHHH_ escape starts at p (*p == '_'), as the cell text
// decoder reads them: a lower-case x. orCapitalX also counts _XHHHH_, for
// checks that must err on the side of an escape.
bool excelEscapeAt(const char *p, const char *end, bool orCapitalX = false);

// Appends character data as text: the five named references resolved.
// False for what only the full path reads (character references, CR, a
// _xHHHH_ escape).
bool decodePlainCharacters(const char *raw, size_t size, std::string *out);

// Whether character data reads as exactly its own bytes: valid UTF-8
// (no surrogates, no overlong forms) without references, carriage
// returns or anything that could be an Excel escape ("_x"). Most cell
// text is.
bool readsAsItself(std::string_view raw);

// A replacement the byte path can insert: nothing in it needs a _xHHHH_
// escape and no surrogate stands alone.
bool isPlainReplacement(const QString &replacement);

// Appends text (decoded plain text, plain replacements) as element
// content, as appendEscapedText writes it.
void appendEscapedPlain(QByteArray *out, const char *text, size_t size);

// Whether the text needs xml:space="preserve" (white space at an end).
bool needsSpacePreserve(const char *text, size_t size);

} // namespace Xlsx
} // namespace Excel
