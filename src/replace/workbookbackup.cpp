#include "workbookbackup.h"

#include "systemerror.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return Excel::systemErrorText(errno);
}

// Reads the file at from from its start; to >= 0 receives a copy, hash
// (when given) what was read.
bool copyContent(int from, int to, QString *error, QCryptographicHash *hash = nullptr)
{
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(from, buffer.data(), size_t(buffer.size()), at);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = QCoreApplication::translate("Run", "cannot read the workbook: %1").arg(systemError());
            return false;
        }
        if (n == 0)
            return true;
        if (hash)
            hash->addData(buffer.constData(), int(n));
        for (ssize_t done = 0; to >= 0 && done < n;) {
            const ssize_t w = ::write(to, buffer.constData() + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                *error = QCoreApplication::translate("Run", "cannot write the copy: %1").arg(systemError());
                return false;
            }
            done += w;
        }
        at += n;
    }
}

// Gives the finished file at temp (or, with temp empty, the unnamed file
// open at fd) the first free numbered name.
bool nameCopy(int fd, const QByteArray &temp, const QString &folder, const QString &fileName, QString *copyPath,
              QString *error)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int n = 0; n < 100000; ++n) {
        const QString candidate = folder + QLatin1Char('/') + numberedName(fileName, n);
        const QByteArray name = QFile::encodeName(candidate);
        const int r = temp.isEmpty() ? ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW)
                                     : ::link(temp.constData(), name.constData());
        if (r == 0) {
            *copyPath = candidate;
            return true;
        }
        if (errno != EEXIST) {
            *error = QCoreApplication::translate("Run", "cannot name the copy %1: %2").arg(candidate, systemError());
            return false;
        }
    }
    *error = QCoreApplication::translate("Run", "too many copies of %1 in the folder").arg(fileName);
    return false;
}

} // namespace

QString numberedName(const QString &fileName, int n)
{
    if (n == 0)
        return fileName;
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    QString stem = dot > 0 ? fileName.left(dot) : fileName;
    const QString tail = QStringLiteral(" (%1)").arg(n) + (dot > 0 ? fileName.mid(dot) : QString());
    // Whole characters come off the end of the stem until the name fits.
    while (!stem.isEmpty() && QFile::encodeName(stem + tail).size() > NAME_MAX) {
        stem.chop(1);
        if (!stem.isEmpty() && QChar(stem.back()).isHighSurrogate())
            stem.chop(1);
    }
    return stem + tail;
}

bool sha256OfFile(int fd, QByteArray *hex, QString *error)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!copyContent(fd, -1, error, &hash))
        return false;
    *hex = hash.result().toHex();
    return true;
}

bool copyWithSha256(int from, int to, QByteArray *hex, QString *error)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!copyContent(from, to, error, &hash))
        return false;
    *hex = hash.result().toHex();
    return true;
}

bool backUpWorkbook(int sourceFd, const QString &fileName, const QString &folder, QString *copyPath,
                    QString *error, QByteArray *sha256)
{
    struct stat source;
    if (::fstat(sourceFd, &source) != 0) {
        *error = QCoreApplication::translate("Run", "cannot read the workbook: %1").arg(systemError());
        return false;
    }
    const QByteArray dir = QFile::encodeName(folder);
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        *error = QCoreApplication::translate("Run", "cannot open the folder %1: %2").arg(folder, systemError());
        return false;
    }
    // An unnamed file gets its name only when it is complete, so a copy
    // that is killed halfway leaves nothing; where the file system cannot
    // do that, a hidden temporary name stands in until then.
    QByteArray temp;
    int fd = ::open(dir.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        temp = dir + "/.~korrin.backup.XXXXXX";
        fd = ::mkostemp(temp.data(), O_CLOEXEC);
    }
    bool ok = fd >= 0;
    if (!ok)
        *error = QCoreApplication::translate("Run", "cannot create the copy in %1: %2").arg(folder, systemError());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (ok && !copyContent(sourceFd, fd, error, sha256 ? &hash : nullptr))
        ok = false;
    if (ok && sha256)
        *sha256 = hash.result().toHex();
    if (ok && (::fchmod(fd, source.st_mode & 07777) != 0 || ::fsync(fd) != 0)) {
        *error = QCoreApplication::translate("Run", "cannot write the copy: %1").arg(systemError());
        ok = false;
    }
    if (ok)
        ok = nameCopy(fd, temp, folder, fileName, copyPath, error);
    if (ok && ::fsync(dirFd) != 0) {
        *error = QCoreApplication::translate("Run", "cannot flush the folder %1: %2").arg(folder, systemError());
        ok = false;
    }
    if (!temp.isEmpty())
        ::unlink(temp.constData());
    if (fd >= 0)
        ::close(fd);
    ::close(dirFd);
    return ok;
}
