#include "filecommit.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Excel {
namespace Biff {

namespace {

QString sysError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

bool writable(const QByteArray &path, const struct stat &st)
{
    return access(path.constData(), W_OK) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

} // namespace

bool commitFile(const QString &path, const QByteArray &content, QString *error)
{
    // Follow a symbolic link so that the file it names is replaced.
    QFileInfo info(path);
    const QString target = info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath();
    const QByteArray file = QFile::encodeName(target);
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());

    struct stat st;
    if (stat(file.constData(), &st) != 0) {
        *error = sysError("save: cannot inspect the file");
        return false;
    }
    if (!writable(file, st)) {
        *error = QStringLiteral("save: the file is read-only");
        return false;
    }
    struct stat dst;
    if (stat(folder.constData(), &dst) != 0 || !writable(folder, dst)) {
        *error = QStringLiteral("save: the folder is read-only");
        return false;
    }

    QByteArray tmpl = folder + "/." + QFile::encodeName(QFileInfo(target).fileName()) + ".korrin-XXXXXX";
    const int fd = mkstemp(tmpl.data());
    if (fd < 0) {
        *error = sysError("save: cannot create a temporary file");
        return false;
    }
    const auto abandon = [&](const char *what) {
        *error = sysError(what);
        close(fd);
        unlink(tmpl.constData());
        return false;
    };
    const char *p = content.constData();
    qint64 left = content.size();
    while (left > 0) {
        const ssize_t n = write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return abandon("save: cannot write the temporary file");
        }
        p += n;
        left -= n;
    }
    if (fchmod(fd, st.st_mode & 07777) != 0)
        return abandon("save: cannot set the permissions");
    if (fchown(fd, st.st_uid, st.st_gid) != 0) {
        // Only root may give a file away; keeping our own ownership is fine.
    }
    if (fsync(fd) != 0)
        return abandon("save: cannot flush the temporary file");
    if (close(fd) != 0) {
        *error = sysError("save: cannot close the temporary file");
        unlink(tmpl.constData());
        return false;
    }
    if (rename(tmpl.constData(), file.constData()) != 0) {
        *error = sysError("save: cannot replace the file");
        unlink(tmpl.constData());
        return false;
    }
    const int dfd = open(folder.constData(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    return true;
}

} // namespace Biff
} // namespace Excel
