#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QMutex>
#include <QSet>

#include <atomic>

// What the jobs of one run share, on their threads: whether the run was
// stopped, the folders already cleaned of left-over temporary files, and
// whether a job has said yet that it worked without file locks.
class RunShared
{
public:
    // Jobs that have not handed in their saves drop them.
    void stop() { m_stopped = true; }
    bool stopped() const { return m_stopped; }
    // The reason of a file that no job worked on because the run stopped.
    static QString notProcessedReason() { return QCoreApplication::translate("Run", "not processed: the run was stopped"); }

    // True for the first job in folder only.
    bool firstInFolder(const QByteArray &folder)
    {
        QMutexLocker locker(&m_mutex);
        if (m_folders.contains(folder))
            return false;
        m_folders.insert(folder);
        return true;
    }

    // True once.
    bool firstWithoutLocks() { return !m_locklessNoted.exchange(true); }

private:
    std::atomic<bool> m_stopped{false};
    std::atomic<bool> m_locklessNoted{false};
    QMutex m_mutex;
    QSet<QByteArray> m_folders;
};
