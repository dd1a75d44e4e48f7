#include "workbooklock.h"

#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QWaitCondition>

namespace {

struct LockTable
{
    QMutex mutex;
    QWaitCondition released;
    QSet<QString> held;
};

LockTable &table()
{
    static LockTable t;
    return t;
}

} // namespace

WorkbookLock::WorkbookLock(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    m_key = canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
    LockTable &t = table();
    QMutexLocker locker(&t.mutex);
    while (t.held.contains(m_key))
        t.released.wait(&t.mutex);
    t.held.insert(m_key);
}

WorkbookLock::~WorkbookLock()
{
    LockTable &t = table();
    QMutexLocker locker(&t.mutex);
    t.held.remove(m_key);
    t.released.wakeAll();
}
