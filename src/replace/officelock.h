#pragma once

#include <QString>

// Who an office program's lock file (officeLockFile(), workbooklock.h)
// says has the workbook open, from what the file holds: LibreOffice's
// ".~lock.NAME#" names the user, the host and the time it was opened;
// Microsoft Office's "~$NAME" names the user only, and the time is the lock
// file's own. "opened by USER on HOST at TIME", or empty when the file
// cannot be read or says nothing of the kind.
QString officeLockHolder(const QString &lockFile);

// The reason a job gives for a workbook with the lock file beside it:
// who holds it, and the way out when nobody does any more.
QString openElsewhereReason(const QString &lockFile);
