#pragma once

// The jobs' reports on their way to the thread that owns the run. A job's
// thread (or the committer's) puts a report in; the owner takes them all at
// once, at most every few milliseconds, so that a run of many quick files
// wakes it a few times instead of twice per file. It is woken at once when
// few jobs are left on the pool's threads, so that they do not wait for the
// next ones, nor the run's end for its last reports. The inbox outlives the
// run: a job that finishes after its run was destroyed reports to nobody.

#include "rep.h"

#include <QMutex>
#include <QObject>
#include <functional>
#include <vector>

class JobReports
{
public:
    struct Report
    {
        Rep *rep;
        STATE state;
        int index;
        bool workOnly; // workFinished(): the job's thread is free, its save goes on
    };

    // wake(now) is called on the owner's thread, as a queued call on owner,
    // when the first report comes into an empty inbox; now when at most
    // lowWater jobs are still working.
    JobReports(QObject *owner, std::function<void(bool now)> wake);

    // The owner's thread: a job was started; it works until its
    // workFinished(), or until its done() if its save was not handed on.
    void started() { QMutexLocker lock(&m_mutex); ++m_working; }
    void setLowWater(int jobs) { QMutexLocker lock(&m_mutex); m_lowWater = jobs; }

    // Any thread.
    void put(const Report &report);
    // The owner's thread, from wake or later: every report so far, in the
    // order they came.
    std::vector<Report> takeAll();
    // The owner is going: reports from now on go nowhere.
    void close();

private:
    void wake(bool now);

    QMutex m_mutex;
    QObject *m_owner; // null once closed
    std::function<void(bool)> m_wake;
    std::vector<Report> m_reports;
    int m_working = 0;
    int m_lowWater = 0;
    bool m_wakePending = false;
    bool m_nowPending = false;
};
