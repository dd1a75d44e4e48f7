#pragma once

// Helpers shared by the .xlsx engine tests: files, and the independent
// tools (Python's zipfile and openpyxl under /usr/bin/python3, LibreOffice)
// that build fixtures and read results back.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace TestUtil {

QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &data);

// Runs /usr/bin/python3 with the script file (in the test data folder) or
// code given; true when it exits with 0. Its output goes to *out, its
// error output to *err (or the test log when err is null).
bool runPythonScript(const QString &scriptName, const QStringList &args, QByteArray *out = nullptr,
                     QByteArray *err = nullptr);
bool runPythonCode(const QString &code, const QStringList &args, QByteArray *out = nullptr,
                   QByteArray *err = nullptr);

// Converts the files to xlsx with LibreOffice into outDir; true when every
// output exists.
bool libreOfficeConvert(const QStringList &files, const QString &format, const QString &outDir);

// The modification time of a file in nanoseconds.
qint64 mtimeNs(const QString &path);

} // namespace TestUtil
