#include "undo.h"

bool planUndo(const QString &runFolder, const JobOptions &job, RunPlan *plan, QString *error)
{
    BackupRunInfo info;
    QVector<BackupEntry> entries;
    if (!readBackupRun(runFolder, &info, &entries, error))
        return false;
    *plan = RunPlan();
    plan->job = job;
    plan->job.backups.reset();
    plan->job.changes.reset();
    plan->restoreFolder = info.folder;
    plan->restores = entries;
    for (const BackupEntry &e : qAsConst(entries))
        plan->files << e.path;
    plan->pars.resize(entries.size());
    return true;
}
