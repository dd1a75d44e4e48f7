#pragma once

#include "keywordpairs.h"

#include <QString>
#include <QStringList>
#include <QVector>

// The command line of korrin-batch, parsed.
struct BatchOptions
{
    RepPar par;          // the options, and the pairs given with --pair
    QStringList files;
    QString listFile;    // --list: files and pairs come from this list file
    QString separator = QStringLiteral("|");
    bool help = false;
    bool version = false;
    bool verbose = false;
};

// Parses the arguments (without the program name). False with a message in
// *error for a usage error.
bool parseBatchArguments(const QStringList &args, BatchOptions *options, QString *error);

// The files of the run and the record of each, from the options or from
// the list file; false with a reason when the list file cannot be used.
bool planBatch(const BatchOptions &options, QStringList *files, QVector<RepPar> *pars, QString *error);

QString batchUsage();
