#include "batchoptions.h"

#include <QCommandLineParser>

namespace {

QString sheetBoxText(const QString &value)
{
    if (value == QLatin1String("default"))
        return QStringLiteral("默认页");
    if (value == QLatin1String("first"))
        return QStringLiteral("首表");
    if (value == QLatin1String("last"))
        return QStringLiteral("尾表");
    if (value == QLatin1String("all"))
        return QStringLiteral("所有表");
    return value;
}

// Whether the sheet box text names sheets: one of its four words, or a list
// of sheet numbers (1 and up, commas between, spaces allowed around them,
// which *text then loses).
bool takeSheetChoice(QString *text)
{
    for (const char *word : {"默认页", "首表", "尾表", "所有表"})
        if (*text == QString::fromUtf8(word))
            return true;
    QStringList numbers;
    for (const QString &part : text->split(QLatin1Char(','))) {
        const QString number = part.trimmed();
        bool ok = false;
        if (number.isEmpty() || !number.at(0).isDigit() || number.toInt(&ok) < 1 || !ok)
            return false;
        numbers << number;
    }
    *text = numbers.join(QLatin1Char(','));
    return true;
}

// The options that take a value, as the pass before the parser must know
// them: the word after such an option is its value, never a --pair.
const QStringList &valueOptions()
{
    static const QStringList names{"--list", "-l", "--sheets", "-s", "--separator", "--files-from", "-f",
                                   "--jobs", "-j", "--backup-dir", "-b", "--changes", "--undo"};
    return names;
}

// --pair takes two words, which QCommandLineParser cannot express: this
// pass takes them out (up to a "--", after which everything is a file) and
// leaves the rest to the parser.
bool takePairs(const QStringList &args, QStringList *rest, QList<QPair<QString, QString>> *pairs, QString *error)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--")) {
            *rest += args.mid(i);
            return true;
        }
        if (a == QLatin1String("--pair") || a == QLatin1String("-p")) {
            if (i + 2 >= args.size()) {
                *error = QStringLiteral("%1 needs two values, KEY and REPLACEMENT").arg(a);
                return false;
            }
            pairs->append({args[i + 1], args[i + 2]});
            i += 2;
        } else if (a.startsWith(QLatin1String("--pair="))) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("--pair=KEY needs REPLACEMENT after it");
                return false;
            }
            pairs->append({a.mid(7), args[i + 1]});
            i += 1;
        } else if (valueOptions().contains(a) && i + 1 < args.size()) {
            *rest << a << args[i + 1];
            i += 1;
        } else {
            *rest << a;
        }
    }
    return true;
}

} // namespace

QString batchUsage()
{
    return QStringLiteral(
        "Usage: korrin-batch [options] --pair KEY REPLACEMENT [--pair KEY REPLACEMENT ...] FILE|FOLDER...\n"
        "       korrin-batch [options] --pair KEY REPLACEMENT ... --files-from LIST\n"
        "       korrin-batch [options] --list LISTFILE.xlsx\n"
        "       korrin-batch [--dry-run] [--json] [--break-links] --undo RUNFOLDER\n"
        "\n"
        "Replaces text in Excel workbooks (.xlsx, .xlsm, .xltx, .xltm, .xls) in place, one job per file.\n"
        "A folder is scanned for them (by name, in any case) as the window's add-folder command\n"
        "does: links that lead out of it and folders of backups are left out.\n"
        "\n"
        "  -p, --pair KEY REPLACEMENT  replace KEY by REPLACEMENT; KEY may hold several\n"
        "                          keywords joined by the separator; pairs apply in order\n"
        "  -l, --list LISTFILE     run the files and pairs of a list file exported by the window\n"
        "                          (Mode 1 or Mode 2, told apart by its sheet names)\n"
        "  -f, --files-from LIST   read the files from LIST, one path a line (- for standard input)\n"
        "  -0, --null              the paths of --files-from end with NUL, not a line break\n"
        "  --no-recursive          scan only the top level of a folder given as an argument\n"
        "  -s, --sheets TEXT       sheets to process: default (the active sheet), first, last,\n"
        "                          all, or a list of sheet numbers such as 1,3\n"
        "                          (默认页, 首表, 尾表 and 所有表 are accepted too); default: default\n"
        "  --position              KEY names a cell position whose value is set (A1, B2:C3, ...)\n"
        "  -w, --whole             the whole cell must match\n"
        "  -c, --match-case        match letter case\n"
        "  --by-columns            search by columns instead of by rows\n"
        "  --separator SEP         keyword separator (default |)\n"
        "  -n, --dry-run           do everything but write: report what would change\n"
        "  -b, --backup-dir DIR    copy each workbook that changes, before it is replaced, into a\n"
        "                          new folder DIR/<date-time>-<n>/ of this run, with manifest.json\n"
        "  --break-links           save a workbook that has other names (hard links) all the same:\n"
        "                          the name given gets the new file, the others keep the old one\n"
        "  --changes FILE          write one row per changed cell (file, sheet, cell, before, after)\n"
        "                          to FILE, .xlsx or .csv; - writes JSON lines to standard output\n"
        "                          (the reports then go to standard error); with --dry-run, the\n"
        "                          cells that would change\n"
        "  --undo RUNFOLDER        put back every file of the run whose backups are in RUNFOLDER,\n"
        "                          where it is still exactly what that run wrote\n"
        "  -j, --jobs N            run N jobs at once (default: one per processor)\n"
        "  --json                  one JSON object per file instead of the plain lines\n"
        "  -v, --verbose           print diagnostics to stderr\n"
        "  -h, --help, -V, --version\n"
        "\n"
        "Prints one line per file as it finishes: SUCCESS, FAILURE or MISSING, a tab, the path;\n"
        "after SUCCESS a tab and the count of changed cells, after FAILURE a tab and the reason.\n"
        "Tabs, line breaks and backslashes in paths and reasons are written as \\t, \\n, \\\\.\n"
        "A summary line ends the output. Exit status: 0 when every file succeeded, 1 otherwise,\n"
        "2 for a usage error.\n");
}

bool parseBatchArguments(const QStringList &args, BatchOptions *options, QString *error)
{
    QStringList rest;
    QList<QPair<QString, QString>> rawPairs;
    if (!takePairs(args, &rest, &rawPairs, error))
        return false;

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption list({"l", "list"}, QString(), "LISTFILE");
    const QCommandLineOption filesFrom({"f", "files-from"}, QString(), "LIST");
    const QCommandLineOption null({"0", "null"}, QString());
    const QCommandLineOption noRecursive("no-recursive", QString());
    const QCommandLineOption sheets({"s", "sheets"}, QString(), "TEXT");
    const QCommandLineOption position("position", QString());
    const QCommandLineOption whole({"w", "whole"}, QString());
    const QCommandLineOption matchCase({"c", "match-case"}, QString());
    const QCommandLineOption byColumns("by-columns", QString());
    const QCommandLineOption separator("separator", QString(), "SEP");
    const QCommandLineOption dryRun({"n", "dry-run"}, QString());
    const QCommandLineOption backupDir({"b", "backup-dir"}, QString(), "DIR");
    const QCommandLineOption breakLinks("break-links", QString());
    const QCommandLineOption jobs({"j", "jobs"}, QString(), "N");
    const QCommandLineOption changes("changes", QString(), "FILE");
    const QCommandLineOption undo("undo", QString(), "RUNFOLDER");
    const QCommandLineOption json("json", QString());
    const QCommandLineOption verbose({"v", "verbose"}, QString());
    const QCommandLineOption help({"h", "help"}, QString());
    const QCommandLineOption version({"V", "version"}, QString());
    parser.addOptions({list, filesFrom, null, noRecursive, sheets, position, whole, matchCase, byColumns, separator,
                       dryRun, backupDir, breakLinks, jobs, changes, undo, json, verbose, help, version});
    if (!parser.parse(QStringList{QStringLiteral("korrin-batch")} + rest)) {
        *error = parser.errorText();
        return false;
    }
    const auto single = [&](const QCommandLineOption &option) {
        if (parser.values(option).size() > 1) {
            *error = QStringLiteral("--%1 given more than once").arg(option.names().last());
            return false;
        }
        return true;
    };
    for (const QCommandLineOption &option : {list, filesFrom, sheets, separator, backupDir, jobs, changes, undo})
        if (!single(option))
            return false;

    BatchOptions o;
    o.help = parser.isSet(help);
    o.version = parser.isSet(version);
    o.verbose = parser.isSet(verbose);
    o.inputs = parser.positionalArguments();
    o.listFile = parser.value(list);
    o.filesFrom = parser.value(filesFrom);
    o.nullSeparated = parser.isSet(null);
    o.recursive = !parser.isSet(noRecursive);
    o.par.sheetIndex = parser.isSet(sheets) ? sheetBoxText(parser.value(sheets)) : QStringLiteral("默认页");
    if (!takeSheetChoice(&o.par.sheetIndex)) {
        *error = QStringLiteral("--sheets takes default, first, last, all or sheet numbers such as 1,3, not '%1'")
                     .arg(parser.value(sheets));
        return false;
    }
    o.par.byKey = !parser.isSet(position);
    if (parser.isSet(whole))
        o.par.lookAt = 1;
    o.par.matchCase = parser.isSet(matchCase);
    if (parser.isSet(byColumns))
        o.par.searchOrder = 2;
    if (parser.isSet(separator))
        o.separator = parser.value(separator);
    o.dryRun = parser.isSet(dryRun);
    o.backupDir = parser.value(backupDir);
    o.breakLinks = parser.isSet(breakLinks);
    o.changes = parser.value(changes);
    o.undo = parser.value(undo);
    o.json = parser.isSet(json);
    if (parser.isSet(jobs)) {
        bool ok = false;
        o.jobs = parser.value(jobs).toInt(&ok);
        if (!ok || o.jobs < 1) {
            *error = QStringLiteral("--jobs needs a whole number of at least 1, not '%1'").arg(parser.value(jobs));
            return false;
        }
    }
    if (parser.isSet(backupDir) && o.backupDir.isEmpty()) {
        *error = QStringLiteral("--backup-dir needs a folder");
        return false;
    }
    if (parser.isSet(changes) && o.changes.isEmpty()) {
        *error = QStringLiteral("--changes needs a file");
        return false;
    }
    if (parser.isSet(undo) && o.undo.isEmpty()) {
        *error = QStringLiteral("--undo needs a run folder");
        return false;
    }

    if (!o.help && !o.version) {
        if (!o.undo.isEmpty()) {
            if (!rawPairs.isEmpty() || !o.listFile.isEmpty() || !o.inputs.isEmpty() || !o.filesFrom.isEmpty()
                || !o.backupDir.isEmpty() || !o.changes.isEmpty()) {
                *error = QStringLiteral("--undo takes its files from the run folder: give no --pair, --list, "
                                        "--files-from, file, --backup-dir or --changes");
                return false;
            }
        } else if (!o.listFile.isEmpty()) {
            if (!rawPairs.isEmpty() || !o.inputs.isEmpty() || !o.filesFrom.isEmpty()) {
                *error = QStringLiteral("--list takes its files and pairs from the list file: give no --pair, "
                                        "no --files-from and no file");
                return false;
            }
        } else {
            if (rawPairs.isEmpty()) {
                *error = QStringLiteral("no --pair given");
                return false;
            }
            if (o.inputs.isEmpty() && o.filesFrom.isEmpty()) {
                *error = QStringLiteral("no file given");
                return false;
            }
        }
        if (o.nullSeparated && o.filesFrom.isEmpty()) {
            *error = QStringLiteral("--null belongs to --files-from");
            return false;
        }
    }
    for (const auto &p : rawPairs)
        appendPairs(&o.par.pairs, p.first, p.second, o.separator);
    *options = o;
    return true;
}
