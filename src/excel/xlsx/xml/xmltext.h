#pragma once

// Turning XML character data into text and back, with Excel's _xHHHH_
// escape for the characters that XML cannot carry.

#include <QByteArray>
#include <QString>

#include <string_view>

namespace Excel {
namespace Xlsx {

// Character data of an element: references resolved, line ends
// normalised (CR LF and lone CR read as LF), as any XML reader does.
QString decodeCharacters(std::string_view raw);
// The content of a CDATA section (line ends normalised only).
QString decodeCData(std::string_view raw);
// An attribute value: references resolved, white space characters read as
// spaces.
QString decodeAttribute(std::string_view raw);

// Excel's escape in cell text, formulas and strings: _xHHHH_ (exactly four
// hex digits) stands for that UTF-16 unit; "_x005F_" before "xHHHH_" is
// how a literal "_xHHHH_" is kept.
QString decodeExcelEscapes(const QString &text);
bool hasExcelEscapes(const QString &text);

// Appends text as element content: & < > as references, and everything
// XML cannot hold (C0 controls but TAB and LF, CR, U+FFFE, U+FFFF) as
// _xHHHH_; a literal _xHHHH_ gets its underscore escaped; lone surrogates
// are dropped.
void appendEscapedText(QByteArray *out, const QString &text);
// Appends an attribute value in double quotes' content (no _x escapes).
void appendEscapedAttribute(QByteArray *out, const QString &value);

// Text whose leading or trailing white space must be kept with
// xml:space="preserve".
bool needsSpacePreserve(const QString &text);

} // namespace Xlsx
} // namespace Excel
