#include "officelock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The start of a lock file, read without blocking on a FIFO or device
// planted under its name; empty when it is no regular file.
QByteArray readHead(const QString &path, int limit)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    std::vector<char> buffer(static_cast<size_t>(limit));
    ssize_t n = 0;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        do {
            n = ::pread(fd, buffer.data(), buffer.size(), 0);
        } while (n < 0 && errno == EINTR);
    }
    ::close(fd);
    return QByteArray(buffer.data(), n > 0 ? int(n) : 0);
}

// LibreOffice: fields separated by commas and ended by a semicolon, with
// a backslash before a comma, semicolon or backslash that belongs to a
// field: the user's name (from its options, often empty), the system user,
// the host, the time ("dd.mm.yyyy hh:mm"), the user profile.
QStringList libreOfficeFields(const QByteArray &data)
{
    QStringList fields;
    QByteArray field;
    for (int i = 0; i < data.size(); ++i) {
        const char c = data.at(i);
        if (c == '\\' && i + 1 < data.size()) {
            field += data.at(++i);
        } else if (c == ',' || c == ';') {
            fields << QString::fromUtf8(field).trimmed();
            field.clear();
            if (c == ';')
                return fields;
        } else {
            field += c;
        }
    }
    return QStringList(); // no end: not a lock file of this kind
}

// Microsoft Office: a byte with the length of the user's name and the name
// in the system's 8-bit code page, padded to byte 54 (Word) or 55 (Excel,
// PowerPoint), where a 16-bit length and the name in UTF-16LE follow.
QString microsoftOfficeUser(const QByteArray &data)
{
    if (data.size() < 162 || uchar(data.at(0)) == 0 || uchar(data.at(0)) > 52)
        return QString();
    int at = 54;
    if (uchar(data.at(at)) == 0x20 && (data.at(at - 1) != 0 || data.at(at - 2) != 0))
        at = 55;
    const int length = uchar(data.at(at));
    if (length == 0 || length > 52 || at + 2 + 2 * length > data.size())
        return QString();
    QString name;
    for (int k = 0; k < length; ++k)
        name += QChar(ushort(uchar(data.at(at + 2 + 2 * k)) | uchar(data.at(at + 3 + 2 * k)) << 8));
    return name.trimmed();
}

} // namespace

QString officeLockHolder(const QString &lockFile)
{
    const QByteArray data = readHead(lockFile, 4096);
    QString user, host, time;
    if (QFileInfo(lockFile).fileName().startsWith(QLatin1String(".~lock."))) {
        const QStringList fields = libreOfficeFields(data);
        if (fields.size() < 4)
            return QString();
        user = fields.at(0).isEmpty() ? fields.at(1) : fields.at(0);
        host = fields.at(2);
        time = fields.at(3);
    } else {
        user = microsoftOfficeUser(data);
        if (user.isEmpty())
            return QString();
        time = QFileInfo(lockFile).lastModified().toString(QStringLiteral("dd.MM.yyyy hh:mm"));
    }
    if (user.isEmpty() && host.isEmpty() && time.isEmpty())
        return QString();
    QString text = QCoreApplication::translate("Run", "opened by %1").arg(user.isEmpty() ? QCoreApplication::translate("Run", "an unnamed user") : user);
    if (!host.isEmpty())
        text += QCoreApplication::translate("Run", " on %1").arg(host);
    if (!time.isEmpty())
        text += QCoreApplication::translate("Run", " at %1").arg(time);
    return text;
}

QString openElsewhereReason(const QString &lockFile)
{
    const QString holder = officeLockHolder(lockFile);
    const QString wayOut = QCoreApplication::translate("Run", "if nobody has it open, delete the lock file %1").arg(lockFile);
    return holder.isEmpty() ? QCoreApplication::translate("Run", "open in another program (its lock file is there); %1").arg(wayOut)
                            : QCoreApplication::translate("Run", "open in another program: %1; %2").arg(holder, wayOut);
}
