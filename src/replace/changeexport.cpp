#include "changeexport.h"

#include "atomicsave.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

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
        *error = QCoreApplication::translate("Run", "%1: a record of changes is written as .xlsx or .csv").arg(path);
        return nullptr;
    }
    if (QFileInfo(path).isDir()) {
        *error = QCoreApplication::translate("Run", "%1 is a folder").arg(path);
        return nullptr;
    }
    out->m_save = std::make_unique<Excel::AtomicSave>();
    QString why;
    if (!out->m_save->begin(path, nullptr, &why)) {
        *error = QCoreApplication::translate("Run", "cannot write %1: %2").arg(path, why);
        return nullptr;
    }
    return out;
}

bool ChangeExport::write(const ChangeRecord &record, QString *error, const ChangeLabels &labels)
{
    if (!m_save) {
        *error = QCoreApplication::translate("Run", "the record of changes was written already");
        return false;
    }
    const bool ok = m_format == Csv ? writeCsv(record, labels, error) : writeXlsx(record, labels, error);
    const bool committed = ok && m_save->commit(error);
    m_save.reset(); // without a commit, its temporary file goes
    return committed;
}

namespace {

// A field as RFC 4180 writes it: quoted, with its quotes doubled, when it
// holds a comma, a quote or a line break.
void appendCsv(QByteArray *out, std::string_view field)
{
    bool plain = true;
    for (const char c : field) {
        if (c == ',' || c == '"' || c == '\n' || c == '\r') {
            plain = false;
            break;
        }
    }
    if (plain) {
        out->append(field.data(), int(field.size()));
        return;
    }
    out->append('"');
    for (size_t at = 0;;) {
        const size_t quote = field.find('"', at);
        out->append(field.data() + at, int((quote == std::string_view::npos ? field.size() : quote) - at));
        if (quote == std::string_view::npos)
            break;
        out->append("\"\"", 2);
        at = quote + 1;
    }
    out->append('"');
}

std::string_view view(const QByteArray &bytes)
{
    return std::string_view(bytes.constData(), size_t(bytes.size()));
}

void appendJsonString(QByteArray *out, std::string_view text)
{
    static const char hex[] = "0123456789abcdef";
    out->append('"');
    for (const char ch : text) {
        const uchar c = uchar(ch);
        if (c == '"' || c == '\\') {
            out->append('\\');
            out->append(ch);
        } else if (c < 0x20) {
            const char escape[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            out->append(escape, 6);
        } else {
            out->append(ch);
        }
    }
    out->append('"');
}

} // namespace

bool ChangeExport::writeCsv(const ChangeRecord &record, const ChangeLabels &labels, QString *error)
{
    QByteArray out("\xEF\xBB\xBF");
    for (int i = 0; i < labels.headers.size(); ++i) {
        if (i)
            out += ',';
        appendCsv(&out, view(labels.headers[i].toUtf8()));
    }
    out += "\r\n";
    int file = -1;
    QByteArray path;
    bool written = true;
    char cell[16];
    const bool read = record.readRaw(0, record.rowCount(), [&](qint64, const RawChangeRow &r) {
        if (r.file != file) {
            file = r.file;
            path = record.filePath(file).toUtf8();
        }
        appendCsv(&out, view(path));
        out += ',';
        appendCsv(&out, r.sheet);
        out += ',';
        out.append(cell, r.cell(cell));
        out += ',';
        appendCsv(&out, r.before);
        out += ',';
        appendCsv(&out, r.after);
        out += "\r\n";
        if (out.size() >= (1 << 20)) {
            written = Excel::writeAll(m_save->fd(), out, error);
            out.resize(0);
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
        *error = QCoreApplication::translate("Run", "cannot start the workbook");
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
    std::string text; // the library wants its strings ended by NUL
    const auto cell = [&](lxw_row_t row, lxw_col_t column, std::string_view value, lxw_format *format) {
        text.assign(value.data(), value.size());
        const lxw_error e = worksheet_write_string(sheet, row, column, text.c_str(), format);
        return e == LXW_NO_ERROR || fail(QCoreApplication::translate("Run", "cannot write a cell: %1").arg(QString::fromUtf8(lxw_strerror(e))));
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
            return fail(QCoreApplication::translate("Run", "cannot add the sheet %1").arg(name));
        const double widths[] = {60, 16, 10, 40, 40};
        for (int c = 0; c < 5; ++c)
            worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), widths[c], nullptr);
        worksheet_freeze_panes(sheet, 1, 0);
        sheetRows = 0;
        for (int c = 0; c < labels.headers.size(); ++c)
            if (!cell(0, lxw_col_t(c), view(labels.headers[c].toUtf8()), bold))
                return false;
        return true;
    };
    bool ok = startSheet();
    int file = -1;
    QByteArray path;
    char name[16];
    for (qint64 first = 0; ok && first < record.rowCount(); first += ReadBatch) {
        ok = record.readRaw(first, ReadBatch, [&](qint64, const RawChangeRow &r) {
            if (sheetRows == RowsPerSheet && !startSheet())
                return ok = false;
            if (r.file != file) {
                file = r.file;
                path = record.filePath(file).toUtf8();
            }
            const lxw_row_t row = lxw_row_t(++sheetRows);
            ok = cell(row, 0, view(path), nullptr) && cell(row, 1, r.sheet, nullptr)
                 && cell(row, 2, std::string_view(name, size_t(r.cell(name))), nullptr)
                 && cell(row, 3, r.before, nullptr) && cell(row, 4, r.after, nullptr);
            return ok;
        }, error) && ok;
    }
    finishSheet();
    const lxw_error e = workbook_close(book);
    if (ok && e != LXW_NO_ERROR)
        ok = fail(QCoreApplication::translate("Run", "cannot write the workbook: %1").arg(QString::fromUtf8(lxw_strerror(e))));
    return ok && m_save->reopen(error);
}

QByteArray changeJsonLine(const QByteArray &file, const RawChangeRow &row)
{
    QByteArray out;
    out.reserve(int(file.size() + row.sheet.size() + row.before.size() + row.after.size()) + 64);
    out += "{\"file\":";
    appendJsonString(&out, view(file));
    out += ",\"sheet\":";
    appendJsonString(&out, row.sheet);
    char cell[16];
    out += ",\"cell\":\"";
    out.append(cell, row.cell(cell));
    out += "\",\"before\":";
    appendJsonString(&out, row.before);
    out += ",\"after\":";
    appendJsonString(&out, row.after);
    out += '}';
    return out;
}
