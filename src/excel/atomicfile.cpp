#include "atomicfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace Excel {

namespace {

bool writeAll(int fd, const QByteArray &data, QString *error)
{
    const char *p = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(qMin<qint64>(left, 1 << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = QStringLiteral("cannot write the file: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error,
                         const FileIdentity *expected, FileIdentity *written)
{
    AtomicSave save;
    return save.begin(path, expected, error) && writeAll(save.fd(), data, error) && save.commit(error, written);
}

bool replaceFileAtomically(const QString &path,
                           const std::function<bool(const QString &tempPath, QString *error)> &produce,
                           QString *error)
{
    AtomicSave save;
    return save.begin(path, nullptr, error) && produce(save.tempPath(), error) && save.reopen(error)
        && save.commit(error);
}

} // namespace Excel
