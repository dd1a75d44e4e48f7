#include "batchplan.h"

#include "excelfilescan.h"
#include "listfiles.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

bool readFileList(const QString &name, bool nullSeparated, QStringList *paths, QString *error)
{
    QFile file;
    const bool ok = name == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                : (file.setFileName(name), file.open(QIODevice::ReadOnly));
    if (!ok) {
        *error = QStringLiteral("cannot read the file list %1: %2").arg(name, file.errorString());
        return false;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot read the file list %1: %2").arg(name, file.errorString());
        return false;
    }
    *paths = splitFileList(data, nullSeparated);
    return true;
}

} // namespace

QStringList splitFileList(const QByteArray &data, bool nullSeparated)
{
    QStringList paths;
    for (const QByteArray &entry : data.split(nullSeparated ? '\0' : '\n'))
        if (!entry.isEmpty())
            paths << QFile::decodeName(entry);
    return paths;
}

bool planBatch(const BatchOptions &options, RunPlan *plan, QStringList *notes, QString *error)
{
    if (!options.listFile.isEmpty()) {
        int mode = 0;
        Mode1List list1;
        Mode2List list2;
        Excel::Reason why;
        const int code = readListFile(options.listFile, &mode, &list1, &list2, &why);
        if (code == 0 && mode == 1) {
            *plan = RunPlan::mode1(list1.files, list1.keywordLines, list1.replacementLines, options.separator,
                                   options.par);
        } else if (code == 0 && mode == 2) {
            QStringList keywords;
            QVector<QStringList> columns(list2.files.size());
            for (const QStringList &row : qAsConst(list2.rows)) {
                keywords << row.value(0);
                for (int k = 0; k < list2.files.size(); ++k)
                    columns[k] << row.value(k + 1);
            }
            *plan = RunPlan::mode2(list2.files, keywords, columns, options.separator, options.par);
        } else {
            *error = why.within(code == 36 ? QStringLiteral("cannot read the list file %1").arg(options.listFile)
                                           : QStringLiteral("%1 is no list file").arg(options.listFile))
                         .text();
            return false;
        }
        return true;
    }

    QStringList files;
    for (const QString &input : options.inputs) {
        if (!QFileInfo(input).isDir()) {
            files << input;
            continue;
        }
        const int before = files.size();
        ExcelFileScan(options.recursive, [&](const QString &path) { files << path; }).scan(input);
        if (files.size() == before)
            *notes << QStringLiteral("no workbook in the folder %1").arg(input);
    }
    if (!options.filesFrom.isEmpty()) {
        QStringList listed;
        if (!readFileList(options.filesFrom, options.nullSeparated, &listed, error))
            return false;
        files += listed;
    }
    *plan = RunPlan::forEvery(files, options.par);
    return true;
}
