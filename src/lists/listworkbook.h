#pragma once

// The list files' workbook: a few sheets of text cells. Reading goes through
// the engine's read-only cell access, writing makes a new workbook through
// ListFileWriter.

#include "cellrules/celladdress.h"
#include "reason.h"

#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

namespace Excel {
class WorkbookCells;
}

class ListWorkbook
{
public:
    // Loads fileName when it exists and is a readable .xlsx workbook;
    // otherwise the workbook starts empty (no sheets) and, for a name that
    // is not empty, readFailure() says why it could not be read.
    explicit ListWorkbook(const QString &fileName);
    ~ListWorkbook();

    QString fileName() const { return m_fileName; }
    // Why the file could not be read, or why a read of its cells failed
    // (the first failure); empty when every read succeeded.
    Excel::Reason readFailure() const;
    QStringList sheetNames() const;

    // Makes name the sheet that reads and writes go to; false when absent.
    bool selectSheet(const QString &name);
    // Adds an empty sheet and selects it; false when the name is taken.
    bool addSheet(const QString &name);

    // The used range of the selected sheet, 1-based; an empty sheet has
    // lastRow < firstRow and lastColumn < firstColumn.
    Excel::CellArea dimension() const;

    // The text of a cell of the selected sheet (empty when there is none).
    QString read(int row, int column) const;
    void write(int row, int column, const QString &text);
    // A cell named like "B3".
    bool write(const QString &cell, const QString &text);

    // Writes the workbook to its file, atomically.
    bool save(QString *error);
    bool saveAs(const QString &fileName, QString *error);

private:
    struct Sheet
    {
        QString name;
        int readerIndex = -1; // sheet of the loaded file, or -1 for a new one
        QMap<QPair<int, int>, QString> written;
    };

    QString m_fileName;
    std::unique_ptr<Excel::WorkbookCells> m_reader;
    Excel::Reason m_openFailure;
    QVector<Sheet> m_sheets;
    int m_current = -1;
};
