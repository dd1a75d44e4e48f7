#include "filelock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace Excel {

FileLock tryLockFile(int fd, LockKind kind)
{
    struct flock lock = {};
    lock.l_type = kind == LockKind::Exclusive ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET; // start 0, length 0: the whole file, however it grows
    for (;;) {
        if (::fcntl(fd, F_OFD_SETLK, &lock) == 0)
            return FileLock::Held;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EACCES)
            return FileLock::Busy;
        break;
    }
    if (errno != EINVAL && errno != ENOLCK && errno != EOPNOTSUPP && errno != ENOSYS)
        return FileLock::Failed;
    for (;;) {
        if (::flock(fd, (kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0)
            return FileLock::Held;
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            return FileLock::Busy;
        return errno == EINVAL || errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS ? FileLock::Unsupported
                                                                                            : FileLock::Failed;
    }
}

} // namespace Excel
