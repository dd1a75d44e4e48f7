#pragma once

// The .xlsx workbook of a record of changes, streamed row by row into a
// file descriptor: one sheet with a bold header row, frozen below it, with
// an autofilter over the rows and columns sized for their content. A
// record longer than a sheet's grid (or one whose sheet would pass 3 GB of
// XML) goes on in further sheets, each with its header.
//
// The names of files and sheets repeat from row to row and go into the
// shared-string table (its size bounded by the files and sheets of the
// run); the other texts are inline strings, so nothing of them stays in
// memory after their row.

#include "changeexportzip.h"

#include <QHash>
#include <QStringList>

#include <string>
#include <string_view>

class ChangeWorkbook
{
public:
    // sheetName: the first sheet's name (further sheets get " (2)" and so
    // on); headers: the five column headings.
    ChangeWorkbook(int fd, const QString &sheetName, const QStringList &headers);

    bool addRow(std::string_view file, std::string_view sheet, std::string_view cell, std::string_view before,
                std::string_view after, QString *error);
    // The other parts of the workbook; once, after the last row.
    bool finish(QString *error);

private:
    bool startSheet(QString *error);
    bool endSheet(QString *error);
    bool flushRows(QString *error);
    int shared(std::string_view text);
    // An inline-string cell; reference: the cell's name, given when the cell
    // before it in the row was left out (an empty text).
    void appendInlineCell(std::string_view text, const char *reference = nullptr, const char *style = nullptr);

    ZipStreamWriter m_zip;
    QString m_sheetName;
    QStringList m_headers;
    QStringList m_sheetNames;
    qint64 m_sheetRows = 0; // data rows in the current sheet
    std::string m_rows; // XML not yet handed to the archive
    QHash<QByteArray, int> m_shared;
    std::string m_sharedXml; // the table's items, in order
    qint64 m_sharedUses = 0;
    // The last file's and sheet's names and their indexes in the table.
    std::string m_lastFile, m_lastSheet;
    int m_lastFileIndex = -1, m_lastSheetIndex = -1;
};

// Appends text to out as XML character data, in the form Excel writes a
// cell's text: &, < and > escaped, a carriage return as a character
// reference (an XML reader would make it a line feed), other control
// characters (not allowed in XML) escaped as _xHHHH_, and the underscore
// of a text that could read as such an escape ("_x0041_") as _x005F_.
void appendCellXmlText(std::string *out, std::string_view text);
