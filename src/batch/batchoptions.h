#pragma once

#include "keywordpairs.h"

#include <QString>
#include <QStringList>

// The command line of korrin-batch, parsed.
struct BatchOptions
{
    RepPar par;
    QStringList files;
    bool help = false;
    bool version = false;
    bool verbose = false;
};

// Parses the arguments (without the program name). False with a message in
// *error for a usage error.
bool parseBatchArguments(const QStringList &args, BatchOptions *options, QString *error);

QString batchUsage();
