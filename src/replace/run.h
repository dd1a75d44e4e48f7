#pragma once

// A run: one job (Rep) per file of its plan on the global thread pool, whose
// saves are put in place by the shared committer (committer.h), and the
// report of every file, each exactly once, on the thread that owns the run,
// a changed workbook's only once its save is on disk. What needs no job is reported inside start(): a missing file, an
// entry that is no regular file, and a second entry for a workbook already
// in the run (the same device and inode: another spelling, a symbolic or a
// hard link), which is processed once only, since its pairs applied twice
// would change it twice. (A hard link that a job broke, given
// JobOptions::breakLinks, keeps the old content: its repeat says so.)

#include "jobreports.h"
#include "reason.h"
#include "rep.h"
#include "runplan.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPair>
#include <QTimer>
#include <QVector>
#include <memory>

// What one file came to.
struct FileReport
{
    STATE state = SUCCESS;
    Excel::Reason reason; // why it failed or is missing; for a repeat, which entry it repeats
    qint64 cells = 0;  // cells changed (or that would change, in a dry run)
    QString backupPath;
    bool reported = false;
    bool stopped = false; // left untouched because the run was stopped
};

struct RunSummary
{
    int files = 0;
    int success = 0;
    int failure = 0;
    int missing = 0;
    qint64 cells = 0;
};

class Run : public QObject
{
    Q_OBJECT

public:
    explicit Run(RunPlan plan, QObject *parent = nullptr);
    ~Run() override;

    // Looks at every entry in order, reports the ones that need no job,
    // and starts the jobs: enough at a time to keep the pool's threads busy
    // from one batch of reports to the next, the next ones as reports come
    // in, so that a run of many files does not hold all its jobs at once.
    void start();

    // Ends the run early: no job starts any more, and jobs that have not
    // handed in their saves drop them (the report says so); the files no
    // job took are reported as not processed. Saves already under way are
    // put in place and reported as usual.
    void stop();
    // The same from inside a report (a slot of done()), which the run is
    // delivering: no job starts from now on, and the files no job took are
    // reported once the report returns.
    void stopSoon();

    const RunPlan &plan() const { return m_plan; }
    const FileReport &report(int index) const { return m_reports.at(index); }
    const RunSummary &summary() const { return m_summary; }

signals:
    // The report of file index, once per file, in the order they come in.
    // rep is the job that reported, or null when there was none; the run
    // deletes it when the signal returns.
    void done(Rep *rep, STATE state, int index);
    // After the last report.
    void finished();

private:
    void halt();
    void takeReportsSoon(bool now);
    void takeReports();
    void onJobWorkFinished(Rep *rep);
    void onJobDone(Rep *rep, STATE state, int index);
    void deliver(Rep *rep, int index, STATE state, const Excel::Reason &reason, qint64 cells = 0,
                 const QString &backupPath = QString(), bool stopped = false);
    void launchMore();

    RunPlan m_plan;
    // The jobs' reports, taken a batch at a time (jobreports.h).
    std::shared_ptr<JobReports> m_inbox;
    QTimer m_takeTimer;
    QElapsedTimer m_lastTaken;
    QVector<FileReport> m_reports;
    QVector<int> m_queue; // files waiting for a job, in list order
    int m_nextInQueue = 0;
    int m_working = 0; // jobs on the pool's threads
    int m_running = 0; // jobs not yet reported: working, or their saves in the committer
    // Entries that repeat a workbook, by the entry that runs it.
    QHash<int, QVector<int>> m_repeats;
    RunSummary m_summary;
    // Jobs that may be under way at once, for the descriptors there are.
    int m_jobBudget = 0;
    bool m_stopped = false;
    bool m_finished = false;
};
