#pragma once

// Helpers shared by the tests of both formats: files, and the independent
// tools (/usr/bin/python3 with openpyxl, xlrd, xlwt and olefile, and
// LibreOffice) that build fixtures and read results back. A test that needs
// a tool asks for it with KORRIN_REQUIRE_PYTHON or KORRIN_REQUIRE_LIBREOFFICE
// and is skipped, saying what is missing, where it is not installed.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QtTest>

class QTemporaryDir;

namespace TestUtil {

QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &data);

// Copies a file into dir (under name, or its own name) as a writable file;
// returns the copy's path, or an empty string when the copy failed.
QString copyInto(const QTemporaryDir &dir, const QString &source, const QString &name = QString());

// Runs /usr/bin/python3 with the arguments; true when it exits with 0. Its
// output goes to *out, its error output to *err (or the test log when err
// is null).
bool runPython(const QStringList &arguments, QByteArray *out = nullptr, QByteArray *err = nullptr);
bool runPythonCode(const QString &code, const QStringList &args, QByteArray *out = nullptr,
                   QByteArray *err = nullptr);
#ifdef KORRIN_TEST_DATA
// A script of the test's data folder.
inline bool runPythonScript(const QString &scriptName, const QStringList &args, QByteArray *out = nullptr,
                            QByteArray *err = nullptr)
{
    return runPython(QStringList{QStringLiteral(KORRIN_TEST_DATA "/") + scriptName} + args, out, err);
}
#endif

// Converts the files with one LibreOffice run into outDir; true when every
// file has its output.
bool libreOfficeConvert(const QStringList &files, const QString &format, const QString &outDir);
// Every sheet of each file as csv, with one LibreOffice run for all files:
// file -> the sheets' texts joined (no entry when LibreOffice could not read
// the file). The files' names must differ.
QMap<QString, QString> libreOfficeTexts(const QStringList &files);

// Why the tests cannot run: "" when /usr/bin/python3 imports the modules,
// and when LibreOffice (soffice) is on the path.
QString missingPython(const QStringList &modules);
QString missingLibreOffice();

// The modification time of a file in nanoseconds.
qint64 mtimeNs(const QString &path);

} // namespace TestUtil

// Skip the test function (or, in initTestCase, the whole test) when the
// tool is missing.
#define KORRIN_REQUIRE_PYTHON(...)                                                                   \
    do {                                                                                             \
        const QString korrinMissing = TestUtil::missingPython(QStringList{__VA_ARGS__});             \
        if (!korrinMissing.isEmpty())                                                                \
            QSKIP(qPrintable(korrinMissing));                                                        \
    } while (false)
#define KORRIN_REQUIRE_LIBREOFFICE()                                                                 \
    do {                                                                                             \
        const QString korrinMissing = TestUtil::missingLibreOffice();                                \
        if (!korrinMissing.isEmpty())                                                                \
            QSKIP(qPrintable(korrinMissing));                                                        \
    } while (false)
