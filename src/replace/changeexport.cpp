#include "changeexport.h"

#include "atomicsave.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonArray>

#include <xlsxwriter.h>

namespace {

// Rows of a sheet after the header: Excel's grid has 1,048,576 rows, so a
// longer record goes on into further sheets.
constexpr qint64 RowsPerSheet = 1048575;
// Rows read from the record at a time.
constexpr qint64 ReadBatch = 4096;

} // namespace

ChangeExport::~ChangeExport() = default;

std::unique_ptr<ChangeExport> ChangeExport::begin(const QString &path, QString *error)
{
    std::unique_ptr<ChangeExport> out(new ChangeExport);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("csv")) {
        out->m_format = Csv;
    } else if (suffix == QLatin1String("xlsx")) {
        out->m_format = Xlsx;
    } else {
        *error = QStringLiteral("%1: a record of changes is written as .xlsx or .csv").arg(path);
        return nullptr;
    }
    if (QFileInfo(path).isDir()) {
        *error = QStringLiteral("%1 is a folder").arg(path);
        return nullptr;
    }
    out->m_save = std::make_unique<Excel::AtomicSave>();
    QString why;
    if (!out->m_save->begin(path, nullptr, &why)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, why);
        return nullptr;
    }
    return out;
}

bool ChangeExport::write(const ChangeRecord &record, QString *error, const ChangeLabels &labels)
{
    if (!m_save) {
        *error = QStringLiteral("the record of changes was written already");
        return false;
    }
    const bool ok = m_format == Csv ? writeCsv(record, labels, error) : writeXlsx(record, labels, error);
    const bool committed = ok && m_save->commit(error);
    m_save.reset(); // without a commit, its temporary file goes
    return committed;
}

QString csvField(const QString &text)
{
    bool quote = false;
    for (const QChar c : text) {
        if (c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            quote = true;
            break;
        }
    }
    if (!quote)
        return text;
    QString out = text;
    out.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

bool ChangeExport::writeCsv(const ChangeRecord &record, const ChangeLabels &labels, QString *error)
{
    QByteArray out("\xEF\xBB\xBF");
    const auto line = [&](const QStringList &fields) {
        QString text;
        for (int i = 0; i < fields.size(); ++i) {
            if (i)
                text += QLatin1Char(',');
            text += csvField(fields[i]);
        }
        out += text.toUtf8();
        out += "\r\n";
    };
    line(labels.headers);
    bool written = true;
    const bool read = record.read(0, record.rowCount(), [&](qint64, const ChangeRow &r) {
        line({record.filePath(r.file), r.sheet, r.cell(), r.before, r.after});
        if (out.size() >= (1 << 20)) {
            written = Excel::writeAll(m_save->fd(), out, error);
            out.clear();
        }
        return written;
    }, error);
    return read && written && Excel::writeAll(m_save->fd(), out, error);
}

bool ChangeExport::writeXlsx(const ChangeRecord &record, const ChangeLabels &labels, QString *error)
{
    // Rows are written in order and leave memory at once: a record of a
    // million rows needs no more than one of a few.
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    const QByteArray native = QFile::encodeName(m_save->tempPath());
    lxw_workbook *book = workbook_new_opt(native.constData(), &options);
    if (!book) {
        *error = QStringLiteral("cannot start the workbook");
        return false;
    }
    lxw_format *bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_worksheet *sheet = nullptr;
    qint64 sheetRows = 0;
    int sheets = 0;
    const auto fail = [&](const QString &why) {
        *error = why;
        return false;
    };
    const auto cell = [&](lxw_row_t row, lxw_col_t column, const QString &text, lxw_format *format) {
        const QByteArray utf8 = text.toUtf8();
        const lxw_error e = worksheet_write_string(sheet, row, column, utf8.constData(), format);
        return e == LXW_NO_ERROR || fail(QStringLiteral("cannot write a cell: %1").arg(QString::fromUtf8(lxw_strerror(e))));
    };
    const auto finishSheet = [&] {
        if (sheet)
            worksheet_autofilter(sheet, 0, 0, lxw_row_t(sheetRows), lxw_col_t(labels.headers.size() - 1));
    };
    const auto startSheet = [&] {
        finishSheet();
        ++sheets;
        const QString name = sheets == 1 ? labels.sheet : QStringLiteral("%1 (%2)").arg(labels.sheet).arg(sheets);
        const QByteArray utf8 = name.toUtf8();
        sheet = workbook_add_worksheet(book, utf8.constData());
        if (!sheet)
            return fail(QStringLiteral("cannot add the sheet %1").arg(name));
        const double widths[] = {60, 16, 10, 40, 40};
        for (int c = 0; c < 5; ++c)
            worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), widths[c], nullptr);
        worksheet_freeze_panes(sheet, 1, 0);
        sheetRows = 0;
        for (int c = 0; c < labels.headers.size(); ++c)
            if (!cell(0, lxw_col_t(c), labels.headers[c], bold))
                return false;
        return true;
    };
    bool ok = startSheet();
    for (qint64 first = 0; ok && first < record.rowCount(); first += ReadBatch) {
        ok = record.read(first, ReadBatch, [&](qint64, const ChangeRow &r) {
            if (sheetRows == RowsPerSheet && !startSheet())
                return ok = false;
            const lxw_row_t row = lxw_row_t(++sheetRows);
            ok = cell(row, 0, record.filePath(r.file), nullptr) && cell(row, 1, r.sheet, nullptr)
                 && cell(row, 2, r.cell(), nullptr) && cell(row, 3, r.before, nullptr)
                 && cell(row, 4, r.after, nullptr);
            return ok;
        }, error) && ok;
    }
    finishSheet();
    const lxw_error e = workbook_close(book);
    if (ok && e != LXW_NO_ERROR)
        ok = fail(QStringLiteral("cannot write the workbook: %1").arg(QString::fromUtf8(lxw_strerror(e))));
    return ok && m_save->reopen(error);
}

QByteArray changeJsonLine(const QString &file, const ChangeRow &row)
{
    // By hand, so that the keys keep the order of the columns.
    const auto string = [](const QString &text) {
        const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
        return array.mid(1, array.size() - 2); // without the brackets
    };
    return "{\"file\":" + string(file) + ",\"sheet\":" + string(row.sheet) + ",\"cell\":" + string(row.cell())
           + ",\"before\":" + string(row.before) + ",\"after\":" + string(row.after) + '}';
}
