#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace TestUtil {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QString copyInto(const QTemporaryDir &dir, const QString &source, const QString &name)
{
    const QString target = dir.filePath(name.isEmpty() ? QFileInfo(source).fileName() : name);
    QFile::remove(target);
    if (!QFile::copy(source, target))
        return QString();
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

bool runPython(const QStringList &arguments, QByteArray *out, QByteArray *err)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!p.waitForFinished(300000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    const QByteArray o = p.readAllStandardOutput(), e = p.readAllStandardError();
    if (out)
        *out = o;
    if (err)
        *err = e;
    else if (!e.isEmpty() || p.exitCode() != 0)
        qWarning("python: %s", e.constData());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool runPythonCode(const QString &code, const QStringList &args, QByteArray *out, QByteArray *err)
{
    return runPython(QStringList{QStringLiteral("-c"), code} + args, out, err);
}

// One soffice run over the files; its own profile, so that it neither
// waits for nor disturbs a LibreOffice the user has open.
static bool runLibreOffice(const QStringList &files, const QString &format, const QString &outDir)
{
    QTemporaryDir profile;
    QDir().mkpath(outDir);
    QProcess p;
    p.setWorkingDirectory(outDir);
    p.start(QStringLiteral("soffice"),
            QStringList{QStringLiteral("-env:UserInstallation=file://") + profile.path(), QStringLiteral("--headless"),
                        QStringLiteral("--convert-to"), format, QStringLiteral("--outdir"), outDir}
                + files);
    if (!p.waitForFinished(600000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    return p.exitStatus() == QProcess::NormalExit;
}

bool libreOfficeConvert(const QStringList &files, const QString &format, const QString &outDir)
{
    if (!runLibreOffice(files, format, outDir))
        return false;
    for (const QString &f : files) {
        const QString out = outDir + QLatin1Char('/') + QFileInfo(f).completeBaseName() + QLatin1Char('.')
                            + format.section(QLatin1Char(':'), 0, 0);
        if (!QFileInfo::exists(out))
            return false;
    }
    return true;
}

QMap<QString, QString> libreOfficeTexts(const QStringList &files)
{
    // The inputs go in as f0, f1, ... so that each file's sheets come out as
    // f<i>-<sheet>.csv whatever the files are called.
    QTemporaryDir in, out;
    QStringList inputs;
    for (int i = 0; i < files.size(); ++i) {
        inputs << in.filePath(QStringLiteral("f%1.%2").arg(i).arg(QFileInfo(files.at(i)).suffix()));
        QFile::copy(files.at(i), inputs.last());
    }
    QMap<QString, QString> texts;
    // Comma-separated, UTF-8, every sheet to a file of its own.
    if (!runLibreOffice(inputs, QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1"),
                        out.path()))
        return texts;
    const QStringList csvs = QDir(out.path()).entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
    for (int i = 0; i < files.size(); ++i) {
        const QString base = QStringLiteral("f%1").arg(i);
        QString all;
        bool found = false;
        for (const QString &csv : csvs) {
            if (csv != base + QLatin1String(".csv") && !csv.startsWith(base + QLatin1Char('-')))
                continue;
            found = true;
            all += QString::fromUtf8(readFile(out.filePath(csv))) + QLatin1Char('\n');
        }
        if (found)
            texts.insert(files.at(i), all);
    }
    return texts;
}

QString missingPython(const QStringList &modules)
{
    static QMap<QStringList, QString> known;
    if (!known.contains(modules)) {
        QString why;
        if (!QFileInfo(QStringLiteral("/usr/bin/python3")).isExecutable()) {
            why = QStringLiteral("needs /usr/bin/python3");
        } else if (!modules.isEmpty()) {
            QByteArray err;
            if (!runPythonCode(QStringLiteral("import ") + modules.join(QLatin1String(", ")), {}, nullptr, &err))
                why = QStringLiteral("needs the Python modules %1 for /usr/bin/python3: %2")
                          .arg(modules.join(QLatin1String(", ")), QString::fromUtf8(err).trimmed().section('\n', -1));
        }
        known.insert(modules, why);
    }
    return known.value(modules);
}

QString missingLibreOffice()
{
    static const QString why = QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()
                                   ? QStringLiteral("needs LibreOffice (soffice on the PATH)")
                                   : QString();
    return why;
}

qint64 mtimeNs(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace TestUtil
