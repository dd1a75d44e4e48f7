#pragma once

#include "keywordpairs.h"

#include <QString>
#include <QStringList>

// The command line of korrin-batch, parsed.
struct BatchOptions
{
    RepPar par;           // the options, and the pairs given with --pair
    QStringList inputs;   // files and folders named as arguments
    QString listFile;     // --list: files and pairs come from this list file
    QString filesFrom;    // --files-from: one path a line ("-": standard input)
    bool nullSeparated = false; // --null: the paths of --files-from end with NUL instead
    bool recursive = true;      // folders are scanned with their sub-folders
    QString separator = QStringLiteral("|");
    int jobs = 0;         // parallel jobs; 0: the thread pool's own size
    bool json = false;
    bool dryRun = false;
    QString backupDir;
    bool breakLinks = false; // --break-links
    QString changes;      // --changes: the record of changed cells goes here ("-": JSON lines on standard output)
    QString undo;         // --undo: the run folder whose run is undone
    bool help = false;
    bool version = false;
    bool verbose = false;
};

// Parses the arguments (without the program name). False with a message in
// *error for a usage error.
bool parseBatchArguments(const QStringList &args, BatchOptions *options, QString *error);

QString batchUsage();
