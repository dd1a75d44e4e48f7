#pragma once

// A file open for reading a workbook, with what fstat told of it when it
// was opened; the descriptor is closed with it unless taken.

#include <sys/stat.h>
#include <unistd.h>

namespace Excel {

struct OpenedFile
{
    int fd = -1;
    struct stat status = {};

    OpenedFile() = default;
    OpenedFile(const OpenedFile &) = delete;
    OpenedFile &operator=(const OpenedFile &) = delete;
    ~OpenedFile() { close(); }

    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int take()
    {
        const int taken = fd;
        fd = -1;
        return taken;
    }
};

} // namespace Excel
