#pragma once

#include <QString>

namespace Excel {

// The system's text for an errno value, as strerror gives it in the
// program's locale. Where a translation is installed and knows the error
// (the window's), its text instead: the window is Chinese whatever the
// locale, and a reason such as "no space left on device" is one a user
// must be able to read.
QString systemErrorText(int error);

} // namespace Excel
