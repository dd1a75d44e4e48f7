#pragma once

#include "listtab.h"

// The Mode 2 tab: a table with a column of keywords or positions and one
// column per workbook, holding what each keyword becomes in that workbook.
// Column j belongs to file j - 1; the last row is the empty input row,
// which is never removed, exported or run.
class Mode2Tab : public ListTab
{
    Q_OBJECT

public:
    Mode2Tab(QStringList *files, QTableWidget *table, QWidget *window, const QString &configPath);

    // The table as the window starts with it: the keyword column and the
    // input row, editable in place.
    void setUpTable();

    // Sets the column count and the file columns' headers.
    void refresh() override;
    // The typing rule, for every change of a cell.
    void cellChanged(QTableWidgetItem *item);
    void removeSelectedRows();
    void removeSelectedColumns();
    // Back to the keyword column and an empty input row.
    void clear() override;
    void showColumnTip(int column);

    // Files and rows; a failure to read leaves them untouched.
    bool importList(const QString &path) override;
    void exportList() override;

    // The keyword cell of every entry row, and file's cell of the first
    // rows rows (a cell without an item reads as empty text).
    QStringList keywordCells() const;
    QStringList replacementCells(int file, int rows) const;

protected:
    int currentFile() const override;
    QTableWidgetItem *fileEntry(int index) const override;
    void outcomeNoted(int index) override;

private:
    // The header of a file column shows the tip its cells show, with the
    // outcome of the last run: the header is where the run's mark is.
    void setHeaderTip(int index);
    QString cellText(int row, int column) const;
};
