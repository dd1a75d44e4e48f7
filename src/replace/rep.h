#pragma once

#include "backuprun.h"
#include "changerecord.h"
#include "keywordpairs.h"
#include "reason.h"

#include <QMetaType>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class Committer;
class RunShared;
class WorkbookLock;
namespace Excel {
class AtomicSave;
}

// The outcome of one file of a run.
enum STATE : qint32 { SUCCESS = 0, FAILURE = 1, MISSING = 2 };
Q_DECLARE_METATYPE(STATE)

// Registers STATE with the meta-type system so that Rep::done can travel
// through queued connections. Safe to call more than once.
void registerStateType();

// How a job treats its workbook beyond the pairs and options.
struct JobOptions
{
    // Every step up to the save, which is prepared and then dropped: the
    // workbook is never replaced and no temporary file stays.
    bool dryRun = false;
    // Not null: before a changed workbook is replaced, its original is
    // copied into this run's backup folder and noted there (backuprun.h).
    // Shared by the jobs, which may outlive the run that made them.
    std::shared_ptr<BackupRun> backups;
    // Not null: every cell the job changes (or, in a dry run, would
    // change) goes into the job's rows for this record (changerecord.h).
    std::shared_ptr<ChangeRecord> changes;
    // How long to wait for a workbook that another job holds.
    int lockWaitMs = 60000;
    // Not null: the save is put in place there (committer.h), and the job's
    // thread is free before the disk is done; null: on the job's thread.
    Committer *committer = nullptr;
    // A workbook with several names (hard links) is saved all the same: the
    // name processed gets a file of its own, the other names keep the old
    // content. Otherwise such a workbook fails untouched.
    bool breakLinks = false;
    // What the jobs of the run share (runshared.h); null for a job alone.
    std::shared_ptr<RunShared> shared;
};

// The job of one workbook: locks it (workbooklock.h), opens it, applies
// every pair to the chosen sheets, saves it and reports once through done().
// run() executes on a pool thread and touches nothing but this object and
// the file. With a committer, done() comes later, from a thread of the
// committer, once the save is in place; workFinished() comes first, when the
// job's own thread is free. A job that did not hand its save on sends
// done() alone, which then also means its thread is free.
class Rep : public QObject
{
    Q_OBJECT

public:
    Rep(const QString &filePath, const RepPar &par, int index, QObject *parent = nullptr);

    // Before run().
    void setJobOptions(const JobOptions &options) { m_options = options; }
    // Before run(), for an undo: instead of replacing, the job puts the
    // workbook back from the copy at backupPath, where it is still what
    // the run of entry wrote (restorejob.cpp).
    void setRestore(const BackupEntry &entry, const QString &backupPath)
    {
        m_restore = entry;
        m_backupPath = backupPath;
    }

    void run();

    // Why the job failed (which step, and why); empty after a success.
    const Excel::Reason &reason() const { return m_reason; }
    // The cells changed (in a dry run: that would change); 0 after a
    // failure, since nothing was written.
    qint64 changedCells() const { return m_changedCells; }
    // Where the original was copied to, when it was (for an undo: the
    // copy it was to be restored from).
    QString backupPath() const { return m_backupPath; }
    // The backup this job made, for its run's folder; empty when none.
    const BackupEntry &backupEntry() const { return m_backup; }
    // The rows of the cells it changed, with JobOptions::changes.
    std::unique_ptr<ChangeRecord::Writer> takeChanges() { return std::move(m_changes); }
    // Whether the job dropped its save, or did not start, because the run
    // was stopped.
    bool stoppedBeforeSave() const { return m_stoppedBeforeSave; }
    // Whether the save went to the committer, so that workFinished() came
    // before done(); read once done() has come.
    bool handedOff() const { return m_handedOff; }

    // done() comes from the job's thread (or the committer's) as a queued
    // signal, and that thread may still be inside the emission when the
    // receiver gets it. Whoever deletes the job on its report waits here
    // first: Qt does not allow deleting an object that another thread is
    // emitting a signal of.
    void waitUntilReported() const;

signals:
    void workFinished(Rep *rep);
    void done(Rep *rep, STATE state, int index);

public:
    const QString filePath;
    const QString sheetIndex;
    const KeyPairs pairs;
    const bool byKey;
    const qint32 lookAt;
    const qint32 searchOrder;
    const bool matchCase;
    const qint32 index;

private:
    // A save handed to the committer, with the lock it needs until then.
    struct Handoff
    {
        std::unique_ptr<Excel::AtomicSave> save;
        std::unique_ptr<WorkbookLock> lock;
        ~Handoff();
    };
    STATE process(Handoff *handoff);
    STATE restore(std::unique_ptr<WorkbookLock> lock, Handoff *handoff);
    // On a success: says so, once in a run, when the workbook could not be
    // locked since its file system has no locks.
    void noteIfUnlocked(bool locked);

    JobOptions m_options;
    Excel::Reason m_reason;
    qint64 m_changedCells = 0;
    QString m_backupPath;
    BackupEntry m_backup;
    BackupEntry m_restore;
    std::unique_ptr<ChangeRecord::Writer> m_changes;
    bool m_stoppedBeforeSave = false;
    bool m_handedOff = false;
    std::atomic<bool> m_reported{false}; // done() was emitted and returned
};
