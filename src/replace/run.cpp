#include "run.h"

#include "committer.h"
#include "workbooklock.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

Run::Run(RunPlan plan, QObject *parent)
    : QObject(parent)
    , m_plan(std::move(plan))
{
    registerStateType();
    m_plan.pars.resize(m_plan.files.size());
    m_reports.resize(m_plan.files.size());
}

// A run destroyed before it finished (the window closed during a run)
// leaves its jobs out to finish on the pool and in the committer: they
// report to nobody, and their job objects are not freed.
Run::~Run() = default;

void Run::start()
{
    QHash<QPair<quint64, quint64>, int> firstEntryOf;
    for (int k = 0; k < m_plan.files.size(); ++k) {
        const WorkbookPath named = WorkbookPath::of(m_plan.files.at(k));
        if (named.kind == WorkbookPath::Missing) {
            deliver(nullptr, k, MISSING, Excel::Reason(named.reason));
            continue;
        }
        if (named.kind == WorkbookPath::NotRegular) {
            deliver(nullptr, k, m_plan.nonFilesAreMissing ? MISSING : FAILURE, Excel::Reason(named.reason));
            continue;
        }
        const QPair<quint64, quint64> key(quint64(named.device), quint64(named.inode));
        const auto first = firstEntryOf.constFind(key);
        if (first == firstEntryOf.constEnd()) {
            firstEntryOf.insert(key, k);
            m_queue.append(k);
            // Jobs start while the rest of the list is looked at; none can
            // report before this returns, since reports come as events.
            launchMore();
        } else if (m_plan.pars.at(k) == m_plan.pars.at(*first)) {
            m_repeats[*first].append(k); // reported with the entry that runs it
        } else {
            deliver(nullptr, k, FAILURE,
                    Excel::Reason(QStringLiteral("the same workbook as %1, with other pairs: not processed, so that it "
                                                 "is not changed twice")
                                      .arg(m_plan.files.at(*first))));
        }
    }
    launchMore();
    if (m_plan.files.isEmpty())
        emit finished();
}

void Run::launchMore()
{
    QThreadPool *pool = QThreadPool::globalInstance();
    Committer *committer = Committer::instance();
    // Enough waiting in the pool that its threads never run dry while this
    // thread is busy elsewhere; and enough saves waiting for the committer
    // that it has its fill, but not so many that their open files pile up.
    const int working = 2 * qMax(1, pool->maxThreadCount()) + 1;
    const int running = working + 2 * committer->inFlight();
    JobOptions options = m_plan.job;
    options.committer = committer;
    while (m_working < working && m_running < running && m_nextInQueue < m_queue.size()) {
        const int k = m_queue.at(m_nextInQueue++);
        Rep *rep = new Rep(m_plan.files.at(k), m_plan.pars.at(k), k);
        rep->setJobOptions(options);
        if (k < m_plan.restores.size())
            rep->setRestore(m_plan.restores.at(k),
                            m_plan.restoreFolder + QLatin1Char('/') + m_plan.restores.at(k).backup);
        connect(rep, &Rep::workFinished, this, &Run::onJobWorkFinished);
        connect(rep, &Rep::done, this, &Run::onJobDone);
        ++m_working;
        ++m_running;
        QtConcurrent::run(pool, rep, &Rep::run);
    }
}

void Run::onJobWorkFinished(Rep *)
{
    --m_working;
    launchMore();
}

void Run::onJobDone(Rep *rep, STATE state, int index)
{
    --m_running;
    launchMore();
    // Only a file whose changes are on disk (or, in a dry run, would be)
    // keeps its backup and its rows.
    if (m_plan.job.backups)
        m_plan.job.backups->settle(rep->backupEntry(), state == SUCCESS);
    if (m_plan.job.changes && state == SUCCESS)
        m_plan.job.changes->keep(index, m_plan.files.at(index), rep->takeChanges());
    deliver(rep, index, state, rep->reason(), rep->changedCells(), rep->backupPath());
    delete rep;
    const FileReport &first = m_reports.at(index);
    for (int k : m_repeats.take(index)) {
        const Excel::Reason reason = state == SUCCESS
            ? Excel::Reason(QStringLiteral("the same workbook as %1: processed once, there").arg(m_plan.files.at(index)))
            : first.reason.within(QStringLiteral("the same workbook as %1, which failed").arg(m_plan.files.at(index)));
        deliver(nullptr, k, state, reason);
    }
}

void Run::deliver(Rep *rep, int index, STATE state, const Excel::Reason &reason, qint64 cells,
                  const QString &backupPath)
{
    FileReport &r = m_reports[index];
    r.state = state;
    r.reason = reason;
    r.cells = cells;
    r.backupPath = backupPath;
    r.reported = true;
    ++m_summary.files;
    switch (state) {
    case SUCCESS:
        ++m_summary.success;
        break;
    case FAILURE:
        ++m_summary.failure;
        break;
    case MISSING:
        ++m_summary.missing;
        break;
    }
    m_summary.cells += cells;
    emit done(rep, state, index);
    if (m_summary.files == m_plan.files.size())
        emit finished();
}
