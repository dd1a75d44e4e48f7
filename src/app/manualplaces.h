#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Where the Help command looks for the manual, in the order it tries them:
// a help.chm in the working directory (a help file some users keep beside
// their workbooks), the manual installed with the program (found relative to
// the program's folder, so that any install prefix works), and, for a
// program run from its build tree, the manual in the source tree.
QStringList manualPlaces(const QString &workingDir, const QString &programDir);

// Opens the first of places that exists and that open() takes. Returns an
// empty text when one was opened, otherwise the message that tells the user
// what was tried and why each place failed.
QString openFirstManual(const QStringList &places, const std::function<bool(const QString &)> &open);
