#pragma once

// What the engine tests share: the fixtures built once per test run, fresh
// copies to work on, and openpyxl's reading of a result.

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace XlsxTest {

// The folder of the generated fixtures (makefixtures.py); empty when they
// could not be built.
QString fixtures();

// Copies a file into a new folder of its own and returns the copy's path.
QString freshCopy(const QString &source);

// openpyxl's view of a workbook (dumpcells.py); empty when it fails.
QJsonObject dump(const QString &file);
// [type, value, number format] of one cell; empty when absent.
QJsonArray cell(const QJsonObject &dump, const QString &sheet, const QString &ref);

// Names of the zip entries whose raw bytes differ between two archives.
QStringList changedEntries(const QString &before, const QString &after);

// The inflated text of one part.
QByteArray part(const QString &file, const QString &name);

} // namespace XlsxTest
