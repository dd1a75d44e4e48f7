#pragma once

// Keeps two jobs from working on one workbook at once, whatever runs them:
// two jobs of one run, a window and korrin-batch, two korrin-batch processes.
// The lock is an exclusive lock on the workbook file itself (filelock.h),
// held from before the workbook is read until after its save is in place.

#include <QString>

#include <sys/stat.h>
#include <sys/types.h>

// What a path names at the moment it is looked at.
struct WorkbookPath
{
    enum Kind {
        Regular,    // a regular file (a symbolic link to one included)
        Missing,    // nothing there, or a symbolic link to nothing
        NotRegular, // a folder, FIFO, device or socket, a link loop, or a path that cannot be looked at
    };
    Kind kind = Missing;
    QString reason; // for Missing and NotRegular
    dev_t device = 0;
    ino_t inode = 0;

    // Looks at path without opening it.
    static WorkbookPath of(const QString &path);
};

// An office program's sign that it has the workbook open: LibreOffice's
// ".~lock.NAME#" or Microsoft Office's "~$NAME" beside it (beside the link
// and beside its target, for a symbolic link). The lock file's path, or
// empty when there is none.
QString officeLockFile(const QString &path);
// The same, for a path known to be no symbolic link (or known to be one).
QString officeLockFile(const QString &path, bool isLink);

class WorkbookLock
{
public:
    WorkbookLock() = default;
    ~WorkbookLock();
    WorkbookLock(const WorkbookLock &) = delete;
    WorkbookLock &operator=(const WorkbookLock &) = delete;

    // Opens the regular file at path for reading and writing, without
    // blocking on anything else, and locks it (a file we may not write is
    // opened for reading and locked shared: it can be read and searched,
    // and its save is refused as read-only); while someone else holds it,
    // waits up to waitMs. A save replaces the file by another one under the
    // same name, so after a wait the path must still name the file that was
    // locked, or the newer file is locked instead. False with the reason.
    // On a file system without locks the file is opened all the same and
    // isLocked() says false.
    bool acquire(const QString &path, int waitMs, QString *error);
    void release();

    bool isLocked() const { return m_fd >= 0 && m_locked; }

    // The locked file, open for reading (and writing, unless it is read-only); -1 when none is held.
    int fd() const { return m_fd; }
    // What fstat told of it once it was locked.
    const struct stat &status() const { return m_status; }
    // Whether the path still names the locked file (nobody replaced it).
    bool stillNamesLockedFile() const;
    // Whether the path was a symbolic link (to the locked file) when it was locked.
    bool nameIsLink() const { return m_nameIsLink; }

private:
    QString m_path;
    int m_fd = -1;
    bool m_locked = false;
    bool m_nameIsLink = false;
    dev_t m_device = 0; // of the file open at m_fd, which cannot change
    ino_t m_inode = 0;
    struct stat m_status = {};
};
