#pragma once

#include "listtab.h"

class CodeEditor;

// The Mode 1 tab: one list of workbooks, a table row per file showing its
// name, and the two line-aligned panes of keywords and replacements that
// apply to every file.
class Mode1Tab : public ListTab
{
    Q_OBJECT

public:
    Mode1Tab(QStringList *files, QTableWidget *table, CodeEditor *keywords, CodeEditor *replacements,
             QWidget *window, const QString &configPath);

    // The table as the window starts with it: one column, not editable.
    void setUpTable();

    void refresh() override;
    void removeSelected();
    // Empties the list and its table; the panes stay as they are.
    void clear() override;
    void clearKeywords();

    // Files and both panes; a failure to read leaves them untouched.
    bool importList(const QString &path) override;
    void exportList() override;

    QStringList keywordLines() const;
    QStringList replacementLines() const;

protected:
    int currentFile() const override;
    QTableWidgetItem *fileEntry(int index) const override;

private:
    CodeEditor *m_keywords;
    CodeEditor *m_replacements;
};
