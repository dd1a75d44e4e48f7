#include "atomicsave.h"

#include "filelock.h"
#include "keptattributes.h"
#include "systemerror.h"
#include "temporaryfiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace Excel {

namespace {

QString systemError()
{
    return Excel::systemErrorText(errno);
}


// Read-only in the sense of a file manager: without any write permission
// bit, or not writable by this process. (A privileged process could write
// it anyway; a user who marked the file read-only does not want that.)
bool isReadOnly(const char *path, const struct stat &st)
{
    return (st.st_mode & 0222) == 0 || ::access(path, W_OK) != 0;
}

// The permissions a newly created file gets: 0666 less the process umask,
// read without changing it (umask() itself would race with other threads).
mode_t newFileMode()
{
    static const mode_t mode = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("Umask:")) {
                    bool ok = false;
                    const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                    if (ok)
                        return mode_t(0666 & ~mask);
                }
            }
        }
        return mode_t(0644);
    }();
    return mode;
}

QByteArray folderOf(const QByteArray &path)
{
    const int slash = path.lastIndexOf('/');
    return slash > 0 ? path.left(slash) : QByteArray("/");
}

// The file that is really replaced: the target of a symbolic link, or, for
// a file still to be created (or a dangling link), the name in its folder.
// For a file that is no link, *known (if given) is set to what lstat said
// of it, which is what stat says of the target.
bool resolveTarget(const QString &path, bool mustExist, QByteArray *target, QString *error,
                   std::optional<struct stat> *known = nullptr)
{
    // A file that is no link is replaced under the name it was given: the
    // folders on the way may be links, and the rename happens in the folder
    // they lead to all the same.
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (!native.isEmpty() && ::lstat(native.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        if (known)
            *known = st;
        if (native.startsWith('/')) {
            *target = native;
            return true;
        }
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd)) {
            *target = QByteArray(cwd) + '/' + native;
            return true;
        }
        if (known)
            known->reset();
    }
    char resolved[PATH_MAX];
    if (::realpath(QFile::encodeName(path).constData(), resolved)) {
        *target = resolved;
        return true;
    }
    if (errno != ENOENT || mustExist) {
        *error = QCoreApplication::translate("Excel", "cannot resolve the path: %1").arg(systemError());
        return false;
    }
    const QFileInfo info(path);
    if (!::realpath(QFile::encodeName(info.absolutePath()).constData(), resolved)) {
        *error = QCoreApplication::translate("Excel", "cannot resolve the folder: %1").arg(systemError());
        return false;
    }
    *target = QByteArray(resolved) + '/' + QFile::encodeName(info.fileName());
    return true;
}

// A file system that cannot flush a file (some FUSE and network mounts)
// says so; the rename that follows is atomic all the same.
bool syncUnsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

} // namespace

QByteArray saveFolderOfNonLink(const QString &path)
{
    // As resolveTarget takes such a path: the name as given, from the
    // working folder if relative.
    return path.startsWith(QLatin1Char('/')) ? folderOf(QFile::encodeName(path)) : saveFolderOf(path);
}

QByteArray saveFolderOf(const QString &path)
{
    QByteArray target;
    QString ignored;
    return resolveTarget(path, true, &target, &ignored) ? folderOf(target) : QByteArray();
}

bool writeAll(int fd, const QByteArray &data, QString *error)
{
    const char *p = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(qMin<qint64>(left, 1 << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = QCoreApplication::translate("Excel", "cannot write the file: %1").arg(systemError());
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

FileIdentity identityOf(const struct stat &st)
{
    FileIdentity id;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

bool identityOfDescriptor(int fd, FileIdentity *id)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return false;
    *id = identityOf(st);
    return true;
}

AtomicSave::~AtomicSave()
{
    discard();
}

void AtomicSave::discard()
{
    // Removed while still locked, so that no other save takes it meanwhile.
    if (!m_temp.isEmpty()) {
        ::unlink(m_temp.constData());
        m_temp.clear();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool AtomicSave::begin(const QString &path, const FileIdentity *expected, QString *error)
{
    discard();
    m_checkIdentity = false;
    std::optional<struct stat> known;
    if (!resolveTarget(path, expected != nullptr, &m_target, error, &known))
        return false;
    struct stat st;
    bool exists = true;
    if (known)
        st = *known;
    else
        exists = ::stat(m_target.constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        *error = QCoreApplication::translate("Excel", "the path is not a regular file");
        return false;
    }
    if (expected && !(exists && identityOf(st) == *expected)) {
        *error = QCoreApplication::translate("Excel", "the file was changed by someone else since it was opened");
        return false;
    }
    if (expected) {
        m_expected = *expected;
        m_checkIdentity = true;
    }
    if (exists && isReadOnly(m_target.constData(), st)) {
        *error = QCoreApplication::translate("Excel", "the file is read-only");
        return false;
    }
    m_replacesFile = exists;
    m_mode = exists ? (st.st_mode & 07777) : newFileMode();
    m_uid = exists ? st.st_uid : uid_t(-1);
    m_gid = exists ? st.st_gid : gid_t(-1);

    const QByteArray folder = folderOf(m_target);
    const QByteArray name = m_target.mid(m_target.lastIndexOf('/') + 1);
    struct stat dst;
    if (::stat(folder.constData(), &dst) != 0 || isReadOnly(folder.constData(), dst)) {
        *error = QCoreApplication::translate("Excel", "the folder is read-only");
        return false;
    }
    // In a folder with the sticky bit (/tmp, a shared folder) a file may be
    // replaced only by its owner, the folder's owner or root.
    if (exists && (dst.st_mode & S_ISVTX)) {
        const uid_t us = ::geteuid();
        if (us != 0 && st.st_uid != us && dst.st_uid != us) {
            *error = QCoreApplication::translate("Excel", "the file belongs to another user and its folder has the sticky bit: only the "
                                    "file's owner can replace it");
            return false;
        }
    }
    TemporaryFile temp;
    if (!createTemporaryFile(folder, name, &temp, error))
        return false;
    m_fd = temp.fd;
    m_temp = temp.path;
    m_tempUid = temp.uid;
    m_tempGid = temp.gid;
    return true;
}

QString AtomicSave::tempPath() const
{
    return QFile::decodeName(m_temp);
}

QString AtomicSave::targetPath() const
{
    return QFile::decodeName(m_target);
}

bool AtomicSave::reopen(QString *error)
{
    if (m_temp.isEmpty()) {
        *error = QCoreApplication::translate("Excel", "nothing to save");
        return false;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = ::open(m_temp.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (m_fd < 0) {
        *error = QCoreApplication::translate("Excel", "cannot reopen the temporary file: %1").arg(systemError());
        discard();
        return false;
    }
    const FileLock lock = tryLockFile(m_fd);
    if (lock != FileLock::Held && lock != FileLock::Unsupported) {
        *error = QCoreApplication::translate("Excel", "cannot lock the temporary file again");
        discard();
        return false;
    }
    return true;
}

bool AtomicSave::keepAttributes(QString *error)
{
    if (m_fd < 0) {
        *error = QCoreApplication::translate("Excel", "nothing to save");
        return false;
    }
    FileAttributes kept;
    // A new file that has the owner and group already needs no chown.
    const bool owned = m_uid == m_tempUid && m_gid == m_tempGid;
    kept.uid = owned ? uid_t(-1) : m_uid;
    kept.gid = m_gid;
    kept.mode = m_mode;
    if (!giveAttributes(m_fd, m_replacesFile ? m_target : QByteArray(), kept, error)) {
        *error = QCoreApplication::translate("Excel", "cannot write the new file: %1").arg(*error);
        return false;
    }
    return true;
}

bool AtomicSave::commit(QString *error, FileIdentity *written)
{
    if (!replace(error, written))
        return false;
    flushFolder(folder()); // the rename is done; a failed folder flush cannot undo it
    return true;
}

bool AtomicSave::replace(QString *error, FileIdentity *written)
{
    if (m_fd < 0) {
        *error = QCoreApplication::translate("Excel", "nothing to save");
        return false;
    }
    if (!keepAttributes(error)) {
        discard();
        return false;
    }
    if (::fsync(m_fd) != 0 && !syncUnsupported(errno)) {
        *error = QCoreApplication::translate("Excel", "cannot write the new file: %1").arg(systemError());
        discard();
        return false;
    }
    if (written)
        identityOfDescriptor(m_fd, written);
    // The descriptor, and with it the lock, stays open until the rename:
    // no other save may take the file for a stale one before that.
    if (m_checkIdentity) {
        struct stat st;
        if (::stat(m_target.constData(), &st) != 0 || !(identityOf(st) == m_expected)) {
            *error = QCoreApplication::translate("Excel", "the file was changed by someone else since it was opened");
            discard();
            return false;
        }
    }
    if (::rename(m_temp.constData(), m_target.constData()) != 0) {
        *error = QCoreApplication::translate("Excel", "cannot replace the file: %1").arg(systemError());
        discard();
        return false;
    }
    m_temp.clear();
    ::close(m_fd); // flushed already: nothing is left for close to report
    m_fd = -1;
    return true;
}

QByteArray AtomicSave::folder() const
{
    return folderOf(m_target);
}

void AtomicSave::flushFolder(const QByteArray &folder)
{
    const int dfd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

PendingSave::PendingSave(std::unique_ptr<AtomicSave> save, Committed committed)
    : m_save(std::move(save))
    , m_committed(std::move(committed))
{
}

PendingSave::~PendingSave() = default; // an AtomicSave not committed removes its file

bool PendingSave::commit(QString *error)
{
    if (m_done) {
        *error = QCoreApplication::translate("Excel", "the save was committed already");
        return false;
    }
    m_done = true;
    FileIdentity written;
    if (!m_save->commit(error, &written))
        return false;
    if (m_committed)
        m_committed(written);
    return true;
}

bool PendingSave::rehearse(QString *error)
{
    return m_save->keepAttributes(error);
}

std::unique_ptr<AtomicSave> PendingSave::takeSave()
{
    m_done = true;
    m_committed = nullptr;
    return std::move(m_save);
}

} // namespace Excel
