#include "xlsx/book/ooxmlreader.h"

#include "xlsx/book/ooxmlbook.h"

#include "cellrules/cellvalue.h"

namespace Excel {

OoxmlReader::~OoxmlReader() = default;

std::unique_ptr<OoxmlReader> OoxmlReader::open(const QString &path, QString *error)
{
    auto book = Xlsx::OoxmlBook::open(path, error);
    if (!book)
        return nullptr;
    std::unique_ptr<OoxmlReader> r(new OoxmlReader);
    r->m_book = std::move(book);
    return r;
}

QStringList OoxmlReader::sheetNames() const
{
    QStringList names;
    for (int i = 0; i < m_book->sheetCount(); ++i)
        names << m_book->sheet(i).name;
    return names;
}

bool OoxmlReader::usedRange(int sheetIndex, CellArea *area)
{
    m_error.clear();
    if (sheetIndex < 0 || sheetIndex >= m_book->sheetCount())
        return false;
    Xlsx::WorksheetPart *part = m_book->worksheet(sheetIndex, &m_error);
    return part && part->usedArea(area);
}

QString OoxmlReader::cellText(int sheetIndex, int row, int column)
{
    m_error.clear();
    if (sheetIndex < 0 || sheetIndex >= m_book->sheetCount())
        return QString();
    Xlsx::WorksheetPart *part = m_book->worksheet(sheetIndex, &m_error);
    if (!part)
        return QString();
    const int index = part->findCell(row, column);
    if (index < 0)
        return QString();
    Xlsx::CellContent c;
    if (!part->cellContent(index, &c, &m_error))
        return QString();
    using Xlsx::CellType;
    switch (c.type) {
    case CellType::SharedString: {
        const Xlsx::SharedStrings *table = m_book->sharedStrings();
        bool ok = false;
        const uint i = c.value.trimmed().toUInt(&ok);
        QString text;
        if (!c.hasFormula && table && ok && table->text(i, &text, &m_error))
            return text;
        return c.hasFormula ? c.value : QString();
    }
    case CellType::InlineString:
        return c.hasFormula ? c.value : c.inlineText.plainText();
    case CellType::Number: {
        bool ok = false;
        const double d = c.value.trimmed().toDouble(&ok);
        return ok ? formulaBarNumber(d) : QString();
    }
    case CellType::Boolean:
        return c.value.trimmed() == QLatin1String("1") ? booleanText(true)
               : c.value.trimmed() == QLatin1String("0") ? booleanText(false) : QString();
    default:
        return c.value;
    }
}

} // namespace Excel
