#pragma once

// Small decisions of the two file lists, kept apart from the widgets so that
// they can be tested on their own.

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Removes the entries at the given positions (each once, highest first);
// positions outside the list are ignored.
void removeListEntries(QStringList *list, const QSet<int> &positions);

// The hover tip of a listed file: its full path and the double-click hint;
// empty when position names no entry.
QString fileTip(const QStringList &list, int position);

// A path read back from a list file: doubled backslashes made single, then
// every backslash made "/".
QString normaliseListedPath(const QString &path);

// What the Mode 2 table does with a cell that has just changed.
enum class CellEntry {
    Ignore,        // the text is empty: nothing to do
    Refuse,        // the keyword above is empty: warn and empty the cell again
    Accept,        // keep it
    AcceptAndGrow, // keep it and add a new input row below
};

CellEntry judgeCellEntry(const QString &text, int row, int rowCount, const QString &keywordAbove);
