#pragma once

// The jobs' reports on their way to the thread that owns the run. A job's
// thread (or the committer's) puts a report in; the owner takes them all at
// once, at most every few milliseconds, so that a run of many quick files
// wakes it a few times instead of twice per file. The inbox outlives the
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

    // wake is called (on the owner's thread, as a queued call on owner)
    // when the first report comes into an empty inbox.
    JobReports(QObject *owner, std::function<void()> wake);

    // Any thread.
    void put(const Report &report);
    // The owner's thread, from wake or later: every report so far, in the
    // order they came.
    std::vector<Report> takeAll();
    // The owner is going: reports from now on go nowhere.
    void close();

private:
    QMutex m_mutex;
    QObject *m_owner; // null once closed
    std::function<void()> m_wake;
    std::vector<Report> m_reports;
    bool m_wakePending = false;
};
