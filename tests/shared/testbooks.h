#pragma once

// Small workbooks for the run tests, written and read back by independent
// tools: openpyxl for .xlsx, xlwt and xlrd for .xls (/usr/bin/python3).
// Tests that use them start with KORRIN_REQUIRE_PYTHON(TESTBOOKS_MODULES).

#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#define TESTBOOKS_MODULES "openpyxl", "xlwt", "xlrd"

namespace TestBooks {

inline QString python(const QString &code, const QStringList &args)
{
    QByteArray out, err;
    TestUtil::runPythonCode(code, args, &out, &err);
    return QString::fromUtf8(out + err).trimmed();
}

// One sheet whose column A holds the texts, from A1 down; the format by
// the file name's extension.
inline void write(const QString &path, const QStringList &texts)
{
    python(QStringLiteral("import sys\n"
                          "if sys.argv[1].lower().endswith('.xls'):\n"
                          "    import xlwt\n"
                          "    wb = xlwt.Workbook(); ws = wb.add_sheet('One')\n"
                          "    for i, t in enumerate(sys.argv[2:]): ws.write(i, 0, t)\n"
                          "else:\n"
                          "    import openpyxl\n"
                          "    wb = openpyxl.Workbook(); ws = wb.active\n"
                          "    for i, t in enumerate(sys.argv[2:]): ws.cell(i + 1, 1, t)\n"
                          "wb.save(sys.argv[1])\n"),
           QStringList{path} + texts);
}

// Column A of the first sheet, joined by "|".
inline QString column(const QString &path)
{
    return python(QStringLiteral("import sys\n"
                                 "if sys.argv[1].lower().endswith('.xls'):\n"
                                 "    import xlrd\n"
                                 "    s = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                                 "    print('|'.join(str(s.cell_value(r, 0)) for r in range(s.nrows)))\n"
                                 "else:\n"
                                 "    import openpyxl\n"
                                 "    ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
                                 "    print('|'.join(str(r[0].value) for r in ws.iter_rows()))\n"),
                  {path});
}

inline QByteArray bytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Temporary files of a save left in the folder.
inline QStringList leftovers(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral(".~*")}, QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace TestBooks
