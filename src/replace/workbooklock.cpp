#include "workbooklock.h"

#include "filelock.h"
#include "systemerror.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return Excel::systemErrorText(error);
}

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QCoreApplication::translate("Run", "a folder");
    if (S_ISFIFO(mode))
        return QCoreApplication::translate("Run", "a FIFO");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QCoreApplication::translate("Run", "a device");
    if (S_ISSOCK(mode))
        return QCoreApplication::translate("Run", "a socket");
    return QCoreApplication::translate("Run", "a special file");
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

WorkbookPath WorkbookPath::of(const QString &path)
{
    WorkbookPath p;
    if (path.isEmpty()) {
        p.reason = QCoreApplication::translate("Run", "the path is empty");
        return p;
    }
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::stat(native.constData(), &st) != 0) {
        const int error = errno;
        struct stat link;
        if (error == ENOENT || error == ENOTDIR) {
            p.kind = Missing;
            p.reason = ::lstat(native.constData(), &link) == 0 && S_ISLNK(link.st_mode)
                ? QCoreApplication::translate("Run", "a symbolic link to nothing")
                : QCoreApplication::translate("Run", "the file does not exist");
        } else {
            p.kind = NotRegular;
            p.reason = error == ELOOP ? QCoreApplication::translate("Run", "a loop of symbolic links")
                                      : QCoreApplication::translate("Run", "cannot look at the path: %1").arg(systemError(error));
        }
        return p;
    }
    p.device = st.st_dev;
    p.inode = st.st_ino;
    if (S_ISREG(st.st_mode)) {
        p.kind = Regular;
    } else {
        p.kind = NotRegular;
        p.reason = kindOf(st.st_mode) + QCoreApplication::translate("Run", ", not a workbook file");
    }
    return p;
}

QString officeLockFile(const QString &path)
{
    struct stat link;
    return officeLockFile(path, ::lstat(QFile::encodeName(path).constData(), &link) == 0 && S_ISLNK(link.st_mode));
}

QString officeLockFile(const QString &path, bool isLink)
{
    // Beside the name given and, for a link, beside the file it leads to
    // (links among the folders lead to the same folder either way).
    QStringList places{path};
    if (isLink) {
        const QString target = QFileInfo(path).canonicalFilePath();
        if (!target.isEmpty() && target != QFileInfo(path).absoluteFilePath())
            places << target;
    }
    for (const QString &place : places) {
        const QFileInfo info(place);
        const QString folder = info.path() + QLatin1Char('/');
        for (const QString &name : {QStringLiteral(".~lock.") + info.fileName() + QLatin1Char('#'),
                                    QStringLiteral("~$") + info.fileName()}) {
            struct stat st;
            if (::lstat(QFile::encodeName(folder + name).constData(), &st) == 0)
                return folder + name;
        }
    }
    return QString();
}

WorkbookLock::~WorkbookLock()
{
    release();
}

void WorkbookLock::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool WorkbookLock::acquire(const QString &path, int waitMs, QString *error)
{
    release();
    m_path = path;
    const QByteArray native = QFile::encodeName(path);
    const QDeadlineTimer deadline(qMax(0, waitMs));
    int pause = 1;
    for (;;) {
        const WorkbookPath named = WorkbookPath::of(path);
        if (named.kind != WorkbookPath::Regular) {
            *error = named.reason;
            return false;
        }
        // Checked before the open, and again on what was opened: the open
        // itself must not block on a FIFO nor touch a device.
        Excel::LockKind kind = Excel::LockKind::Exclusive;
        int fd = ::open(native.constData(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
            // A file we may not write can still be searched (and, when
            // nothing in it changes, succeed); a shared lock keeps writers
            // out meanwhile, and its save is refused as read-only.
            kind = Excel::LockKind::Shared;
            fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        }
        if (fd < 0) {
            const int e = errno;
            if (e == ENOENT && !deadline.hasExpired())
                continue; // replaced just now: look again
            *error = e == EACCES || e == EPERM ? QCoreApplication::translate("Run", "the file is read-only")
                   : e == EROFS               ? QCoreApplication::translate("Run", "the file system is read-only")
                                              : QCoreApplication::translate("Run", "cannot open the file: %1").arg(systemError(e));
            return false;
        }
        struct stat opened;
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            *error = QCoreApplication::translate("Run", "not a regular file");
            return false;
        }
        m_locked = true;
        bool waited = false;
        for (;;) {
            const Excel::FileLock lock = Excel::tryLockFile(fd, kind);
            if (lock == Excel::FileLock::Held)
                break;
            if (lock == Excel::FileLock::Unsupported) {
                // The file system has no locks: the job goes on without,
                // guarded by the checks that the file is still the one read.
                m_locked = false;
                break;
            }
            if (lock == Excel::FileLock::Failed) {
                *error = QCoreApplication::translate("Run", "cannot lock the file: %1").arg(systemError(errno));
                ::close(fd);
                return false;
            }
            if (deadline.hasExpired()) {
                *error = QCoreApplication::translate("Run", "in use by another job or program that holds it locked (waited %1 s)")
                             .arg(waitMs / 1000.0, 0, 'g', 3);
                ::close(fd);
                return false;
            }
            QThread::msleep(ulong(pause));
            pause = qMin(pause * 2, 50);
            waited = true;
        }
        // The last holder may have saved before it let go: its new file has
        // taken the name, and that one is what we must lock.
        // What the holder may have written in place meanwhile is in the
        // status the reader goes on from.
        // lstat first: for a name that is no link it says what stat would.
        struct stat now;
        bool found = ::lstat(native.constData(), &now) == 0;
        const bool isLink = found && S_ISLNK(now.st_mode);
        if (isLink)
            found = ::stat(native.constData(), &now) == 0;
        if (found && sameFile(now, opened) && (!waited || ::fstat(fd, &opened) == 0)) {
            m_nameIsLink = isLink;
            m_status = opened;
            m_fd = fd;
            m_device = opened.st_dev;
            m_inode = opened.st_ino;
            return true;
        }
        ::close(fd);
        if (deadline.hasExpired()) {
            *error = QCoreApplication::translate("Run", "the file keeps being replaced by another program");
            return false;
        }
    }
}

bool WorkbookLock::stillNamesLockedFile() const
{
    struct stat named;
    return m_fd >= 0 && ::stat(QFile::encodeName(m_path).constData(), &named) == 0 && named.st_dev == m_device
        && named.st_ino == m_inode;
}
