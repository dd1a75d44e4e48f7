// The job of an undo: a workbook put back from the copy its run made, only
// where it is still exactly what that run wrote.

#include "rep.h"

#include "atomicsave.h"
#include "committer.h"
#include "workbookbackup.h"
#include "workbooklock.h"

#include <QFile>
#include <QScopeGuard>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Excel::Reason;

STATE Rep::restore(std::unique_ptr<WorkbookLock> lock, Handoff *handoff)
{
    const auto fail = [&](const Reason &why) {
        m_reason = why;
        m_changedCells = 0;
        return FAILURE;
    };
    QString why;
    QByteArray now;
    if (!sha256OfFile(lock->fd(), &now, &why))
        return fail(Reason(why));
    if (now == m_restore.original) {
        m_reason = Reason(QStringLiteral("as it was before the run already; nothing to restore"));
        return SUCCESS;
    }
    if (now != m_restore.written)
        return fail(Reason(QStringLiteral("changed since the run; not restored")));

    const int from = ::open(QFile::encodeName(m_backupPath).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (from < 0 || ::fstat(from, &st) != 0 || !S_ISREG(st.st_mode)) {
        const QString error = from < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("not a file");
        if (from >= 0)
            ::close(from);
        return fail(Reason(QStringLiteral("cannot read the backup %1: %2").arg(m_backupPath, error)));
    }
    const auto closeBackup = qScopeGuard([from] { ::close(from); });
    Excel::FileIdentity identity;
    if (!Excel::identityOfDescriptor(lock->fd(), &identity) || !lock->stillNamesLockedFile())
        return fail(Reason(QStringLiteral("the file was replaced by another program meanwhile")));

    // The copy goes into the new file, and must prove to be the original.
    std::unique_ptr<Excel::AtomicSave> save;
    if (!m_options.dryRun) {
        save = std::make_unique<Excel::AtomicSave>();
        if (!save->begin(filePath, &identity, &why))
            return fail(Reason(why).within(QStringLiteral("not restored")));
    }
    QByteArray copied;
    if (!copyWithSha256(from, save ? save->fd() : -1, &copied, &why))
        return fail(Reason(why).within(QStringLiteral("not restored")));
    if (copied != m_restore.original)
        return fail(Reason(QStringLiteral("the backup %1 is no longer the original that the run copied; not restored")
                               .arg(m_backupPath)));
    m_changedCells = m_restore.cells;
    if (!save)
        return SUCCESS;
    if (m_options.committer) {
        handoff->save = std::move(save);
        handoff->lock = std::move(lock);
    } else if (!save->commit(&why)) {
        return fail(Reason(why).within(QStringLiteral("not restored")));
    }
    return SUCCESS;
}
