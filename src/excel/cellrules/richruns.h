#pragma once

// Replacing inside a rich-text cell keeps the formatting runs: text outside
// the matches stays in its run, a match is cut out of the runs it covers and
// the replacement goes into the run where the match begins.

#include "searchpattern.h"

#include <QString>
#include <QVector>

namespace Excel {

// runLengths: the length of each run in UTF-16 units, in order, summing to
// the length of text. Returns the new text of each run (same count; a run
// may become empty and is then usually dropped by the caller).
QVector<QString> replaceInRuns(const QString &text, const QVector<int> &runLengths,
                               const QVector<TextSpan> &spans, const QString &replacement);

} // namespace Excel
