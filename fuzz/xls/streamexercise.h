#pragma once

// What the stream fuzzer does with one input, shared with the regression
// test that replays the committed fuzz inputs: open the Workbook stream;
// if it is accepted, an unedited layout must reproduce it exactly, and after
// a replace and some position writes (new rows and blocks included, and a
// formula that needs names, add-in functions and sheet references the
// workbook may lack) the new layout must read back with the same sheets,
// and be the same when laid out as a save does it.
// False when one of these fails.

#include "xls/book/biffbook.h"
#include "xls/formula/formulatokens.h"
#include "cellrules/celladdress.h"
#include "cellrules/searchpattern.h"

#include <QByteArray>

#include "cellchanges.h"

inline bool exerciseStream(const QByteArray &stream)
{
    using namespace Excel;
    Biff::Book book;
    QString error;
    if (!book.openStream(stream, &error))
        return true;
    if (book.buildStream() != stream)
        return false;
    book.strings().keepEntriesAsRead();
    const SearchPattern pattern(QStringLiteral("a*"), false, false);
    for (int i = 0; i < book.sheetCount(); ++i) {
        Biff::Sheet *sheet = book.sheet(i);
        bool changed = false;
        sheet->replace({}, pattern, QStringLiteral("\u00e9\u4e00"), &changed, &error);
        QVector<CellArea> areas;
        if (sheet->hasCells() && parseRangeAddress(QStringLiteral("B2,A40:C41,IV65536"), BiffGrid, &areas))
            sheet->setValue(areas, QStringLiteral("12.5"), &error);
        const QString last = book.sheet(book.sheetCount() - 1)->name();
        if (sheet->hasCells() && parseRangeAddress(QStringLiteral("C3"), BiffGrid, &areas))
            sheet->setValue(areas, QStringLiteral("=ZQ9(1)+Undefined9+IFERROR(1,2)+EOMONTH(1,1)+")
                                       + Biff::FormulaText::sheetPrefix(last, last) + QStringLiteral("A1"),
                            &error);
    }
    struct Count : CellChangeSink
    {
        qint64 rows = 0;
        bool cellChanged(const QString &, int, int, const QString &, const QString &, QString *) override
        {
            ++rows;
            return true;
        }
    };
    // The record of the changes holds no more cells than the edits changed.
    for (int i = 0; i < book.sheetCount(); ++i) {
        Count count;
        if (!book.sheet(i)->reportChanges(&count, &error) || count.rows > book.sheet(i)->changedCells())
            return false;
    }
    const QByteArray out = book.buildStream();
    // A save lays the stream out letting go of the book as it goes: the
    // same bytes.
    if (book.buildStream(true) != out)
        return false;
    Biff::Book again;
    return again.openStream(out, &error) && again.sheetCount() == book.sheetCount();
}
