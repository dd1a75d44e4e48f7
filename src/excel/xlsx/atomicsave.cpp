#include "atomicsave.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Excel {
namespace Xlsx {

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
    char resolved[PATH_MAX];
    if (!::realpath(QFile::encodeName(path).constData(), resolved)) {
        *error = QStringLiteral("cannot resolve the path: %1").arg(systemError());
        return false;
    }
    m_target = resolved;
    struct stat st;
    if (::stat(resolved, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = QStringLiteral("the workbook is no longer a regular file");
        return false;
    }
    if (expected && !(identityOf(st) == *expected)) {
        *error = QStringLiteral("the file was changed by someone else since it was opened");
        return false;
    }
    if (expected) {
        m_expected = *expected;
        m_checkIdentity = true;
    }
    if (isReadOnly(resolved, st)) {
        *error = QStringLiteral("the file is read-only");
        return false;
    }
    m_mode = st.st_mode & 07777;
    m_uid = st.st_uid;
    m_gid = st.st_gid;

    const int slash = m_target.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? m_target.left(slash) : QByteArray("/");
    const QByteArray name = m_target.mid(slash + 1);
    struct stat dst;
    if (::stat(folder.constData(), &dst) != 0 || isReadOnly(folder.constData(), dst)) {
        *error = QStringLiteral("the folder is read-only");
        return false;
    }
    QByteArray templ = folder + "/.~" + name.left(200) + ".XXXXXX";
    m_fd = ::mkstemp(templ.data());
    if (m_fd < 0) {
        *error = QStringLiteral("cannot create a temporary file in the folder: %1").arg(systemError());
        return false;
    }
    ::fcntl(m_fd, F_SETFD, FD_CLOEXEC);
    m_temp = templ;
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
    const int slash = m_target.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? m_target.left(slash) : QByteArray("/");
    const int dfd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd); // the rename is done; a failed folder flush cannot undo it
        ::close(dfd);
    }
    return true;
}

} // namespace Xlsx
} // namespace Excel
