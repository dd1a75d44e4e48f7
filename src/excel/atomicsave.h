#pragma once

// Replaces a file atomically: the new content goes to a temporary file in
// the same folder, which is flushed to disk, given the original's
// permissions (and owner, where we may) and renamed over it; then the folder
// itself is flushed. A symbolic link is followed first, so the link survives
// and its target is replaced. A file that does not exist yet is created the
// same way, with the permissions a new file gets. Until commit() succeeds
// the original is never touched, and a save that is abandoned removes its
// temporary file.

#include <QByteArray>
#include <QString>

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

class AtomicSave
{
public:
    AtomicSave() = default;
    ~AtomicSave();
    AtomicSave(const AtomicSave &) = delete;
    AtomicSave &operator=(const AtomicSave &) = delete;

    // Refuses a file that is read-only (no write permission bits, or not
    // writable by us) or a folder that is; otherwise creates the temporary
    // file. When expected is given, the file must exist and still be that
    // one; without it, a missing file is created.
    bool begin(const QString &path, const FileIdentity *expected, QString *error);

    int fd() const { return m_fd; }
    QString tempPath() const;

    // For content that a library writes to tempPath() by name, possibly by
    // replacing the file there: takes up whatever file is there now.
    bool reopen(QString *error);

    // Renames the new file over the old one; *written identifies it then.
    bool commit(QString *error, FileIdentity *written = nullptr);

private:
    void discard();

    QByteArray m_target; // the resolved path
    QByteArray m_temp;
    int m_fd = -1;
    mode_t m_mode = 0;
    uid_t m_uid = uid_t(-1); // -1: leave as created
    gid_t m_gid = gid_t(-1);
    FileIdentity m_expected;
    bool m_checkIdentity = false;
};

} // namespace Excel
