#include "keptattributes.h"

#include "systemerror.h"

#include <QCoreApplication>
#include <QList>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace Excel {

namespace {

const char aclAttribute[] = "system.posix_acl_access";

QString systemError()
{
    return Excel::systemErrorText(errno);
}

// The file system has no such thing: nothing to keep.
bool notSupported(int error)
{
    return error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

// An attribute whose loss would change who may use the file, or that the
// user put there: failing to copy it fails the save.
bool mustKeep(const QByteArray &name)
{
    return name.startsWith("user.") || name == aclAttribute;
}

// listxattr() and getxattr() into a buffer that grows while the answer
// outgrows it (the attributes may change meanwhile).
template <typename Call>
bool readSized(Call call, QByteArray *out)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return false;
        if (size == 0) { // nothing to read: most files have no attributes
            out->clear();
            return true;
        }
        out->resize(int(size));
        const ssize_t n = call(out->data(), size_t(size));
        if (n >= 0) {
            out->resize(int(n));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

bool copyExtendedAttributes(int fd, const QByteArray &original, QString *error)
{
    QByteArray names;
    if (!readSized([&](char *buf, size_t size) { return ::llistxattr(original.constData(), buf, size); },
                   &names)) {
        if (notSupported(errno))
            return true;
        *error = QCoreApplication::translate("Excel", "cannot read the file's extended attributes: %1").arg(systemError());
        return false;
    }
    bool hasAcl = false;
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        QByteArray value;
        if (!readSized([&](char *buf, size_t size) {
                return ::lgetxattr(original.constData(), name.constData(), buf, size);
            },
                       &value)) {
            if (errno == ENODATA || notSupported(errno) || !mustKeep(name))
                continue;
            *error = QCoreApplication::translate("Excel", "cannot read the extended attribute %1: %2")
                         .arg(QString::fromUtf8(name), systemError());
            return false;
        }
        if (name == aclAttribute)
            hasAcl = true;
        if (::fsetxattr(fd, name.constData(), value.constData(), size_t(value.size()), 0) == 0)
            continue;
        if (notSupported(errno) || !mustKeep(name))
            continue;
        *error = QCoreApplication::translate("Excel", "cannot give the new file the extended attribute %1: %2")
                     .arg(QString::fromUtf8(name), systemError());
        return false;
    }
    // The new file may have an ACL from its folder's default ACL that the
    // original did not have.
    if (!hasAcl && ::fremovexattr(fd, aclAttribute) != 0 && errno != ENODATA && !notSupported(errno)) {
        *error = QCoreApplication::translate("Excel", "cannot remove the folder's ACL from the new file: %1").arg(systemError());
        return false;
    }
    return true;
}

} // namespace

bool giveAttributes(int fd, const QByteArray &original, const FileAttributes &kept, QString *error)
{
    // The owner first: a change of owner may clear the set-user-ID bits
    // that the mode then puts back. Where we may not give the file its
    // owner, it keeps ours, as any editor's save would; its group, where we
    // are a member of it.
    if (kept.uid != uid_t(-1) && ::fchown(fd, kept.uid, kept.gid) != 0 && errno == EPERM)
        (void)::fchown(fd, uid_t(-1), kept.gid);
    if (!original.isEmpty() && !copyExtendedAttributes(fd, original, error))
        return false;
    // After the ACL, which sets the group bits from its mask: the mode is
    // the original's, whose group bits are that mask already. EPERM on our
    // own new file means a file system without permission bits.
    if (::fchmod(fd, kept.mode) != 0 && !notSupported(errno) && errno != EPERM) {
        *error = QCoreApplication::translate("Excel", "cannot give the new file the permissions of the old one: %1").arg(systemError());
        return false;
    }
    return true;
}

} // namespace Excel
