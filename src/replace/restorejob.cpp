// The job of an undo: a workbook put back from the copy its run made, only
// where it is still exactly what that run wrote. The copy replaces it as a
// save would: by a new file that keeps what the workbook has (owner, mode,
// attributes), not for a workbook with other names unless links may be
// broken, tried in a dry run up to the rename, dropped once the run stops.

#include "rep.h"

#include "atomicsave.h"
#include "committer.h"
#include "runshared.h"
#include "systemerror.h"
#include "workbookbackup.h"
#include "workbooklock.h"

#include <QCoreApplication>
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
    const bool locked = lock->isLocked();
    QString why;
    QByteArray now;
    if (!sha256OfFile(lock->fd(), &now, &why))
        return fail(Reason(why));
    if (now == m_restore.original) {
        m_reason = Reason(QCoreApplication::translate("Run", "as it was before the run already; nothing to restore"));
        return SUCCESS;
    }
    if (now != m_restore.written)
        return fail(Reason(QCoreApplication::translate("Run", "changed since the run; not restored")));

    const int from = ::open(QFile::encodeName(m_backupPath).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (from < 0 || ::fstat(from, &st) != 0 || !S_ISREG(st.st_mode)) {
        const QString error = from < 0 ? Excel::systemErrorText(errno) : QCoreApplication::translate("Run", "not a file");
        if (from >= 0)
            ::close(from);
        return fail(Reason(QCoreApplication::translate("Run", "cannot read the backup %1: %2").arg(m_backupPath, error)));
    }
    const auto closeBackup = qScopeGuard([from] { ::close(from); });
    Excel::FileIdentity identity;
    if (!Excel::identityOfDescriptor(lock->fd(), &identity) || !lock->stillNamesLockedFile())
        return fail(Reason(QCoreApplication::translate("Run", "the file was replaced by another program meanwhile")));
    if (!m_options.breakLinks) {
        struct stat now;
        if (::fstat(lock->fd(), &now) == 0 && now.st_nlink > 1)
            return fail(Reason(QCoreApplication::translate("Run", "the file has %1 hard links: a restore would give this name a new file "
                                              "and leave the other names as the run wrote them (korrin-batch "
                                              "--break-links restores it all the same)")
                                   .arg(now.st_nlink)));
    }

    // The copy goes into the new file, and must prove to be the original.
    // A dry run makes the new file too and gives it the workbook's owner,
    // mode and attributes, so that it fails where the undo would.
    auto save = std::make_unique<Excel::AtomicSave>();
    if (!save->begin(filePath, &identity, &why))
        return fail(Reason(why).within(QCoreApplication::translate("Run", "not restored")));
    QByteArray copied;
    if (!copyWithSha256(from, save->fd(), &copied, &why))
        return fail(Reason(why).within(QCoreApplication::translate("Run", "not restored")));
    if (copied != m_restore.original)
        return fail(Reason(QCoreApplication::translate("Run", "the backup %1 is no longer the original that the run copied; not restored")
                               .arg(m_backupPath)));
    if (m_options.dryRun) {
        if (!save->keepAttributes(&why))
            return fail(Reason(why).within(QCoreApplication::translate("Run", "not restored")));
        m_changedCells = m_restore.cells;
        noteIfUnlocked(locked);
        return SUCCESS; // the new file goes with save
    }
    if (m_options.shared && m_options.shared->stopped()) {
        m_stoppedBeforeSave = true;
        return fail(Reason(QCoreApplication::translate("Run", "the run was stopped")).within(QCoreApplication::translate("Run", "not restored")));
    }
    m_changedCells = m_restore.cells;
    if (m_options.committer) {
        handoff->save = std::move(save);
        handoff->lock = std::move(lock);
    } else if (!save->commit(&why)) {
        return fail(Reason(why).within(QCoreApplication::translate("Run", "not restored")));
    }
    noteIfUnlocked(locked);
    return SUCCESS;
}
