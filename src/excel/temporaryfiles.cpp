#include "temporaryfiles.h"

#include "filelock.h"
#include "systemerror.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Excel {

namespace {

const QByteArray prefix = QByteArrayLiteral(".~korrin.");
const QByteArray suffix = QByteArrayLiteral(".tmp");
constexpr int randomLength = 8;

QString systemError()
{
    return Excel::systemErrorText(errno);
}

QByteArray randomPart()
{
    static const char letters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    QByteArray part(randomLength, '0');
    for (char &c : part)
        c = letters[QRandomGenerator::system()->bounded(int(sizeof letters - 1))];
    return part;
}

bool namesDescriptor(int dirFd, const char *name, int fd)
{
    struct stat named, open;
    return ::fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &open) == 0
        && named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

// Removes the entry name of the folder open at dirFd when it is a
// temporary file of ours that no save holds; true when it went.
bool removeIfStale(int dirFd, const char *name)
{
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()
        || st.st_nlink != 1)
        return false;
    const int fd = ::openat(dirFd, name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool removed = false;
    // Held only when no save has it: a live save keeps its lock until the
    // rename, and one that was killed lost it with its process.
    if (tryLockFile(fd) == FileLock::Held && namesDescriptor(dirFd, name, fd))
        removed = ::unlinkat(dirFd, name, 0) == 0;
    ::close(fd);
    return removed;
}

} // namespace

QByteArray temporaryNameStem(const QByteArray &fileName)
{
    const int room = NAME_MAX - prefix.size() - 1 - randomLength - suffix.size();
    if (fileName.size() <= room)
        return prefix + fileName + '.';
    // Keep whole UTF-8 sequences of the name's start; the hash tells names
    // with the same start apart.
    int keep = 180;
    while (keep > 0 && (uchar(fileName.at(keep)) & 0xC0) == 0x80)
        --keep;
    const QByteArray hash = QCryptographicHash::hash(fileName, QCryptographicHash::Sha1).toHex().left(16);
    return prefix + fileName.left(keep) + '~' + hash + '.';
}

bool isTemporaryName(const QByteArray &entry)
{
    return entry.size() > prefix.size() + suffix.size() && entry.startsWith(prefix) && entry.endsWith(suffix);
}

bool createTemporaryFile(const QByteArray &folder, const QByteArray &name, TemporaryFile *file, QString *error)
{
    const QByteArray stem = folder + '/' + temporaryNameStem(name);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray path = stem + randomPart() + suffix;
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST || errno == ELOOP)
                continue; // someone's file under that name: never ours to use
            *error = QCoreApplication::translate("Excel", "cannot create a temporary file in the folder: %1").arg(systemError());
            return false;
        }
        const FileLock lock = tryLockFile(fd);
        if (lock == FileLock::Failed) {
            *error = QCoreApplication::translate("Excel", "cannot lock the temporary file: %1").arg(systemError());
            ::unlink(path.constData());
            ::close(fd);
            return false;
        }
        // Between the create and the lock a clean-up may have taken the new
        // file for a left-over one and removed it: then take another name.
        struct stat named, open;
        if (lock == FileLock::Busy || ::lstat(path.constData(), &named) != 0 || ::fstat(fd, &open) != 0
            || named.st_ino != open.st_ino || named.st_dev != open.st_dev) {
            ::close(fd);
            continue;
        }
        file->fd = fd;
        file->path = path;
        file->locked = lock == FileLock::Held;
        file->uid = open.st_uid;
        file->gid = open.st_gid;
        return true;
    }
    *error = QCoreApplication::translate("Excel", "cannot create a temporary file in the folder: every name tried was taken");
    return false;
}

int removeStaleTemporaryFiles(const QByteArray &folder)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return 0;
    int removed = 0;
    while (const struct dirent *entry = ::readdir(dir)) {
        const QByteArray name = QByteArray::fromRawData(entry->d_name, int(std::strlen(entry->d_name)));
        if (isTemporaryName(name) && removeIfStale(::dirfd(dir), entry->d_name))
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

} // namespace Excel
