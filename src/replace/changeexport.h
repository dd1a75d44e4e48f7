#pragma once

// A record of changes (changerecord.h) written out as a file: an .xlsx
// workbook (one sheet, a header row, frozen, with an autofilter) or a .csv
// file (UTF-8 with a byte-order mark, so that Excel and WPS read Chinese
// text right; RFC 4180 quoting, CRLF line ends), chosen by the extension;
// or one JSON object per row, for a script.

#include "changerecord.h"

#include <QStringList>

#include <memory>

namespace Excel {
class AtomicSave;
}

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

    // Writes every row of the record and puts the file in place (an existing
    // one is replaced atomically); once. False with the reason, the file at
    // path then as it was.
    bool write(const ChangeRecord &record, QString *error, const ChangeLabels &labels = ChangeLabels());

private:
    ChangeExport() = default;
    bool writeCsv(const ChangeRecord &record, const ChangeLabels &labels, QString *error);
    bool writeXlsx(const ChangeRecord &record, const ChangeLabels &labels, QString *error);

    Format m_format = Csv;
    std::unique_ptr<Excel::AtomicSave> m_save;
};

// A row as one JSON object, without a line break: file (in UTF-8), sheet,
// cell, before, after.
QByteArray changeJsonLine(const QByteArray &file, const RawChangeRow &row);
