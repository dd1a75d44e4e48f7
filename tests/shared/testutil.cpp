#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

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

static bool runPython(const QStringList &arguments, QByteArray *out, QByteArray *err)
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

bool runPythonScript(const QString &scriptName, const QStringList &args, QByteArray *out, QByteArray *err)
{
    return runPython(QStringList{QStringLiteral(KORRIN_TEST_DATA "/") + scriptName} + args, out, err);
}

bool runPythonCode(const QString &code, const QStringList &args, QByteArray *out, QByteArray *err)
{
    return runPython(QStringList{QStringLiteral("-c"), code} + args, out, err);
}

bool libreOfficeConvert(const QStringList &files, const QString &format, const QString &outDir)
{
    QTemporaryDir profile;
    QProcess p;
    p.start(QStringLiteral("soffice"),
            QStringList{QStringLiteral("-env:UserInstallation=file://") + profile.path(), QStringLiteral("--headless"),
                        QStringLiteral("--convert-to"), format, QStringLiteral("--outdir"), outDir}
                + files);
    if (!p.waitForFinished(600000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    for (const QString &f : files) {
        const QString out = outDir + QLatin1Char('/') + QFileInfo(f).completeBaseName() + QLatin1Char('.')
                            + format.section(QLatin1Char(':'), 0, 0);
        if (!QFileInfo::exists(out))
            return false;
    }
    return true;
}

qint64 mtimeNs(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace TestUtil
