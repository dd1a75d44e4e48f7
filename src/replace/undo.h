#pragma once

// Undo of a run that backed up (backuprun.h): a plan whose jobs put every
// file of the run back from its copy, under the same locks as a run and
// only where the file is still exactly what the run wrote; a file changed
// since is a FAILURE and is left alone. A run (run.h) carries it out and
// reports each file as for any run.

#include "runplan.h"

// The plan that undoes the run of runFolder; job gives how the jobs go
// (dryRun: only what would be restored). False with the reason when the
// folder is no run folder of the user's own or its manifest cannot be read.
bool planUndo(const QString &runFolder, const JobOptions &job, RunPlan *plan, QString *error);
