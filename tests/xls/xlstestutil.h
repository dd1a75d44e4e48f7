#pragma once

// Helpers of the .xls tests: fixtures, and the independent read-back
// (xlsdump.py with xlrd, LibreOffice's csv export).

#include "testutil.h"

#include "application.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace XlsTest {

using TestUtil::copyInto;
using TestUtil::readFile;
using TestUtil::writeFile;

inline QString fixture(const char *name)
{
    return QStringLiteral(KORRIN_TEST_DATA "/") + QLatin1String(name);
}

inline QString corpus(const QString &name)
{
    return QStringLiteral(KORRIN_CORPUS "/xls/") + name;
}

// The file as xlsdump.py reads it: {"sheets": [...], "streams": {...},
// "layout": [...]}; an empty object when it cannot be read.
inline QJsonObject dump(const QString &path, QString *error = nullptr)
{
    QByteArray out, err;
    if (!TestUtil::runPython({QStringLiteral(KORRIN_XLSDUMP), path}, &out, &err)) {
        if (error)
            *error = QString::fromUtf8(err).right(600);
        return QJsonObject();
    }
    return QJsonDocument::fromJson(out).object();
}

inline QJsonObject sheetOf(const QJsonObject &d, const QString &name)
{
    for (const QJsonValue &s : d.value(QStringLiteral("sheets")).toArray())
        if (s.toObject().value(QStringLiteral("name")).toString() == name)
            return s.toObject();
    return QJsonObject();
}

inline QJsonObject cellsOf(const QJsonObject &d, const QString &sheet)
{
    return sheetOf(d, sheet).value(QStringLiteral("cells")).toObject();
}

// Every sheet of the file as LibreOffice exports it to csv, joined (empty
// when LibreOffice could not read the file).
inline QString libreOfficeText(const QString &path)
{
    return TestUtil::libreOfficeTexts({path}).value(path);
}

using Changes = QMap<QString, QJsonValue>; // "Sheet!A1" -> ["text", "x"], or null for no value

inline QJsonValue text(const QString &t) { return QJsonArray{QStringLiteral("text"), t}; }
inline QJsonValue number(double d) { return QJsonArray{QStringLiteral("number"), d}; }
inline QJsonValue boolean(bool b) { return QJsonArray{QStringLiteral("bool"), b ? 1 : 0}; }

// Compares two dumps: every cell of every sheet as before except the
// changes, every other stream identical, no layout offset broken.
inline void verify(const QJsonObject &before, const QJsonObject &after, const Changes &changes)
{
    QVERIFY2(!after.isEmpty(), "the result cannot be read back");
    QCOMPARE(after.value("streams"), before.value("streams"));
    // Files that came with broken offsets may keep them, never gain more.
    QVERIFY2(after.value("layout").toArray().size() <= before.value("layout").toArray().size(),
             qPrintable(QJsonDocument(after.value("layout").toArray()).toJson()));
    const QJsonArray sheets = before.value("sheets").toArray();
    QCOMPARE(after.value("sheets").toArray().size(), sheets.size());
    for (const QJsonValue &s : sheets) {
        const QString name = s.toObject().value("name").toString();
        QJsonObject expected = s.toObject().value("cells").toObject();
        for (auto it = changes.begin(); it != changes.end(); ++it) {
            if (!it.key().startsWith(name + '!'))
                continue;
            const QString cell = it.key().mid(name.size() + 1);
            if (it.value().isNull())
                expected.remove(cell);
            else
                expected.insert(cell, it.value());
        }
        const QJsonObject actual = cellsOf(after, name);
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QVERIFY2(actual.value(it.key()) == it.value(),
                     qPrintable(QString("%1!%2: expected %3, got %4").arg(name, it.key(),
                         QString::fromUtf8(QJsonDocument(QJsonArray{it.value()}).toJson(QJsonDocument::Compact)),
                         QString::fromUtf8(QJsonDocument(QJsonArray{actual.value(it.key())}).toJson(QJsonDocument::Compact)))));
        for (auto it = actual.begin(); it != actual.end(); ++it)
            QVERIFY2(expected.contains(it.key()), qPrintable(QString("%1!%2 appeared").arg(name, it.key())));
    }
}

// Runs of the engine: replacements and position writes, then a save.
using namespace Excel;

struct Op
{
    enum Kind { Replace, Value } kind;
    QString sheet;
    QString a, b;
    int lookAt = xlPart;
    bool matchCase = false;
    QString range; // Replace: within this position instead of the used range
};

// Opens path, applies the operations, saves. Returns the save result;
// *error gets the workbook's reason.
inline bool run(const QString &path, const QVector<Op> &ops, QString *error = nullptr)
{
    Application app;
    Workbook *wb = app.Workbooks()->Open(path);
    if (!wb) {
        if (error)
            *error = app.Workbooks()->lastError();
        return false;
    }
    for (const Op &op : ops) {
        Worksheet *ws = nullptr;
        for (int i = 1; i <= wb->Sheets()->Count(); ++i)
            if (wb->Sheets()->Item(i)->Name() == op.sheet)
                ws = wb->Sheets()->Item(i);
        if (!ws) {
            if (error)
                *error = "no sheet " + op.sheet;
            return false;
        }
        if (op.kind == Op::Replace) {
            auto r = op.range.isEmpty() ? ws->UsedRange() : ws->Range(op.range);
            if (!r)
                return false;
            r->Replace(op.a, op.b, op.lookAt, xlByRows, op.matchCase);
        } else {
            auto r = ws->Range(op.a);
            if (!r) {
                if (error)
                    *error = wb->lastError();
                return false;
            }
            r->setValue(op.b);
        }
    }
    const bool ok = wb->Save();
    if (error)
        *error = wb->lastError();
    return ok;
}

inline Op replace(const QString &sheet, const QString &what, const QString &with, int lookAt = xlPart, bool matchCase = false)
{
    return Op{Op::Replace, sheet, what, with, lookAt, matchCase, QString()};
}

inline Op value(const QString &sheet, const QString &cell, const QString &v)
{
    return Op{Op::Value, sheet, cell, v, xlPart, false, QString()};
}

} // namespace XlsTest
