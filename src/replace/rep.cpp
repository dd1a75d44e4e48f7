#include "rep.h"

#include "application.h"
#include "atomicsave.h"
#include "committer.h"
#include "officelock.h"
#include "runshared.h"
#include "sheetchoice.h"
#include "temporaryfiles.h"
#include "workbookbackup.h"
#include "workbooklock.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <sys/stat.h>

using Excel::Reason;

void registerStateType()
{
    qRegisterMetaType<STATE>("STATE");
    qRegisterMetaType<STATE>("STATE&");
}

Rep::Rep(const QString &filePath, const RepPar &par, int index, QObject *parent)
    : QObject(parent)
    , filePath(filePath)
    , sheetIndex(par.sheetIndex)
    , pairs(par.pairs)
    , byKey(par.byKey)
    , lookAt(par.lookAt)
    , searchOrder(par.searchOrder)
    , matchCase(par.matchCase)
    , index(index)
{
}

Rep::Handoff::~Handoff() = default;

void Rep::run()
{
    Handoff handoff;
    const STATE state = process(&handoff);
    if (!handoff.save) {
        // One report for both: the job's thread is free as it is sent.
        emit done(this, state, index);
        m_reported.store(true, std::memory_order_release); // the last act: we may be deleted now
        return;
    }
    m_handedOff = true;
    emit workFinished(this);
    // The last act: done() may come, and the window delete us, before
    // submit() returns.
    m_options.committer->submit(std::move(handoff.save), std::move(handoff.lock),
                                [this](bool saved, const QString &why) {
                                    if (!saved) {
                                        m_reason = Reason(why).within(QCoreApplication::translate("Run", "not saved"));
                                        m_changedCells = 0;
                                        if (!m_backup.backup.isEmpty())
                                            m_backupPath.clear(); // the run deletes the copy
                                    }
                                    emit done(this, saved ? SUCCESS : FAILURE, index);
                                    m_reported.store(true, std::memory_order_release);
                                });
}

void Rep::waitUntilReported() const
{
    // The emitting thread has posted the report already and is a few
    // instructions from its end.
    while (!m_reported.load(std::memory_order_acquire))
        QThread::yieldCurrentThread();
}

STATE Rep::process(Handoff *handoff)
{
    // A job still waiting on the pool when the run was stopped does not
    // start, like the files that had no job yet.
    if (m_options.shared && m_options.shared->stopped()) {
        m_stoppedBeforeSave = true;
        m_reason = Reason(RunShared::notProcessedReason());
        return FAILURE;
    }
    // Held from before the workbook is read until its save is in place, so
    // that no other job, here or in another process, works on it meanwhile.
    auto lock = std::make_unique<WorkbookLock>();
    QString lockError;
    if (!lock->acquire(filePath, m_options.lockWaitMs, &lockError)) {
        m_reason = Reason(lockError);
        return FAILURE;
    }
    const bool locked = lock->isLocked();
    const auto openElsewhere = [&](const QString &office) {
        if (!office.isEmpty())
            m_reason = Reason(openElsewhereReason(office));
        return !office.isEmpty();
    };
    // This first look goes by what the lock saw of the name; the one just
    // before the save looks at the name again.
    if (openElsewhere(officeLockFile(filePath, lock->nameIsLink())))
        return FAILURE;
    // Temporary files that killed saves left go, once a folder in a run: the
    // file of a save under way is locked and stays.
    if (!m_options.dryRun) {
        const QByteArray folder = lock->nameIsLink() ? Excel::saveFolderOf(filePath) : Excel::saveFolderOfNonLink(filePath);
        if (!folder.isEmpty() && (!m_options.shared || m_options.shared->firstInFolder(folder)))
            Excel::removeStaleTemporaryFiles(folder);
    }
    if (!m_restore.path.isEmpty())
        return restore(std::move(lock), handoff);

    // Every exit after this point leaves through the application's Quit,
    // which drops whatever was changed and not saved.
    Excel::Application app;
    app.setDisplayAlerts(false);
    app.setVisible(false);
    auto fail = [&](const Reason &why) {
        m_reason = why;
        m_changedCells = 0;
        m_backupPath.clear(); // a copy made goes again with the report
        app.Quit();
        return FAILURE;
    };

    Excel::Workbooks *books = app.Workbooks();
    if (!books)
        return fail(Reason(QCoreApplication::translate("Run", "no workbooks collection")));
    // Read from the locked descriptor: the file is not opened again.
    Excel::Workbook *book = books->Open(filePath, lock->fd(), lock->status());
    if (!book)
        return fail(Reason::orElse(books->lastError(), QCoreApplication::translate("Run", "cannot open the workbook")).within(QCoreApplication::translate("Run", "open")));
    if (!lock->stillNamesLockedFile())
        return fail(Reason(QCoreApplication::translate("Run", "the file was replaced by another program while it was being opened")));
    qDebug() << "pWorkbook->Path():" << book->Path();
    if (m_options.changes)
        book->keepOriginalTexts();

    Excel::Sheets *sheets = book->Sheets();
    if (!sheets)
        return fail(Reason(QCoreApplication::translate("Run", "the workbook has no sheets collection")));
    const int count = sheets->Count();
    if (count == 0)
        return fail(Reason(QCoreApplication::translate("Run", "the workbook has no sheets")));

    bool activeOnly = false;
    const QVector<int> list = chooseSheets(sheetIndex, count, &activeOnly);
    const int passes = activeOnly ? 1 : list.size();
    for (int k = 0; k < passes; ++k) {
        Excel::Worksheet *sheet = activeOnly ? book->ActiveSheet() : sheets->Item(list[k]);
        if (!sheet)
            return fail(Reason(activeOnly ? QCoreApplication::translate("Run", "the workbook has no active sheet")
                                          : QCoreApplication::translate("Run", "sheet %1 cannot be read").arg(list[k])));
        std::unique_ptr<Excel::Range> used = sheet->UsedRange();
        if (!used)
            return fail(Reason::orElse(book->lastError(), QCoreApplication::translate("Run", "it cannot be read"))
                            .within(QCoreApplication::translate("Run", "sheet '%1': no used range").arg(sheet->Name())));
        for (const KeyPair &pair : pairs) {
            if (byKey) {
                used->Replace(pair.first, pair.second, lookAt, searchOrder, matchCase);
                continue;
            }
            std::unique_ptr<Excel::Range> cell = sheet->Range(pair.first);
            if (!cell)
                return fail(Reason::orElse(book->lastError(), QCoreApplication::translate("Run", "sheet '%1': '%2' is no cell position")
                                                                  .arg(sheet->Name(), pair.first)));
            cell->setValue(pair.second);
        }
    }

    m_changedCells = book->changedCells();
    // Recorded while the sheet last worked on still has its bytes; a failed
    // workbook reports nothing, and its save says why it failed.
    if (m_options.changes && m_changedCells > 0) {
        m_changes = m_options.changes->writer();
        QString why;
        if (!book->reportChanges(m_changes.get()))
            return fail(Reason::orElse(book->lastError(), QCoreApplication::translate("Run", "it cannot be read"))
                            .within(QCoreApplication::translate("Run", "record of changes")));
        if (!m_changes->finish(&why))
            return fail(Reason(why).within(QCoreApplication::translate("Run", "record of changes")));
    }
    // The save in two steps: the new file is written and checked first;
    // what must happen before it replaces the original happens in between.
    std::unique_ptr<Excel::PendingSave> pending;
    if (!book->prepareSave(&pending))
        return fail(Reason::orElse(book->lastError(), QCoreApplication::translate("Run", "the workbook could not be written"))
                        .within(QCoreApplication::translate("Run", "not saved")));
    if (pending && !m_options.breakLinks) {
        struct stat st;
        if (::fstat(lock->fd(), &st) == 0 && st.st_nlink > 1)
            return fail(Reason(QCoreApplication::translate("Run", "the file has %1 hard links: a save would give this name a new file "
                                              "and leave the old content under the other names (korrin-batch "
                                              "--break-links saves it all the same)")
                                   .arg(st.st_nlink)));
    }
    if (pending && m_options.dryRun) {
        // Everything the save would do but the rename, so that a dry run
        // fails where the real one would.
        QString why;
        if (!pending->rehearse(&why))
            return fail(Reason(why).within(QCoreApplication::translate("Run", "not saved")));
    }
    if (pending && !m_options.dryRun) {
        if (openElsewhere(officeLockFile(filePath)))
            return fail(m_reason);
        if (m_options.shared && m_options.shared->stopped()) {
            m_stoppedBeforeSave = true;
            return fail(Reason(QCoreApplication::translate("Run", "the run was stopped")).within(QCoreApplication::translate("Run", "not saved")));
        }
        QString why;
        if (BackupRun *backups = m_options.backups.get()) {
            // The copy, and its note with what is about to replace the
            // workbook, are on disk before the workbook is replaced.
            if (!backups->backUp(lock->fd(), filePath, &m_backup, &why))
                return fail(Reason(why).within(QCoreApplication::translate("Run", "backup")));
            m_backupPath = backups->folder() + QLatin1Char('/') + m_backup.backup;
            m_backup.cells = m_changedCells;
            if (!sha256OfFile(pending->fd(), &m_backup.written, &why) || !backups->note(m_backup, &why))
                return fail(Reason(why).within(QCoreApplication::translate("Run", "backup")));
        }
        const dev_t device = lock->status().st_dev;
        if (m_options.committer && !m_options.committer->quickOn(device)) {
            // The save needs nothing of the workbook: it goes on its own.
            handoff->save = pending->takeSave();
            handoff->lock = std::move(lock);
        } else {
            // Put in place here: there is no committer, or handing it in
            // would cost more than the save.
            QElapsedTimer timer;
            timer.start();
            if (!pending->commit(&why))
                return fail(Reason(why).within(QCoreApplication::translate("Run", "not saved")));
            if (m_options.committer)
                m_options.committer->noteCommitTime(device, timer.nsecsElapsed());
        }
    }
    pending.reset(); // a dry run's new file goes here
    app.Quit();
    noteIfUnlocked(locked);
    return SUCCESS;
}

void Rep::noteIfUnlocked(bool locked)
{
    if (!locked && (!m_options.shared || m_options.shared->firstWithoutLocks()))
        m_reason = Reason(QCoreApplication::translate("Run", "worked on without file locks, which its file system does not support: "
                                         "other programs were kept out only by the check that the file was not "
                                         "changed since it was read"));
}
