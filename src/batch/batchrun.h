#pragma once

#include "rep.h"

#include <QObject>
#include <QStringList>
#include <cstdio>

// Runs one Rep per file on the global thread pool, as the window does, and
// prints a line per file as it finishes, a progress bar on a terminal and a
// summary at the end. finished() carries the exit status.
class BatchRun : public QObject
{
    Q_OBJECT

public:
    // pars holds the record of each file, in the same order.
    BatchRun(const QStringList &files, const QVector<RepPar> &pars, FILE *out, FILE *err, QObject *parent = nullptr);

    void start();

    int successCount() const { return m_success; }
    int failureCount() const { return m_failure; }
    int missingCount() const { return m_missing; }

signals:
    void finished(int exitStatus);

private:
    void report(Rep *rep, STATE state, int index);
    void drawProgress();

    QStringList m_files;
    QVector<RepPar> m_pars;
    FILE *m_out;
    FILE *m_err;
    bool m_progress;
    int m_done = 0;
    int m_success = 0;
    int m_failure = 0;
    int m_missing = 0;
};
