#include "jobreports.h"

#include <QMetaObject>

JobReports::JobReports(QObject *owner, std::function<void()> wake)
    : m_owner(owner)
    , m_wake(std::move(wake))
{
}

void JobReports::put(const Report &report)
{
    QMutexLocker lock(&m_mutex);
    if (!m_owner)
        return;
    m_reports.push_back(report);
    if (m_wakePending)
        return;
    m_wakePending = true;
    // Under the lock: close() cannot return, and the owner go, in between.
    QMetaObject::invokeMethod(m_owner, m_wake, Qt::QueuedConnection);
}

std::vector<JobReports::Report> JobReports::takeAll()
{
    QMutexLocker lock(&m_mutex);
    m_wakePending = false;
    std::vector<Report> all;
    all.swap(m_reports);
    return all;
}

void JobReports::close()
{
    QMutexLocker lock(&m_mutex);
    m_owner = nullptr;
    m_reports.clear();
}
