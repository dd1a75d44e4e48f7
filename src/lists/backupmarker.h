#pragma once

#include <QString>

// The file that marks a folder of Korrin's backups: the backup root and each
// run folder under it hold one. Folder scans skip every folder that holds
// it, so that backups are never taken for workbooks to change.
inline QString backupMarkerFileName()
{
    return QStringLiteral(".korrin-backups");
}
