#include "descriptorbudget.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>

namespace {

// Enough for any run, and low enough for code that still uses select().
constexpr rlim_t wantedLimit = 8192;

rlim_t raisedLimit()
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur < wantedLimit && limit.rlim_cur < limit.rlim_max) {
        struct rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max < wantedLimit ? limit.rlim_max : wantedLimit;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            return raised.rlim_cur;
    }
    return limit.rlim_cur == RLIM_INFINITY ? wantedLimit : limit.rlim_cur;
}

int openDescriptors(int limit)
{
    if (DIR *dir = ::opendir("/proc/self/fd")) {
        int count = 0;
        while (const struct dirent *entry = ::readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                ++count;
        ::closedir(dir);
        return count - 1; // the folder's own
    }
    int count = 0;
    for (int fd = 0; fd < limit; ++fd)
        if (::fcntl(fd, F_GETFD) != -1)
            ++count;
    return count;
}

} // namespace

int freeDescriptors()
{
    static const rlim_t limit = raisedLimit();
    const int cap = limit > rlim_t(1) << 20 ? 1 << 20 : int(limit);
    return cap - openDescriptors(cap);
}
