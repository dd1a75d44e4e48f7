/* Preloaded into a program (LD_PRELOAD), makes it see a file system that
 * has no file locks at all: the lock commands of fcntl() and flock() fail
 * with ENOLCK, as on a mount without lock support. Everything else goes
 * to the C library. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/file.h>

static int isLockCommand(int cmd)
{
    return cmd == F_SETLK || cmd == F_SETLKW || cmd == F_GETLK || cmd == F_OFD_SETLK || cmd == F_OFD_SETLKW
        || cmd == F_OFD_GETLK;
}

typedef int (*FcntlCall)(int, int, ...);

static int forward(const char *name, int fd, int cmd, void *arg)
{
    if (isLockCommand(cmd)) {
        errno = ENOLCK;
        return -1;
    }
    FcntlCall real = (FcntlCall)dlsym(RTLD_NEXT, name);
    return real(fd, cmd, arg);
}

int fcntl(int fd, int cmd, ...)
{
    va_list ap;
    va_start(ap, cmd);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    return forward("fcntl", fd, cmd, arg);
}

int fcntl64(int fd, int cmd, ...)
{
    va_list ap;
    va_start(ap, cmd);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    return forward("fcntl64", fd, cmd, arg);
}

int flock(int fd, int operation)
{
    (void)fd;
    (void)operation;
    errno = ENOLCK;
    return -1;
}
