#include "xlsxtest.h"

#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace XlsxTest {

namespace {

std::vector<std::unique_ptr<QTemporaryDir>> &folders()
{
    static std::vector<std::unique_ptr<QTemporaryDir>> f;
    return f;
}

} // namespace

QString fixtures()
{
    static QString dir;
    static bool tried = false;
    if (!tried) {
        tried = true;
        folders().push_back(std::make_unique<QTemporaryDir>());
        const QString d = folders().back()->path();
        if (TestUtil::runPythonScript("makefixtures.py", {d}))
            dir = d;
    }
    return dir;
}

QString freshCopy(const QString &source)
{
    folders().push_back(std::make_unique<QTemporaryDir>());
    const QString target = folders().back()->filePath(QFileInfo(source).fileName());
    QFile::copy(source, target);
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                      | QFileDevice::ReadOther);
    return target;
}

QJsonObject dump(const QString &file)
{
    QByteArray out;
    if (!TestUtil::runPythonScript("dumpcells.py", {file}, &out))
        return QJsonObject();
    return QJsonDocument::fromJson(out).object();
}

QJsonArray cell(const QJsonObject &dump, const QString &sheet, const QString &ref)
{
    return dump.value("cells").toObject().value(sheet).toObject().value(ref).toArray();
}

QStringList changedEntries(const QString &before, const QString &after)
{
    QByteArray out;
    if (!TestUtil::runPythonScript("rawdiff.py", {before, after}, &out))
        return {QStringLiteral("(rawdiff failed)")};
    QStringList names = QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return names;
}

QByteArray part(const QString &file, const QString &name)
{
    QByteArray out;
    TestUtil::runPythonCode("import sys, zipfile\nsys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))",
                            {file, name}, &out);
    return out;
}

} // namespace XlsxTest
