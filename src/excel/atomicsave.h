#pragma once

// Replaces a file atomically: the new content goes to a temporary file in
// the same folder (temporaryfiles.h), which is given the original's owner,
// group, permissions and extended attributes (keptattributes.h), flushed to
// disk and renamed over it; then the folder itself is flushed. A symbolic
// link is followed first, so the link survives and its target is replaced.
// A file that does not exist yet is created the same way, with the
// permissions a new file gets. Until commit() succeeds the original is never
// touched, and a save that is abandoned removes its temporary file.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <sys/stat.h>
#include <sys/types.h>

namespace Excel {

// What identifies the file a workbook was read from, to notice that
// someone replaced or changed it before we write over it.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 mtimeNs = 0;

    bool operator==(const FileIdentity &o) const
    {
        return device == o.device && inode == o.inode && size == o.size && mtimeNs == o.mtimeNs;
    }
};

bool identityOfDescriptor(int fd, FileIdentity *id);
FileIdentity identityOf(const struct stat &st);

// Writes all of data to fd.
bool writeAll(int fd, const QByteArray &data, QString *error);

// The folder a save of path writes its temporary file in: the folder of the
// file that is replaced, symbolic links resolved as a save resolves them.
// Empty when it cannot be told.
QByteArray saveFolderOf(const QString &path);
// The same, for a path known to be no symbolic link.
QByteArray saveFolderOfNonLink(const QString &path);

class AtomicSave
{
public:
    AtomicSave() = default;
    ~AtomicSave();
    AtomicSave(const AtomicSave &) = delete;
    AtomicSave &operator=(const AtomicSave &) = delete;

    // Refuses a file that is read-only (no write permission bits, or not
    // writable by us) or a folder that is, and a file of another user in a
    // folder with the sticky bit, which only its owner may replace;
    // otherwise creates the temporary file. When expected is given, the
    // file must exist and still be that one; without it, a missing file is
    // created.
    bool begin(const QString &path, const FileIdentity *expected, QString *error);

    int fd() const { return m_fd; }
    QString tempPath() const;
    // The file that commit() replaces: the path with its links resolved.
    QString targetPath() const;

    // For content that a library writes to tempPath() by name, possibly by
    // replacing the file there: takes up whatever file is there now.
    bool reopen(QString *error);

    // Gives the new file what the old one had (owner, group, mode,
    // extended attributes). replace() does it; a dry run calls it alone to
    // find out whether the save would go through. False with a reason.
    bool keepAttributes(QString *error);

    // Flushes the new file, renames it over the old one and flushes the
    // folder; *written identifies the new file then.
    bool commit(QString *error, FileIdentity *written = nullptr);

    // commit() in its two steps, for a caller that flushes one folder once
    // for several files. replace() flushes the new file and renames it over
    // the old one (which stays untouched when it fails); the new file is on
    // disk for good only once a flushFolder() of folder() that began after
    // the rename has returned. A failed folder flush is not reported: the
    // rename is done and cannot be undone.
    bool replace(QString *error, FileIdentity *written = nullptr);
    // The folder of the file replaced, links resolved.
    QByteArray folder() const;
    static void flushFolder(const QByteArray &folder);

private:
    void discard();

    QByteArray m_target; // the resolved path
    QByteArray m_temp;
    int m_fd = -1;
    bool m_replacesFile = false; // the target existed when the save began
    mode_t m_mode = 0;
    uid_t m_uid = uid_t(-1); // -1: leave as created
    gid_t m_gid = gid_t(-1);
    uid_t m_tempUid = uid_t(-1); // the temporary file's, as created
    gid_t m_tempGid = gid_t(-1);
    FileIdentity m_expected;
    bool m_checkIdentity = false;
};

// A save whose new file is written but not yet in place. commit() puts it
// in place, as its own step, so that a caller can do something first (copy
// the original away, or decide not to); destroying it without a commit
// removes the new file and leaves the original as it was. It must not
// outlive the workbook that made it.
class PendingSave
{
public:
    using Committed = std::function<void(const FileIdentity &written)>;

    PendingSave(std::unique_ptr<AtomicSave> save, Committed committed);
    ~PendingSave();
    PendingSave(const PendingSave &) = delete;
    PendingSave &operator=(const PendingSave &) = delete;

    QString targetPath() const { return m_save->targetPath(); }
    // The new file, open for reading and writing, for a caller that reads
    // it back before the commit.
    int fd() const { return m_save ? m_save->fd() : -1; }

    // Once only; false with a reason, the original then untouched.
    bool commit(QString *error);

    // For a dry run: every step of the save but the rename
    // (AtomicSave::keepAttributes); the new file goes when this is destroyed.
    bool rehearse(QString *error);

    // Instead of commit(), for a commit done elsewhere, after the workbook
    // is gone: the save on its own, which needs nothing of the workbook.
    // The workbook never learns that it was saved, so it must not be saved
    // again; this pending save is spent.
    std::unique_ptr<AtomicSave> takeSave();

private:
    std::unique_ptr<AtomicSave> m_save;
    Committed m_committed;
    bool m_done = false;
};

} // namespace Excel
