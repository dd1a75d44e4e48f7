#include "atomicsave.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Excel {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
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
bool resolveTarget(const QString &path, bool mustExist, QByteArray *target, QString *error)
{
    char resolved[PATH_MAX];
    if (::realpath(QFile::encodeName(path).constData(), resolved)) {
        *target = resolved;
        return true;
    }
    if (errno != ENOENT || mustExist) {
        *error = QStringLiteral("cannot resolve the path: %1").arg(systemError());
        return false;
    }
    const QFileInfo info(path);
    if (!::realpath(QFile::encodeName(info.absolutePath()).constData(), resolved)) {
        *error = QStringLiteral("cannot resolve the folder: %1").arg(systemError());
        return false;
    }
    *target = QByteArray(resolved) + '/' + QFile::encodeName(info.fileName());
    return true;
}

} // namespace

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
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.isEmpty()) {
        ::unlink(m_temp.constData());
        m_temp.clear();
    }
}

bool AtomicSave::begin(const QString &path, const FileIdentity *expected, QString *error)
{
    discard();
    m_checkIdentity = false;
    if (!resolveTarget(path, expected != nullptr, &m_target, error))
        return false;
    struct stat st;
    const bool exists = ::stat(m_target.constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        *error = QStringLiteral("the path is not a regular file");
        return false;
    }
    if (expected && !(exists && identityOf(st) == *expected)) {
        *error = QStringLiteral("the file was changed by someone else since it was opened");
        return false;
    }
    if (expected) {
        m_expected = *expected;
        m_checkIdentity = true;
    }
    if (exists && isReadOnly(m_target.constData(), st)) {
        *error = QStringLiteral("the file is read-only");
        return false;
    }
    m_mode = exists ? (st.st_mode & 07777) : newFileMode();
    m_uid = exists ? st.st_uid : uid_t(-1);
    m_gid = exists ? st.st_gid : gid_t(-1);

    const QByteArray folder = folderOf(m_target);
    const QByteArray name = m_target.mid(m_target.lastIndexOf('/') + 1);
    struct stat dst;
    if (::stat(folder.constData(), &dst) != 0 || isReadOnly(folder.constData(), dst)) {
        *error = QStringLiteral("the folder is read-only");
        return false;
    }
    QByteArray templ = folder + "/.~" + name.left(200) + ".XXXXXX";
    m_fd = ::mkostemp(templ.data(), O_CLOEXEC);
    if (m_fd < 0) {
        *error = QStringLiteral("cannot create a temporary file in the folder: %1").arg(systemError());
        return false;
    }
    m_temp = templ;
    return true;
}

QString AtomicSave::tempPath() const
{
    return QFile::decodeName(m_temp);
}

bool AtomicSave::reopen(QString *error)
{
    if (m_temp.isEmpty()) {
        *error = QStringLiteral("nothing to save");
        return false;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = ::open(m_temp.constData(), O_RDWR | O_CLOEXEC);
    if (m_fd < 0) {
        *error = QStringLiteral("cannot reopen the temporary file: %1").arg(systemError());
        discard();
        return false;
    }
    return true;
}

bool AtomicSave::commit(QString *error, FileIdentity *written)
{
    if (m_fd < 0) {
        *error = QStringLiteral("nothing to save");
        return false;
    }
    // Keep the original's owner where we may, and its permissions.
    if (::fchown(m_fd, m_uid, m_gid) != 0) {
        // Not our file: it keeps our ownership, as any editor's save would.
    }
    if (::fchmod(m_fd, m_mode) != 0 || ::fsync(m_fd) != 0) {
        *error = QStringLiteral("cannot write the new file: %1").arg(systemError());
        discard();
        return false;
    }
    if (written)
        identityOfDescriptor(m_fd, written);
    const int closed = ::close(m_fd);
    m_fd = -1;
    if (closed != 0) {
        *error = QStringLiteral("cannot write the new file: %1").arg(systemError());
        discard();
        return false;
    }
    if (m_checkIdentity) {
        struct stat st;
        if (::stat(m_target.constData(), &st) != 0 || !(identityOf(st) == m_expected)) {
            *error = QStringLiteral("the file was changed by someone else since it was opened");
            discard();
            return false;
        }
    }
    if (::rename(m_temp.constData(), m_target.constData()) != 0) {
        *error = QStringLiteral("cannot replace the file: %1").arg(systemError());
        discard();
        return false;
    }
    m_temp.clear();
    const int dfd = ::open(folderOf(m_target).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd); // the rename is done; a failed folder flush cannot undo it
        ::close(dfd);
    }
    return true;
}

} // namespace Excel
