#include "atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Excel {

namespace {

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The file that is really replaced: the target of a symbolic link.
QString resolvedTarget(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.canonicalFilePath();
        if (!target.isEmpty())
            return target;
    }
    return info.absoluteFilePath();
}

bool syncFolder(const QString &folder, QString *error)
{
    const QByteArray native = QFile::encodeName(folder);
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot open the folder to flush it: %1").arg(errnoText());
        return false;
    }
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL; // some file systems cannot sync folders
    if (!ok)
        *error = QStringLiteral("cannot flush the folder: %1").arg(errnoText());
    ::close(fd);
    return ok;
}

// Creates an empty, unique file beside target and returns its descriptor.
int createTempBeside(const QString &target, QString *tempPath, QString *error)
{
    const QFileInfo info(target);
    QByteArray templ = QFile::encodeName(info.absolutePath() + QLatin1String("/.")
                                         + info.fileName() + QLatin1String(".korrin-XXXXXX"));
    const int fd = ::mkostemp(templ.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot create a temporary file in %1: %2").arg(info.absolutePath(), errnoText());
        return -1;
    }
    *tempPath = QFile::decodeName(templ);
    return fd;
}

bool writeAll(int fd, const QByteArray &data, QString *error)
{
    const char *p = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(qMin<qint64>(left, 1 << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = QStringLiteral("cannot write the file: %1").arg(errnoText());
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// The permissions a newly created file gets: 0666 less the process umask,
// read without changing it (umask() itself would race with other threads).
mode_t newFileMode()
{
    static const mode_t mode = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("Umask:")) {
                    bool ok = false;
                    const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                    if (ok)
                        return mode_t(0666 & ~mask);
                }
            }
        }
        return mode_t(0644);
    }();
    return mode;
}

// Flushes the finished temporary file, gives it the original's permissions
// and renames it over the original.
bool commit(int fd, const QString &tempPath, const QString &target, QString *error)
{
    struct stat st;
    const QByteArray nativeTarget = QFile::encodeName(target);
    const mode_t mode = ::stat(nativeTarget.constData(), &st) == 0 ? (st.st_mode & 07777) : newFileMode();
    if (::fchmod(fd, mode) != 0) {
        *error = QStringLiteral("cannot set the permissions: %1").arg(errnoText());
        return false;
    }
    if (::fsync(fd) != 0) {
        *error = QStringLiteral("cannot flush the file to disk: %1").arg(errnoText());
        return false;
    }
    if (::rename(QFile::encodeName(tempPath).constData(), nativeTarget.constData()) != 0) {
        *error = QStringLiteral("cannot replace the file: %1").arg(errnoText());
        return false;
    }
    // The new content is in place; a folder that cannot be flushed does not
    // undo that.
    QString ignored;
    syncFolder(QFileInfo(target).absolutePath(), &ignored);
    return true;
}

// A read-only file stays as it is even though its folder would let us
// replace it, and a read-only folder is respected: by their permission bits
// too, so that the same holds when running as root.
bool checkWritable(const QString &target, QString *error)
{
    struct stat st;
    const QByteArray native = QFile::encodeName(target);
    if (::stat(native.constData(), &st) == 0
        && ((st.st_mode & 0222) == 0 || ::access(native.constData(), W_OK) != 0)) {
        *error = QStringLiteral("the file is read-only");
        return false;
    }
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    if (::stat(folder.constData(), &st) == 0
        && ((st.st_mode & 0222) == 0 || ::access(folder.constData(), W_OK) != 0)) {
        *error = QStringLiteral("the folder is read-only");
        return false;
    }
    return true;
}

} // namespace

bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error)
{
    return replaceFileAtomically(
        path,
        [&](const QString &tempPath, QString *why) {
            QFile f(tempPath);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                *why = f.errorString();
                return false;
            }
            if (!writeAll(f.handle(), data, why))
                return false;
            f.close();
            return true;
        },
        error);
}

bool replaceFileAtomically(const QString &path,
                           const std::function<bool(const QString &tempPath, QString *error)> &produce,
                           QString *error)
{
    const QString target = resolvedTarget(path);
    if (!checkWritable(target, error))
        return false;
    QString tempPath;
    int fd = createTempBeside(target, &tempPath, error);
    if (fd < 0)
        return false;
    bool ok = produce(tempPath, error);
    if (ok) {
        // The producer may have replaced the file at tempPath; commit what is
        // there now.
        ::close(fd);
        fd = ::open(QFile::encodeName(tempPath).constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            *error = QStringLiteral("cannot reopen the temporary file: %1").arg(errnoText());
            ok = false;
        }
    }
    if (ok)
        ok = commit(fd, tempPath, target, error);
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        ::unlink(QFile::encodeName(tempPath).constData());
    return ok;
}

} // namespace Excel
