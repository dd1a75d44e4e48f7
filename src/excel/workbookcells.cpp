#include "workbookcells.h"

#include "formats.h"
#include "xlsx/book/ooxmlreader.h"

#include <QCoreApplication>

namespace Excel {

WorkbookCells::~WorkbookCells() = default;

std::unique_ptr<WorkbookCells> WorkbookCells::open(const QString &path, Reason *why)
{
    QString error;
    switch (sniffFileSignature(path, &error)) {
    case FileSignature::Zip:
        break;
    case FileSignature::CompoundFile:
        *why = Reason(QCoreApplication::translate("Excel", "an .xls workbook, not an .xlsx one"));
        return nullptr;
    case FileSignature::Other:
    case FileSignature::Unreadable:
        *why = Reason::orElse(error, QCoreApplication::translate("Excel", "cannot read the file"));
        return nullptr;
    }
    std::unique_ptr<OoxmlReader> reader = OoxmlReader::open(path, &error);
    if (!reader) {
        *why = Reason::orElse(error, QCoreApplication::translate("Excel", "cannot read the workbook"));
        return nullptr;
    }
    std::unique_ptr<WorkbookCells> cells(new WorkbookCells);
    cells->m_reader = std::move(reader);
    return cells;
}

QStringList WorkbookCells::sheetNames() const
{
    return m_reader->sheetNames();
}

bool WorkbookCells::usedRange(int sheet, CellArea *area)
{
    const bool any = m_reader->usedRange(sheet, area);
    noteFailure();
    return any;
}

QString WorkbookCells::cellText(int sheet, int row, int column)
{
    const QString text = m_reader->cellText(sheet, row, column);
    noteFailure();
    return text;
}

void WorkbookCells::noteFailure()
{
    if (m_failure.isEmpty() && !m_reader->lastError().isEmpty())
        m_failure = Reason(m_reader->lastError());
}

} // namespace Excel
