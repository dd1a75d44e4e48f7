#include "application.h"

#include "formats.h"

#include "systemerror.h"
#include "xls/cfb/compoundfile.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Excel {

namespace {

FileSignature sniffPath(const QString &path, OpenedFile *opened, bool wholeIfSmall, QString *error)
{
    opened->close();
    // Opened without blocking and checked before anything is read: a FIFO
    // or a device under a workbook's name must not hang the job.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = QCoreApplication::translate("Excel", "cannot read the file: %1").arg(Excel::systemErrorText(errno));
        return FileSignature::Unreadable;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *error = QCoreApplication::translate("Excel", "not a regular file");
        return FileSignature::Unreadable;
    }
    // Reads of a regular file never wait, so the reader may go on with
    // this descriptor as it is.
    opened->fd = fd;
    opened->status = st;
    return sniffOpenedFile(opened, error, wholeIfSmall);
}

} // namespace

FileSignature sniffFileSignature(const QString &path, QString *error)
{
    OpenedFile opened;
    return sniffPath(path, &opened, false, error);
}

FileSignature sniffFileSignature(const QString &path, OpenedFile *opened, QString *error)
{
    return sniffPath(path, opened, true, error);
}

FileSignature sniffOpenedFile(OpenedFile *opened, QString *error, bool wholeIfSmall)
{
    // A small file is read whole now, once: its reader takes these bytes.
    constexpr qint64 wholeReadLimit = qint64(1) << 20;
    const qint64 size = opened->status.st_size;
    QByteArray &head = opened->head;
    head.resize(int(wholeIfSmall && size > 8 && size <= wholeReadLimit ? size : 8));
    qint64 done = 0;
    while (done < head.size()) {
        const ssize_t n = ::pread(opened->fd, head.data() + done, size_t(head.size() - done), off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int readError = errno;
            opened->close();
            head.clear();
            *error = QCoreApplication::translate("Excel", "cannot read the file: %1").arg(Excel::systemErrorText(readError));
            return FileSignature::Unreadable;
        }
        if (n == 0)
            break;
        done += n;
    }
    head.resize(int(done));
    if (head.startsWith(QByteArray("PK\x03\x04", 4)) || head.startsWith(QByteArray("PK\x05\x06", 4)))
        return FileSignature::Zip;
    if (head.startsWith(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)))
        return FileSignature::CompoundFile;
    *error = QCoreApplication::translate("Excel", "not a workbook (neither a zip package nor a compound file)");
    return FileSignature::Other;
}

Workbooks::Workbooks() = default;
Workbooks::~Workbooks() = default;

Workbook *Workbooks::Open(const QString &filename)
{
    OpenedFile opened;
    QString error;
    const FileSignature signature = sniffFileSignature(filename, &opened, &error);
    return openSniffed(filename, signature, &opened, error);
}

Workbook *Workbooks::Open(const QString &filename, int heldFd, const struct stat &heldStatus)
{
    OpenedFile opened;
    QString error;
    FileSignature signature = FileSignature::Unreadable;
    opened.fd = ::fcntl(heldFd, F_DUPFD_CLOEXEC, 0);
    opened.status = heldStatus;
    if (opened.fd < 0)
        error = QCoreApplication::translate("Excel", "cannot read the file: %1").arg(Excel::systemErrorText(errno));
    else if (!S_ISREG(heldStatus.st_mode))
        error = QCoreApplication::translate("Excel", "not a regular file");
    else
        signature = sniffOpenedFile(&opened, &error);
    return openSniffed(filename, signature, &opened, error);
}

Workbook *Workbooks::openSniffed(const QString &filename, FileSignature signature, OpenedFile *opened, QString error)
{
    m_lastError.clear();
    std::unique_ptr<Workbook> book;
    switch (signature) {
    case FileSignature::Zip:
        book = openOoxmlWorkbook(filename, &error, opened);
        break;
    case FileSignature::CompoundFile:
        book = openBiffWorkbook(filename, &error, opened);
        break;
    case FileSignature::Other:
    case FileSignature::Unreadable:
        break;
    }
    if (!book) {
        m_lastError = error.isEmpty() ? QCoreApplication::translate("Excel", "cannot open the workbook") : error;
        return nullptr;
    }
    m_open.push_back(std::move(book));
    return m_open.back().get();
}

void Workbooks::closeAll()
{
    m_open.clear();
}

Application::Application() = default;

Application::~Application()
{
    Quit();
}

void Application::Quit()
{
    m_workbooks.closeAll();
}

void loadEngineLibraries()
{
    QString ignored;
    Biff::loadCompoundFileLibrary(&ignored);
}

} // namespace Excel
