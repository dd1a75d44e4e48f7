#include "batchoptions.h"

#include "launchchecks.h"
#include "listfiles.h"

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

} // namespace

QString batchUsage()
{
    return QStringLiteral(
        "Usage: korrin-batch [options] --pair KEY REPLACEMENT [--pair KEY REPLACEMENT ...] FILE...\n"
        "       korrin-batch [options] --list LISTFILE.xlsx\n"
        "\n"
        "Replaces text in Excel workbooks (.xlsx, .xlsm, .xls) in place, one job per file.\n"
        "\n"
        "  --pair KEY REPLACEMENT  replace KEY by REPLACEMENT; KEY may hold several keywords\n"
        "                          joined by the separator; pairs apply in the order given\n"
        "  --list LISTFILE        run the files and pairs of a list file exported by the window\n"
        "                          (Mode 1 or Mode 2, told apart by its sheet names)\n"
        "  --sheets TEXT           sheets to process: default (the active sheet), first, last,\n"
        "                          all, or a list of sheet numbers such as 1,3\n"
        "                          (默认页, 首表, 尾表 and 所有表 are accepted too); default: default\n"
        "  --position              KEY names a cell position whose value is set (A1, B2:C3, ...)\n"
        "  --whole                 the whole cell must match\n"
        "  --match-case            match letter case\n"
        "  --by-columns            search by columns instead of by rows\n"
        "  --separator SEP         keyword separator (default |)\n"
        "  --verbose               print diagnostics to stderr\n"
        "  --help, --version\n"
        "\n"
        "Prints one line per file as it finishes: SUCCESS, FAILURE or MISSING, a tab, the path,\n"
        "and for a failure a tab and the reason. Exit status: 0 when every file succeeded,\n"
        "1 otherwise, 2 for a usage error.\n");
}

bool parseBatchArguments(const QStringList &args, BatchOptions *options, QString *error)
{
    BatchOptions o;
    o.par.sheetIndex = QStringLiteral("默认页");
    QList<QPair<QString, QString>> rawPairs;
    bool onlyFiles = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        auto value = [&](int needed) {
            if (i + needed >= args.size()) {
                *error = QStringLiteral("%1 needs %2 value%3").arg(a).arg(needed).arg(needed > 1 ? "s" : "");
                return false;
            }
            return true;
        };
        if (onlyFiles || !a.startsWith(QLatin1String("--"))) {
            o.files << a;
        } else if (a == QLatin1String("--")) {
            onlyFiles = true;
        } else if (a == QLatin1String("--pair")) {
            if (!value(2))
                return false;
            rawPairs.append({args[i + 1], args[i + 2]});
            i += 2;
        } else if (a == QLatin1String("--list")) {
            if (!value(1))
                return false;
            o.listFile = args[++i];
        } else if (a == QLatin1String("--sheets")) {
            if (!value(1))
                return false;
            o.par.sheetIndex = sheetBoxText(args[++i]);
        } else if (a == QLatin1String("--separator")) {
            if (!value(1))
                return false;
            o.separator = args[++i];
        } else if (a == QLatin1String("--position")) {
            o.par.byKey = false;
        } else if (a == QLatin1String("--whole")) {
            o.par.lookAt = 1;
        } else if (a == QLatin1String("--match-case")) {
            o.par.matchCase = true;
        } else if (a == QLatin1String("--by-columns")) {
            o.par.searchOrder = 2;
        } else if (a == QLatin1String("--verbose")) {
            o.verbose = true;
        } else if (a == QLatin1String("--help")) {
            o.help = true;
        } else if (a == QLatin1String("--version")) {
            o.version = true;
        } else {
            *error = QStringLiteral("unknown option %1").arg(a);
            return false;
        }
    }
    if (!o.help && !o.version && !o.listFile.isEmpty()) {
        if (!rawPairs.isEmpty() || !o.files.isEmpty()) {
            *error = QStringLiteral("--list takes its files and pairs from the list file: give no --pair and no file");
            return false;
        }
    } else if (!o.help && !o.version) {
        if (rawPairs.isEmpty()) {
            *error = QStringLiteral("no --pair given");
            return false;
        }
        if (o.files.isEmpty()) {
            *error = QStringLiteral("no file given");
            return false;
        }
    }
    for (const auto &p : rawPairs)
        appendPairs(&o.par.pairs, p.first, p.second, o.separator);
    *options = o;
    return true;
}

bool planBatch(const BatchOptions &options, QStringList *files, QVector<RepPar> *pars, QString *error)
{
    pars->clear();
    if (options.listFile.isEmpty()) {
        *files = options.files;
        pars->fill(options.par, files->size());
        return true;
    }
    const QString &path = options.listFile;
    RepPar par = options.par;
    int code = 0;
    switch (listFileMode(path)) {
    case 1: {
        Mode1List list;
        code = readMode1List(path, &list);
        if (code)
            break;
        par.pairs = mode1Pairs(list.keywordLines, list.replacementLines, options.separator);
        *files = list.files;
        pars->fill(par, files->size());
        return true;
    }
    case 2: {
        Mode2List list;
        code = readMode2List(path, &list);
        if (code)
            break;
        QStringList keywords;
        for (const QStringList &row : qAsConst(list.rows))
            keywords << row.value(0);
        *files = list.files;
        for (int k = 0; k < files->size(); ++k) {
            QStringList replacements;
            for (const QStringList &row : qAsConst(list.rows))
                replacements << row.value(k + 1);
            par.pairs = mode2Pairs(keywords, replacements, options.separator);
            pars->append(par);
        }
        return true;
    }
    default:
        break;
    }
    *error = QStringLiteral("%1 is no list file (it lacks the sheets of either list layout)").arg(path);
    return false;
}
