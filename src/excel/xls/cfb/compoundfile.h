#pragma once

// Compound files (OLE2 / MS-CFB) held in memory: read with libgsf after a
// structural check of the raw sectors, and written back with 512-byte
// sectors. Every stream and storage keeps its name, its content, its class
// id (storages) and its modification time.

#include <QByteArray>
#include <QString>

#include <vector>

namespace Excel {
namespace Biff {

struct CfbNode
{
    QByteArray name;        // UTF-8, as libgsf reports it
    bool storage = false;
    bool hasClassId = false;
    unsigned char classId[16] = {};
    bool hasModTime = false;
    qint64 modTimeUs = 0;   // microseconds since 1970, UTC
    QByteArray data;        // streams only
    std::vector<CfbNode> children;

    // A direct child stream whose name equals name without regard to case.
    const CfbNode *findStream(const char *name) const;
    CfbNode *findStream(const char *name);
};

// Checks the sector structure of the file: header, DIFAT, FAT and mini FAT
// chains (no loops, no sector used twice, enough sectors for each stream)
// and the directory tree. Excel refuses files that break these rules.
bool checkCompoundFile(const QByteArray &file, QString *error);

// Reads the whole tree (checkCompoundFile first).
bool readCompoundFile(const QByteArray &file, CfbNode *root, QString *error);

// Writes the tree as a new compound file with 512-byte sectors.
bool writeCompoundFile(const CfbNode &root, QByteArray *file, QString *error);

// True when both trees hold the same names, kinds, class ids and contents.
bool sameTree(const CfbNode &a, const CfbNode &b, QString *difference);

// Loads libgsf now rather than with the first compound file read or
// written; false with the reason when it cannot be loaded.
bool loadCompoundFileLibrary(QString *error);

} // namespace Biff
} // namespace Excel
