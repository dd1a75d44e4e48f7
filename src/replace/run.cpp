#include "run.h"

#include "committer.h"
#include "descriptorbudget.h"
#include "runshared.h"
#include "workbooklock.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

Run::Run(RunPlan plan, QObject *parent)
    : QObject(parent)
    , m_plan(std::move(plan))
{
    registerStateType();
    m_plan.pars.resize(m_plan.files.size());
    m_reports.resize(m_plan.files.size());
    m_plan.job.shared = std::make_shared<RunShared>();
    m_inbox = std::make_shared<JobReports>(this, [this](bool now) { takeReportsSoon(now); });
    m_takeTimer.setSingleShot(true);
    connect(&m_takeTimer, &QTimer::timeout, this, &Run::takeReports);
}

// A run destroyed before it finished (the window closed during a run)
// leaves its jobs out to finish on the pool and in the committer: they
// report to nobody, and their job objects are not freed.
Run::~Run()
{
    m_inbox->close();
}

namespace {

// Reports are taken at most this often, and at once when no more than two
// jobs per thread are left working. The window shows them no later than
// that, and enough jobs are queued that the pool's threads seldom get to
// the low mark meanwhile.
constexpr int TakeIntervalMs = 4;
constexpr int QueuedPerThread = 16;

} // namespace

void Run::takeReportsSoon(bool now)
{
    if (now) {
        m_takeTimer.stop();
        return takeReports();
    }
    if (m_takeTimer.isActive())
        return;
    const qint64 since = m_lastTaken.isValid() ? m_lastTaken.elapsed() : TakeIntervalMs;
    if (since >= TakeIntervalMs)
        takeReports();
    else
        m_takeTimer.start(int(TakeIntervalMs - since));
}

void Run::takeReports()
{
    m_lastTaken.start();
    for (const JobReports::Report &r : m_inbox->takeAll()) {
        if (r.workOnly)
            onJobWorkFinished(r.rep);
        else
            onJobDone(r.rep, r.state, r.index);
    }
}

void Run::start()
{
    // A few descriptors stay for the process itself (a library loaded, a
    // report written).
    m_jobBudget = qMax(0, freeDescriptors() - 2) / descriptorsPerJob;
    const Excel::Reason tooFew(QCoreApplication::translate("Run", "too few files may be open (see ulimit -n): a job needs up to %1 "
                                              "descriptors, and fewer are free")
                                   .arg(descriptorsPerJob));
    QHash<QPair<quint64, quint64>, int> firstEntryOf;
    for (int k = 0; k < m_plan.files.size(); ++k) {
        if (m_stopped) {
            deliver(nullptr, k, FAILURE, Excel::Reason(RunShared::notProcessedReason()), 0,
                    QString(), true);
            continue;
        }
        const WorkbookPath named = WorkbookPath::of(m_plan.files.at(k));
        if (named.kind == WorkbookPath::Missing) {
            deliver(nullptr, k, MISSING, Excel::Reason(named.reason));
            continue;
        }
        if (named.kind == WorkbookPath::NotRegular) {
            deliver(nullptr, k, m_plan.nonFilesAreMissing ? MISSING : FAILURE, Excel::Reason(named.reason));
            continue;
        }
        if (m_jobBudget == 0) {
            deliver(nullptr, k, FAILURE, tooFew);
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
                    Excel::Reason(QCoreApplication::translate("Run", "the same workbook as %1, with other pairs: not processed, so that it "
                                                 "is not changed twice")
                                      .arg(m_plan.files.at(*first))));
        }
    }
    launchMore();
    if (m_plan.files.isEmpty())
        emit finished();
}

void Run::halt()
{
    m_stopped = true;
    m_plan.job.shared->stop();
}

void Run::stopSoon()
{
    halt();
    QMetaObject::invokeMethod(this, &Run::stop, Qt::QueuedConnection);
}

void Run::stop()
{
    halt();
    const Excel::Reason reason(RunShared::notProcessedReason());
    while (m_nextInQueue < m_queue.size()) {
        const int k = m_queue.at(m_nextInQueue++);
        const QVector<int> repeats = m_repeats.take(k);
        deliver(nullptr, k, FAILURE, reason, 0, QString(), true);
        for (int r : repeats)
            deliver(nullptr, r, FAILURE, reason, 0, QString(), true);
    }
}

void Run::launchMore()
{
    QThreadPool *pool = QThreadPool::globalInstance();
    Committer *committer = Committer::instance();
    // Enough waiting in the pool that its threads never run dry while this
    // thread is busy elsewhere; and enough saves waiting for the committer
    // that it has its fill, but not so many that their open files pile up.
    const int threads = qMax(1, pool->maxThreadCount());
    const int queued = qMax(2 * threads + 1, QueuedPerThread * threads);
    const int running = qMin(queued + 2 * committer->inFlight(), m_jobBudget);
    const int working = qMin(queued, running);
    m_inbox->setLowWater(2 * threads);
    JobOptions options = m_plan.job;
    options.committer = committer;
    while (!m_stopped && m_working < working && m_running < running && m_nextInQueue < m_queue.size()) {
        const int k = m_queue.at(m_nextInQueue++);
        Rep *rep = new Rep(m_plan.files.at(k), m_plan.pars.at(k), k);
        rep->setJobOptions(options);
        if (k < m_plan.restores.size())
            rep->setRestore(m_plan.restores.at(k),
                            m_plan.restoreFolder + QLatin1Char('/') + m_plan.restores.at(k).backup);
        // On the job's thread, or the committer's: into the inbox.
        const std::shared_ptr<JobReports> inbox = m_inbox;
        connect(
            rep, &Rep::workFinished, rep, [inbox](Rep *from) { inbox->put({from, SUCCESS, -1, true}); }, Qt::DirectConnection);
        connect(
            rep, &Rep::done, rep, [inbox](Rep *from, STATE state, int index) { inbox->put({from, state, index, false}); },
            Qt::DirectConnection);
        ++m_working;
        ++m_running;
        m_inbox->started();
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
    if (!rep->handedOff())
        --m_working; // no workFinished() came before
    --m_running;
    launchMore();
    // Only a file whose changes are on disk (or, in a dry run, would be)
    // keeps its backup and its rows.
    if (m_plan.job.backups)
        m_plan.job.backups->settle(rep->backupEntry(), state == SUCCESS);
    if (m_plan.job.changes && state == SUCCESS)
        m_plan.job.changes->keep(index, m_plan.files.at(index), rep->takeChanges());
    deliver(rep, index, state, rep->reason(), rep->changedCells(), rep->backupPath(), rep->stoppedBeforeSave());
    rep->waitUntilReported();
    delete rep;
    const FileReport &first = m_reports.at(index);
    const QString firstPath = m_plan.files.at(index);
    for (int k : m_repeats.take(index)) {
        // A hard link of a file that its job saved under the other name
        // keeps the old content; another spelling of the same name (or a
        // symbolic link to it) was processed.
        const bool brokenLink = state == SUCCESS && first.cells > 0
            && QFileInfo(m_plan.files.at(k)).canonicalFilePath() != QFileInfo(firstPath).canonicalFilePath();
        if (brokenLink) {
            deliver(nullptr, k, FAILURE,
                    Excel::Reason(QCoreApplication::translate("Run", "not processed: another name (hard link) of %1, which got a file "
                                                 "of its own; this name keeps the old content")
                                      .arg(firstPath)));
            continue;
        }
        const Excel::Reason reason = state == SUCCESS
            ? Excel::Reason(QCoreApplication::translate("Run", "the same workbook as %1: processed once, there").arg(firstPath))
            : first.reason.within(QCoreApplication::translate("Run", "the same workbook as %1, which failed").arg(firstPath));
        deliver(nullptr, k, state, reason);
    }
}

void Run::deliver(Rep *rep, int index, STATE state, const Excel::Reason &reason, qint64 cells,
                  const QString &backupPath, bool stopped)
{
    FileReport &r = m_reports[index];
    r.stopped = stopped;
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
    if (m_summary.files == m_plan.files.size() && !m_finished) {
        m_finished = true;
        emit finished();
    }
}
