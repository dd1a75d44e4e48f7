#pragma once

// A record of changes (changerecord.h) written out as a file: an .xlsx
// workbook (one sheet, a header row, frozen, with an autofilter) or a .csv
// file (UTF-8 with a byte-order mark, so that Excel and WPS read Chinese
// text right; RFC 4180 quoting, CRLF line ends), chosen by the extension;
// or one JSON object per row, for a script. The rows can be written while
// the run goes on, as the reports of its files come in, so that little is
// left to write once the run is over.

#include "changerecord.h"

#include <QStringList>

#include <memory>
#include <set>

namespace Excel {
class AtomicSave;
}
class ChangeWorkbook;

// The words of an export: the sheet's name and the five column headers.
struct ChangeLabels
{
    QString sheet = QStringLiteral("Changes");
    QStringList headers{QStringLiteral("file"), QStringLiteral("sheet"), QStringLiteral("cell"),
                        QStringLiteral("before"), QStringLiteral("after")};
};

class ChangeExport
{
public:
    enum Format { Csv, Xlsx };

    ~ChangeExport();

    // Starts the file at path (its temporary file beside it), so that a path
    // that cannot be written is refused before a run changes anything. None,
    // with the reason, for an extension other than .xlsx or .csv or a path
    // that cannot be written.
    static std::unique_ptr<ChangeExport> begin(const QString &path, QString *error);

    Format format() const { return m_format; }

    // While the run goes on: file (its index in the run) has reported, its
    // rows, if any, kept in record. The rows of every file up to the first
    // one not yet reported are written out. False with the reason when they
    // cannot be; write() then fails with it too.
    bool fileReported(const ChangeRecord &record, int file, QString *error);

    // Writes every row of the record not yet written and puts the file in
    // place (an existing one is replaced atomically); once. labels count
    // when no row was written before. False with the reason, the file at
    // path then as it was.
    bool write(const ChangeRecord &record, QString *error, const ChangeLabels &labels = ChangeLabels());

private:
    ChangeExport();
    bool start(QString *error);
    // The rows [m_rowsWritten, end) of the record.
    bool writeRows(const ChangeRecord &record, qint64 end, QString *error);
    bool writeCsvRow(const QByteArray &path, const RawChangeRow &row, QString *error);
    bool flushCsv(QString *error);

    Format m_format = Csv;
    std::unique_ptr<Excel::AtomicSave> m_save;
    ChangeLabels m_labels;
    bool m_started = false;
    QString m_failure; // why a write during the run failed
    qint64 m_rowsWritten = 0;
    int m_nextFile = 0; // the first file whose rows are not written
    std::set<int> m_reported; // files after it that have reported
    QByteArray m_csv; // not yet written
    std::unique_ptr<ChangeWorkbook> m_book;
};

// A row as one JSON object, without a line break: file (in UTF-8), sheet,
// cell, before, after.
QByteArray changeJsonLine(const QByteArray &file, const RawChangeRow &row);
