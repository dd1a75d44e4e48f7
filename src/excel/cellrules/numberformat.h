#pragma once

// What a cell's number format means for a search: numbers shown as dates,
// times or percentages are not searched, and a Text format keeps written
// text as text.

#include <QString>

namespace Excel {

// Built-in number format ids (the same numbering in .xls and .xlsx).
bool builtinFormatShowsDateTimeOrPercent(int id);
bool builtinFormatIsText(int id);

// A format code whose display of a number is a date, a time or a
// percentage: date or time letters, or a "%", outside quoted text, escapes
// and bracketed colours or locale tags ([h], [m] and [s] count as times).
bool formatCodeShowsDateTimeOrPercent(const QString &code);

// The Text format "@" (alone in the code).
bool formatCodeIsText(const QString &code);

} // namespace Excel
