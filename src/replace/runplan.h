#pragma once

// What a run does, decided before it starts: the files in order, the record
// of each (its pairs and options), and how the jobs treat the workbooks; or
// the files an undo puts back.
// Both front ends build one: the window from its panes and tables, the
// command line from its arguments or a list file.

#include "keywordpairs.h"
#include "rep.h"

#include <QString>
#include <QStringList>
#include <QVector>

struct RunPlan
{
    QStringList files;
    QVector<RepPar> pars; // one per file, in the same order
    JobOptions job;
    // An entry that exists but is no regular file (a folder, FIFO, device,
    // link loop) is reported as MISSING, as the window counts a listed
    // folder; otherwise as a FAILURE with the reason.
    bool nonFilesAreMissing = false;
    // Not empty: an undo (undo.h). File k is put back from the copy
    // restores[k] names in restoreFolder; pars are not used.
    QVector<BackupEntry> restores;
    QString restoreFolder;

    // Every file with the same record.
    static RunPlan forEvery(const QStringList &files, const RepPar &par);

    // Mode 1: the pairs of the two panes (or of a list file's keyword
    // sheet) for every file; par gives the options.
    static RunPlan mode1(const QStringList &files, const QStringList &keywordLines,
                         const QStringList &replacementLines, const QString &separator, const RepPar &par);

    // Mode 2: file k pairs every keyword cell with the cell of the same row
    // in replacementColumns[k]; par gives the options.
    static RunPlan mode2(const QStringList &files, const QStringList &keywordCells,
                         const QVector<QStringList> &replacementColumns, const QString &separator, const RepPar &par);
};
