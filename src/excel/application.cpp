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

FileSignature sniffFileSignature(const QString &path, QString *error)
{
    OpenedFile opened;
    return sniffFileSignature(path, &opened, error);
}

FileSignature sniffFileSignature(const QString &path, OpenedFile *opened, QString *error)
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
    return sniffOpenedFile(opened, error);
}

FileSignature sniffOpenedFile(OpenedFile *opened, QString *error)
{
    char bytes[8];
    ssize_t n;
    do {
        n = ::pread(opened->fd, bytes, sizeof bytes, 0);
    } while (n < 0 && errno == EINTR);
    const int readError = errno;
    if (n < 0) {
        opened->close();
        *error = QCoreApplication::translate("Excel", "cannot read the file: %1").arg(Excel::systemErrorText(readError));
        return FileSignature::Unreadable;
    }
    const QByteArray head(bytes, int(n));
    if (head.startsWith(QByteArray("PK\x03\x04", 4)) || head.startsWith(QByteArray("PK\x05\x06", 4)))
        return FileSignature::Zip;
    if (head == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
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
