#pragma once

// Reading the keyword pairs of a run and the checks that may stop it before
// any job starts. Plain data in, plain data out: the window supplies the
// texts of its panes and table and shows what comes back.

#include "keywordpairs.h"

#include <QString>
#include <QStringList>

// Mode 1: every line (text block) of the keyword pane, split at the
// separator, pairs with the replacement pane's line of the same number
// (taken whole; empty when that pane has fewer lines).
KeyPairs mode1Pairs(const QStringList &keywordLines, const QStringList &replacementLines,
                    const QString &separator);

// Mode 2, one file: the keyword cell of every entry row pairs with that
// file's cell of the same row (cells without an item read as empty text).
KeyPairs mode2Pairs(const QStringList &keywordCells, const QStringList &replacementCells,
                    const QString &separator);

// Why a run stops before it starts. A stop with an empty boxText shows no
// box, only its state code.
struct LaunchStop
{
    int stateCode = 0;
    QString boxTitle;
    QString boxText;
};

// The Mode 1 checks that come before the run's size is known, in order: no
// files, an empty line between two keyword lines, fewer keyword lines than
// replacement lines, an empty keyword pane. True when the run may go on.
bool checkMode1Input(int fileCount, const QStringList &keywordLines, int replacementLineCount,
                     LaunchStop *stop);
// The last Mode 1 check: some keyword line is empty (a leading or trailing
// line break, after the checks above).
bool checkMode1Lines(const QStringList &keywordLines, LaunchStop *stop);

// Mode 2: an empty file list.
bool checkMode2Files(int fileCount, LaunchStop *stop);
// Mode 2: an entry row whose keyword cell is empty.
bool checkMode2Keywords(const QStringList &keywordCells, LaunchStop *stop);
