#pragma once

// Puts prepared saves in place on threads of its own, several at once, so
// that the threads that read and change workbooks never wait on the disk.
// A save's new file is flushed and renamed over the original
// (AtomicSave::replace); then its folder is flushed. Saves renamed into one
// folder while a flush of it is under way share the next flush, so that a
// batch of workbooks in one folder pays a few folder flushes, not one each.
// A save is done only once a flush of its folder that began after its
// rename has returned.
//
// Where putting a save in place costs less than handing it to another
// thread (a file system in memory, where a flush returns at once), the job
// had better do it itself: the committer keeps how long the last save on
// each device took, and quickOn() tells the jobs.

#include <QHash>
#include <QMutex>
#include <QString>
#include <QThreadPool>

#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace Excel {
class AtomicSave;
}
class WorkbookLock;

class Committer
{
public:
    // saved: the file is in place and on disk; otherwise error says why,
    // and the original was left as it was.
    using Done = std::function<void(bool saved, const QString &error)>;

    explicit Committer(int inFlight = 8);
    // Waits for every save handed in.
    ~Committer();
    Committer(const Committer &) = delete;
    Committer &operator=(const Committer &) = delete;

    // The one the runs share.
    static Committer *instance();

    int inFlight() const { return m_pool.maxThreadCount(); }

    // Takes the save and the lock of its workbook, which stays held until
    // the save is done; done is called once, on a thread of the committer.
    void submit(std::unique_ptr<Excel::AtomicSave> save, std::unique_ptr<WorkbookLock> lock, Done done);

    // A save on device took ns to put in place, its folder's flush included
    // (told by the committer and by jobs that saved themselves).
    void noteCommitTime(dev_t device, qint64 ns);
    // Whether the last save timed on device was put in place in less than
    // a hand-off to a thread of the committer costs; false before any was.
    bool quickOn(dev_t device) const;
    static constexpr qint64 QuickCommitNs = 50000;

private:
    struct Item;
    struct Folder
    {
        bool flushing = false;
        std::vector<Item *> renamed; // waiting for the next flush
    };

    void commit(Item *item);
    static void finish(Item *item, bool saved, const QString &error);

    QThreadPool m_pool;
    QMutex m_mutex;
    std::map<QByteArray, Folder> m_folders; // folders with a flush under way
    mutable QMutex m_timesMutex;
    QHash<dev_t, qint64> m_lastCommitNs;
};
