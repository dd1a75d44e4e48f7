#pragma once

// A file open for reading a workbook, with what fstat told of it when it
// was opened; the descriptor is closed with it unless taken.

#include <QByteArray>

#include <sys/stat.h>
#include <unistd.h>

namespace Excel {

struct OpenedFile
{
    int fd = -1;
    struct stat status = {};
    // The first bytes of the file, which told its format; a small file is
    // read whole here (isWhole()), so that its reader need not read it again.
    QByteArray head;

    bool isWhole() const { return status.st_size > 0 && head.size() == status.st_size; }

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
