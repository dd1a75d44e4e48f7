// Writing the two list-file layouts.

#include "listfiles.h"

#include "listworkbook.h"

bool writeMode1List(const QString &path, const Mode1List &list, QString *error)
{
    ListWorkbook book(QString{});
    book.addSheet(mode1FileSheetName());
    for (int i = 0; i < list.files.size(); ++i)
        book.write(i + 1, 1, list.files.at(i));
    book.addSheet(mode1KeywordSheetName());
    book.write(QStringLiteral("A1"), QStringLiteral("被替换关键字:"));
    for (int j = 0; j < list.keywordLines.size(); ++j)
        book.write(j + 2, 1, list.keywordLines.at(j));
    book.write(QStringLiteral("B1"), QStringLiteral("欲替换为:"));
    for (int j = 0; j < list.replacementLines.size(); ++j)
        book.write(j + 2, 2, list.replacementLines.at(j));
    return book.saveAs(path, error);
}

bool writeMode2List(const QString &path, const Mode2List &list, QString *error)
{
    ListWorkbook book(QString{});
    book.addSheet(mode2SheetName());
    book.write(QStringLiteral("A1"), QStringLiteral("关键字或位置"));
    for (int j = 0; j < list.files.size(); ++j)
        book.write(1, j + 2, list.files.at(j));
    for (int r = 0; r < list.rows.size(); ++r)
        for (int c = 0; c < list.rows.at(r).size(); ++c)
            book.write(r + 2, c + 1, list.rows.at(r).at(c));
    return book.saveAs(path, error);
}
