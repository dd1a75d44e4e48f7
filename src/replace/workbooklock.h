#pragma once

#include <QString>

// Keeps two jobs from working on the same workbook file at once: while one
// holds the lock for a file, another job for the same file (by its canonical
// path, so different spellings of one path count as one file) waits.
class WorkbookLock
{
public:
    explicit WorkbookLock(const QString &path);
    ~WorkbookLock();
    WorkbookLock(const WorkbookLock &) = delete;
    WorkbookLock &operator=(const WorkbookLock &) = delete;

private:
    QString m_key;
};
