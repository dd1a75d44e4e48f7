#pragma once

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
    // Not empty: before a changed workbook is replaced, its original is
    // copied into this folder (workbookbackup.h).
    QString backupFolder;
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
// job's own thread is free.
class Rep : public QObject
{
    Q_OBJECT

public:
    Rep(const QString &filePath, const RepPar &par, int index, QObject *parent = nullptr);

    // Before run().
    void setJobOptions(const JobOptions &options) { m_options = options; }

    void run();

    // Why the job failed (which step, and why); empty after a success.
    const Excel::Reason &reason() const { return m_reason; }
    // The cells changed (in a dry run: that would change); 0 after a
    // failure, since nothing was written.
    qint64 changedCells() const { return m_changedCells; }
    // Where the original was copied to, when it was.
    QString backupPath() const { return m_backupPath; }
    // Whether the job dropped its save because the run was stopped.
    bool stoppedBeforeSave() const { return m_stoppedBeforeSave; }

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

    JobOptions m_options;
    Excel::Reason m_reason;
    qint64 m_changedCells = 0;
    QString m_backupPath;
    bool m_stoppedBeforeSave = false;
    std::atomic<bool> m_reported{false}; // done() was emitted and returned
};
