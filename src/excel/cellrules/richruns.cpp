#include "richruns.h"

namespace Excel {

QVector<QString> replaceInRuns(const QString &text, const QVector<int> &runLengths,
                               const QVector<TextSpan> &spans, const QString &replacement)
{
    QVector<QString> out(runLengths.size());
    if (runLengths.isEmpty())
        return out;
    QVector<int> runStart(runLengths.size());
    int acc = 0;
    for (int i = 0; i < runLengths.size(); ++i) {
        runStart[i] = acc;
        acc += runLengths[i];
    }
    // Positions only grow from here on, so the run they fall in is found by
    // walking on from the last one: linear in runs and matches together.
    int current = 0;
    auto runAt = [&](int pos) {
        while (current + 1 < runLengths.size() && runStart[current + 1] <= pos)
            ++current;
        return current;
    };
    // Copy the text between matches into its own runs.
    auto copyRange = [&](int from, int to) {
        while (from < to) {
            const int r = runAt(from);
            const int runEnd = runStart[r] + runLengths[r];
            const int stop = qMin(to, runEnd);
            if (stop <= from) { // zero-length runs at this position
                ++from;
                continue;
            }
            out[r] += text.midRef(from, stop - from);
            from = stop;
        }
    };
    int pos = 0;
    for (const TextSpan &s : spans) {
        copyRange(pos, s.start);
        out[runAt(s.start)] += replacement;
        pos = s.end;
    }
    copyRange(pos, text.size());
    return out;
}

} // namespace Excel
