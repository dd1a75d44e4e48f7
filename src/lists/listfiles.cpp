#include "listfiles.h"

#include "listedit.h"
#include "listworkbook.h"

#include <QCoreApplication>

QString mode1FileSheetName()
{
    return QStringLiteral("Tarvo方式一_文件列表");
}

QString mode1KeywordSheetName()
{
    return QStringLiteral("Tarvo方式一_关键字列表");
}

QString mode2SheetName()
{
    return QStringLiteral("Tarvo方式二_替换文件列表");
}

namespace {

using Excel::Reason;

// A failed read: its state code, and its cause in *why when asked for.
int failure(int code, const Reason &cause, Reason *why)
{
    if (why)
        *why = cause;
    return code;
}

// The workbook could not be read, or has too few sheets for the layout.
int unreadableOrShort(const ListWorkbook &book, int needed, Reason *why)
{
    const Reason unread = book.readFailure();
    if (!unread.isEmpty())
        return failure(36, unread, why);
    return failure(36,
                   Reason(QCoreApplication::translate("Lists", "it has %1 sheet(s), the layout needs %2")
                              .arg(book.sheetNames().size())
                              .arg(needed)),
                   why);
}

int missingSheet(const QString &name, Reason *why)
{
    return failure(37, Reason(QCoreApplication::translate("Lists", "it lacks the sheet %1").arg(name)), why);
}

// Cells that could not be read end the read: the list would be cut short.
int finish(const ListWorkbook &book, Reason *why)
{
    const Reason unread = book.readFailure();
    return unread.isEmpty() ? 0 : failure(36, unread, why);
}

// The layouts read from a workbook already open.
int readMode1(ListWorkbook &book, Mode1List *list, Reason *why)
{
    const QStringList sheets = book.sheetNames();
    if (sheets.size() < 2)
        return unreadableOrShort(book, 2, why);
    for (const QString &name : {mode1FileSheetName(), mode1KeywordSheetName()})
        if (!sheets.contains(name))
            return missingSheet(name, why);
    Mode1List out;
    book.selectSheet(mode1FileSheetName());
    Excel::CellArea area = book.dimension();
    const int count = area.lastRow - area.firstRow + 1;
    for (int row = 1; row <= count; ++row) {
        const QString text = book.read(row, 1);
        if (text.isEmpty())
            break;
        out.files << normaliseListedPath(text);
    }
    book.selectSheet(mode1KeywordSheetName());
    area = book.dimension();
    const int m = area.lastRow - area.firstRow;
    for (int row = 2; row <= m + 1; ++row) {
        const QString keyword = book.read(row, 1);
        if (keyword.isEmpty())
            break;
        out.keywordLines << keyword;
        out.replacementLines << book.read(row, 2);
    }
    if (const int code = finish(book, why))
        return code;
    *list = out;
    return 0;
}

int readMode2(ListWorkbook &book, Mode2List *list, Reason *why)
{
    if (book.sheetNames().size() < 1)
        return unreadableOrShort(book, 1, why);
    if (!book.selectSheet(mode2SheetName()))
        return missingSheet(mode2SheetName(), why);
    Mode2List out;
    const Excel::CellArea area = book.dimension();
    const int rowSpan = area.lastRow - area.firstRow;
    const int columnSpan = area.lastColumn - area.firstColumn;
    for (int column = 2; column <= columnSpan + 1; ++column) {
        const QString text = book.read(1, column);
        if (text.isEmpty())
            break;
        out.files << normaliseListedPath(text);
    }
    for (int k = 0; k <= rowSpan; ++k) {
        if (book.read(k + 2, 1).isEmpty())
            break;
        QStringList row;
        for (int i = 0; i <= out.files.size(); ++i)
            row << book.read(k + 2, i + 1);
        out.rows << row;
    }
    if (const int code = finish(book, why))
        return code;
    *list = out;
    return 0;
}

int modeOf(const ListWorkbook &book)
{
    const QStringList sheets = book.sheetNames();
    if (sheets.contains(mode1FileSheetName()) && sheets.contains(mode1KeywordSheetName()))
        return 1;
    if (sheets.contains(mode2SheetName()))
        return 2;
    return 0;
}

Reason noName()
{
    return Reason(QCoreApplication::translate("Lists", "no list file was named"));
}

} // namespace

int readMode1List(const QString &path, Mode1List *list, Reason *why)
{
    if (path.isEmpty())
        return failure(35, noName(), why);
    ListWorkbook book(path);
    return readMode1(book, list, why);
}

int readMode2List(const QString &path, Mode2List *list, Reason *why)
{
    if (path.isEmpty())
        return failure(35, noName(), why);
    ListWorkbook book(path);
    return readMode2(book, list, why);
}

int readListFile(const QString &path, int *mode, Mode1List *list1, Mode2List *list2, Reason *why)
{
    *mode = 0;
    if (path.isEmpty())
        return failure(35, noName(), why);
    ListWorkbook book(path);
    *mode = modeOf(book);
    switch (*mode) {
    case 1:
        return readMode1(book, list1, why);
    case 2:
        return readMode2(book, list2, why);
    default:
        if (book.sheetNames().isEmpty())
            return unreadableOrShort(book, 1, why);
        return failure(37, Reason(QCoreApplication::translate("Lists", "it lacks the sheets of either list layout")), why);
    }
}

int listFileMode(const QString &path)
{
    return modeOf(ListWorkbook(path));
}
