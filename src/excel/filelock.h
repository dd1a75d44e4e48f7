#pragma once

// Whole-file locks held by an open file description (Linux OFD locks): a
// lock conflicts with every other open of the same file, in this process as
// in any other, and goes when the last descriptor of the open that took it is
// closed, or when the process ends however it ends.

namespace Excel {

// Unsupported: the file system has no locks at all (neither kind below).
enum class FileLock { Held, Busy, Failed, Unsupported };

enum class LockKind { Exclusive, Shared };

// Tries a lock on the file open at fd without waiting: an exclusive one
// (fd must be open for writing) or a shared one, which keeps writers out
// but not other readers. Where the file system has no OFD locks, falls
// back to flock(), which has the same scope; where it has neither, the
// answer is Unsupported.
FileLock tryLockFile(int fd, LockKind kind = LockKind::Exclusive);

} // namespace Excel
