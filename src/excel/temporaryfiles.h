#pragma once

// The temporary file of a save lies beside the file it replaces, under a
// name no one can guess beforehand: ".~korrin." + the file's name + "." +
// eight random letters and digits + ".tmp" (a file name too long for that is
// shortened, with a hash of the whole). It is created with O_EXCL, so a file
// that someone else put there is never used nor waited for, and it is locked
// (filelock.h) from its creation until it is renamed or removed.
//
// A save that was killed leaves its temporary file behind. Such files are
// recognised by their name, their owner (the user running Korrin) and their
// lock: one that nobody holds locked is left over and can go; one that is
// locked belongs to a save under way. Files of other users are left alone.

#include <QByteArray>
#include <QString>

namespace Excel {

// The fixed start of the temporary names of fileName's saves (fileName is
// a name, not a path).
QByteArray temporaryNameStem(const QByteArray &fileName);

// Whether entry (a name in a folder) has the form of a temporary file of a
// save: a name made by temporaryNameStem and a random part, or the fixed
// ".~korrin.NAME.tmp" that earlier versions used.
bool isTemporaryName(const QByteArray &entry);

struct TemporaryFile
{
    int fd = -1;
    QByteArray path;
    bool locked = false; // false where the file system has no locks
    uid_t uid = uid_t(-1); // the owner and group it was created with
    gid_t gid = gid_t(-1);
};

// Creates a new, empty temporary file (mode 0600) for a save of the file
// named name in folder, open for reading and writing and locked where the
// file system allows locks. False with a reason.
bool createTemporaryFile(const QByteArray &folder, const QByteArray &name, TemporaryFile *file, QString *error);

// Removes the temporary files in folder that were left by killed saves of
// the user running this (see above); returns how many went. Where the file
// system has no locks nothing is removed, since a save under way cannot be
// told from a dead one.
int removeStaleTemporaryFiles(const QByteArray &folder);

} // namespace Excel
