#pragma once

// What a file keeps when a save replaces it by a new file: its owner and
// group (where the user may give them), its permission bits, and its
// extended attributes, the POSIX ACL among them (an ACL lives in the
// attribute system.posix_acl_access; copying the attribute copies the ACL,
// mask included).
//
// A file system without such things (FAT, many FUSE and SMB mounts) answers
// the calls with ENOSYS, ENOTSUP or EPERM; that is no error, since there is
// nothing to keep. Other failures to keep the mode, a user.* attribute or
// the ACL are errors: a save must not widen or narrow who may use the file.
// Attributes of the other name spaces (security.*, trusted.*) are copied
// where the user may, and left to the system otherwise, as for a new file.

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace Excel {

struct FileAttributes
{
    uid_t uid = uid_t(-1);
    gid_t gid = gid_t(-1);
    mode_t mode = 0;
};

// Gives the new file open at fd the owner, group and mode in kept and the
// extended attributes of the file at original (not a link). An attribute
// the new file got from its folder (a default ACL) that the original lacks
// is removed. False with a reason.
bool giveAttributes(int fd, const QByteArray &original, const FileAttributes &kept, QString *error);

} // namespace Excel
