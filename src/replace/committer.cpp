#include "committer.h"

#include "atomicsave.h"
#include "workbooklock.h"

#include <QElapsedTimer>

struct Committer::Item
{
    std::unique_ptr<Excel::AtomicSave> save;
    std::unique_ptr<WorkbookLock> lock;
    Done done;
    qint64 replaceNs = 0;
};

namespace {

// At the end of the process (a window closed during a run) the jobs still
// on the global pool may hand in saves yet: they finish first, whichever
// of the two was made first, and then the saves.
struct SharedCommitter : Committer
{
    ~SharedCommitter()
    {
        if (QThreadPool *jobs = QThreadPool::globalInstance())
            jobs->waitForDone();
    }
};

} // namespace

Q_GLOBAL_STATIC(SharedCommitter, sharedCommitter)

Committer::Committer(int inFlight)
{
    m_pool.setMaxThreadCount(qMax(1, inFlight));
}

Committer::~Committer()
{
    m_pool.waitForDone();
}

Committer *Committer::instance()
{
    return sharedCommitter();
}

void Committer::submit(std::unique_ptr<Excel::AtomicSave> save, std::unique_ptr<WorkbookLock> lock, Done done)
{
    Item *item = new Item{std::move(save), std::move(lock), std::move(done)};
    m_pool.start([this, item] { commit(item); });
}

void Committer::finish(Item *item, bool saved, const QString &error)
{
    item->done(saved, error);
    delete item; // only now is the workbook's lock released
}

void Committer::noteCommitTime(dev_t device, qint64 ns)
{
    QMutexLocker locker(&m_timesMutex);
    m_lastCommitNs.insert(device, ns);
}

bool Committer::quickOn(dev_t device) const
{
    QMutexLocker locker(&m_timesMutex);
    const auto found = m_lastCommitNs.constFind(device);
    return found != m_lastCommitNs.constEnd() && *found < QuickCommitNs;
}

void Committer::commit(Item *item)
{
    QString error;
    QElapsedTimer timer;
    timer.start();
    if (!item->save->replace(&error)) {
        finish(item, false, error);
        return;
    }
    item->replaceNs = timer.nsecsElapsed();
    const QByteArray folder = item->save->folder();
    QMutexLocker locker(&m_mutex);
    Folder &f = m_folders[folder];
    f.renamed.push_back(item);
    if (f.flushing)
        return; // the thread flushing the folder flushes it again for this one
    // This thread flushes the folder until no rename waits for it: each
    // round takes the renames done before it began.
    f.flushing = true;
    while (!f.renamed.empty()) {
        const std::vector<Item *> batch = std::move(f.renamed);
        f.renamed.clear();
        locker.unlock();
        timer.restart();
        Excel::AtomicSave::flushFolder(folder);
        const qint64 flushNs = timer.nsecsElapsed();
        for (Item *done : batch) {
            if (done->lock)
                noteCommitTime(done->lock->status().st_dev, done->replaceNs + flushNs);
            finish(done, true, QString());
        }
        locker.relock();
    }
    m_folders.erase(folder);
}
