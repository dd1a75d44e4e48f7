#include "systemerror.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>

namespace Excel {

namespace {

// The errors a save, a backup or a lock meets, in the words of the C
// library's C locale, which are the keys of their translations.
const char *englishText(int error)
{
    switch (error) {
    case EPERM: return QT_TRANSLATE_NOOP("System", "Operation not permitted");
    case ENOENT: return QT_TRANSLATE_NOOP("System", "No such file or directory");
    case EIO: return QT_TRANSLATE_NOOP("System", "Input/output error");
    case ENXIO: return QT_TRANSLATE_NOOP("System", "No such device or address");
    case EBADF: return QT_TRANSLATE_NOOP("System", "Bad file descriptor");
    case EAGAIN: return QT_TRANSLATE_NOOP("System", "Resource temporarily unavailable");
    case ENOMEM: return QT_TRANSLATE_NOOP("System", "Cannot allocate memory");
    case EACCES: return QT_TRANSLATE_NOOP("System", "Permission denied");
    case EBUSY: return QT_TRANSLATE_NOOP("System", "Device or resource busy");
    case EEXIST: return QT_TRANSLATE_NOOP("System", "File exists");
    case EXDEV: return QT_TRANSLATE_NOOP("System", "Invalid cross-device link");
    case ENODEV: return QT_TRANSLATE_NOOP("System", "No such device");
    case ENOTDIR: return QT_TRANSLATE_NOOP("System", "Not a directory");
    case EISDIR: return QT_TRANSLATE_NOOP("System", "Is a directory");
    case EINVAL: return QT_TRANSLATE_NOOP("System", "Invalid argument");
    case ENFILE: return QT_TRANSLATE_NOOP("System", "Too many open files in system");
    case EMFILE: return QT_TRANSLATE_NOOP("System", "Too many open files");
    case ETXTBSY: return QT_TRANSLATE_NOOP("System", "Text file busy");
    case EFBIG: return QT_TRANSLATE_NOOP("System", "File too large");
    case ENOSPC: return QT_TRANSLATE_NOOP("System", "No space left on device");
    case EROFS: return QT_TRANSLATE_NOOP("System", "Read-only file system");
    case EMLINK: return QT_TRANSLATE_NOOP("System", "Too many links");
    case ENAMETOOLONG: return QT_TRANSLATE_NOOP("System", "File name too long");
    case ENOLCK: return QT_TRANSLATE_NOOP("System", "No locks available");
    case ENOTEMPTY: return QT_TRANSLATE_NOOP("System", "Directory not empty");
    case ELOOP: return QT_TRANSLATE_NOOP("System", "Too many levels of symbolic links");
    case ENODATA: return QT_TRANSLATE_NOOP("System", "No data available");
    case EOPNOTSUPP: return QT_TRANSLATE_NOOP("System", "Operation not supported");
    case ETIMEDOUT: return QT_TRANSLATE_NOOP("System", "Connection timed out");
    case ESTALE: return QT_TRANSLATE_NOOP("System", "Stale file handle");
    case EDQUOT: return QT_TRANSLATE_NOOP("System", "Disk quota exceeded");
    default: return nullptr;
    }
}

} // namespace

QString systemErrorText(int error)
{
    // Before anything else can change errno.
    const QString local = QString::fromLocal8Bit(std::strerror(error));
    const char *english = englishText(error);
    if (!english)
        return local;
    const QString translated = QCoreApplication::translate("System", english);
    return translated == QLatin1String(english) ? local : translated;
}

} // namespace Excel
