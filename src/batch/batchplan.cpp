#include "batchplan.h"

#include "excelfilescan.h"
#include "listfiles.h"

#include <QFile>
#include <QFileInfo>

#include <climits>
#include <cstdio>

namespace {

// Reads the list a block at a time, so that an endless or runaway input
// (/dev/zero, a wrong file) is refused in bounded memory.
bool readFileList(const QString &name, bool nullSeparated, QStringList *paths, QString *error)
{
    QFile file;
    const bool isStdin = name == QLatin1String("-");
    const QString shown = isStdin ? QStringLiteral("(standard input)") : name;
    const bool ok = isStdin ? file.open(stdin, QIODevice::ReadOnly)
                            : (file.setFileName(name), file.open(QIODevice::ReadOnly));
    if (!ok) {
        *error = QStringLiteral("cannot read the file list %1: %2").arg(shown, file.errorString());
        return false;
    }
    const char separator = nullSeparated ? '\0' : '\n';
    QByteArray entry;
    qint64 entries = 0, total = 0;
    const auto take = [&]() {
        ++entries;
        if (entries > maxFileListEntries) {
            *error = QStringLiteral("the file list %1 has more than %2 entries").arg(shown).arg(maxFileListEntries);
            return false;
        }
        if (!entry.isEmpty())
            *paths << QFile::decodeName(entry);
        entry.clear();
        return true;
    };
    for (;;) {
        const QByteArray block = file.read(1 << 16);
        if (block.isEmpty())
            break;
        total += block.size();
        if (total > maxFileListBytes) {
            *error = QStringLiteral("the file list %1 is longer than %2 MiB").arg(shown).arg(maxFileListBytes >> 20);
            return false;
        }
        int from = 0;
        while (from < block.size()) {
            int end = block.indexOf(separator, from);
            if (end < 0)
                end = block.size();
            entry.append(block.constData() + from, end - from);
            if (!nullSeparated && entry.contains('\0')) {
                *error = QStringLiteral("entry %1 of the file list %2 holds a NUL character (a list whose paths end "
                                        "with NUL needs --null)")
                             .arg(entries + 1)
                             .arg(shown);
                return false;
            }
            if (entry.size() >= PATH_MAX) {
                *error = QStringLiteral("entry %1 of the file list %2 is longer than %3 bytes, the system's limit for "
                                        "a path")
                             .arg(entries + 1)
                             .arg(shown)
                             .arg(PATH_MAX - 1);
                return false;
            }
            if (end < block.size() && !take())
                return false;
            from = end + 1;
        }
    }
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot read the file list %1: %2").arg(shown, file.errorString());
        return false;
    }
    return entry.isEmpty() || take();
}

} // namespace

bool planBatch(const BatchOptions &options, RunPlan *plan, QStringList *notes, QString *error, ScanSkips *skips)
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
        plan->job.breakLinks = options.breakLinks;
        return true;
    }

    // The record of changes an earlier run left in a folder is no workbook
    // to change: this run's record replaces it.
    const QString record = options.changes == QLatin1String("-") ? QString()
                                                                 : QFileInfo(options.changes).canonicalFilePath();
    QStringList files;
    for (const QString &input : options.inputs) {
        if (!QFileInfo(input).isDir()) {
            files << input;
            continue;
        }
        const int before = files.size();
        ExcelFileScan scan(options.recursive, [&](const QString &path) {
            if (record.isEmpty() || QFileInfo(path).canonicalFilePath() != record)
                files << path;
            else
                *notes << QStringLiteral("not scanned: %1 (the record of changes of this run)").arg(path);
        });
        // The backup folder may lie in the folder and not be marked yet.
        if (!options.backupDir.isEmpty())
            scan.setExcludedFolders({options.backupDir});
        scan.scan(input);
        const ScanSkips &skipped = scan.skips();
        for (const QString &link : skipped.linksOutside)
            *notes << QStringLiteral("not followed: %1 (a link out of the folder %2)").arg(link, input);
        for (const QString &link : skipped.untrustedLinks)
            *notes << QStringLiteral("not followed: %1 (a link of another user in a shared folder)").arg(link);
        for (const QString &folder : skipped.backupFolders)
            *notes << QStringLiteral("not scanned: %1 (a folder of backups)").arg(folder);
        if (skips)
            skips->add(skipped);
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
    plan->job.breakLinks = options.breakLinks;
    return true;
}
