#include "jobreports.h"

#include <QMetaObject>

JobReports::JobReports(QObject *owner, std::function<void(bool)> wake)
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
    const bool threadFree = report.workOnly || !report.rep->handedOff();
    const bool now = threadFree && --m_working <= m_lowWater;
    if (now && !m_nowPending) {
        m_nowPending = m_wakePending = true;
        wake(true);
    } else if (!m_wakePending) {
        m_wakePending = true;
        wake(false);
    }
}

// Under the lock: close() cannot return, and the owner go, in between.
void JobReports::wake(bool now)
{
    QMetaObject::invokeMethod(
        m_owner, [w = m_wake, now] { w(now); }, Qt::QueuedConnection);
}

std::vector<JobReports::Report> JobReports::takeAll()
{
    QMutexLocker lock(&m_mutex);
    m_wakePending = m_nowPending = false;
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
