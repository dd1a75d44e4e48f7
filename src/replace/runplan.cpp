#include "runplan.h"

#include "launchchecks.h"

RunPlan RunPlan::forEvery(const QStringList &files, const RepPar &par)
{
    RunPlan plan;
    plan.files = files;
    plan.pars.fill(par, files.size());
    return plan;
}

RunPlan RunPlan::mode1(const QStringList &files, const QStringList &keywordLines,
                       const QStringList &replacementLines, const QString &separator, const RepPar &par)
{
    RepPar record = par;
    record.pairs = mode1Pairs(keywordLines, replacementLines, separator);
    return forEvery(files, record);
}

RunPlan RunPlan::mode2(const QStringList &files, const QStringList &keywordCells,
                       const QVector<QStringList> &replacementColumns, const QString &separator, const RepPar &par)
{
    RunPlan plan;
    plan.files = files;
    plan.pars.reserve(files.size());
    for (int k = 0; k < files.size(); ++k) {
        RepPar record = par;
        record.pairs = mode2Pairs(keywordCells, replacementColumns.value(k), separator);
        plan.pars.append(record);
    }
    return plan;
}
