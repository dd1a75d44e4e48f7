#pragma once

// Read-only access to the cells of an .xlsx workbook, for code that needs
// cell texts without the editing object model (the list files). It reads
// through the same engine, so it refuses the same broken or hostile files.

#include "cellrules/celladdress.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace Excel {

namespace Xlsx {
class OoxmlBook;
}

class OoxmlReader
{
public:
    ~OoxmlReader();
    OoxmlReader(const OoxmlReader &) = delete;
    OoxmlReader &operator=(const OoxmlReader &) = delete;

    // None, with the reason in *error, when the file cannot be read.
    static std::unique_ptr<OoxmlReader> open(const QString &path, QString *error);

    // Every sheet in tab order, chart sheets included.
    QStringList sheetNames() const;

    // The used range of a sheet (0-based index); false for an empty sheet,
    // a chart or dialog sheet, or a sheet that cannot be read (lastError()
    // then says why).
    bool usedRange(int sheetIndex, CellArea *area);

    // The text of a cell (1-based row and column): a string as it is, a
    // number as the formula bar shows it, TRUE/FALSE, an error as its code,
    // a formula cell by its cached value; empty for a missing cell.
    QString cellText(int sheetIndex, int row, int column);

    QString lastError() const { return m_error; }

private:
    OoxmlReader() = default;

    std::unique_ptr<Xlsx::OoxmlBook> m_book;
    QString m_error;
};

} // namespace Excel
