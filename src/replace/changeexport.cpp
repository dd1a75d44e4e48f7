#include "changeexport.h"

#include "atomicsave.h"
#include "changeworkbook.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cstring>


namespace {

// CSV is written in blocks of about this size.
constexpr int CsvBlock = 1 << 20;

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

// The same written at out, with room for twice the field and its quotes;
// the end of what it wrote.
char *putCsv(char *out, std::string_view field)
{
    const char *p = field.data();
    const char *end = p + field.size();
    const char *q = p;
    while (q < end && *q != ',' && *q != '"' && *q != '\n' && *q != '\r')
        ++q;
    if (q == end) {
        std::memcpy(out, p, field.size());
        return out + field.size();
    }
    *out++ = '"';
    for (; p < end; ++p) {
        if (*p == '"')
            *out++ = '"';
        *out++ = *p;
    }
    *out++ = '"';
    return out;
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

ChangeExport::ChangeExport() = default;

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
        *error = m_failure.isEmpty() ? QCoreApplication::translate("Run", "the record of changes was written already") : m_failure;
        return false;
    }
    if (!m_started)
        m_labels = labels;
    bool ok = m_failure.isEmpty() || (*error = m_failure, false);
    ok = ok && writeRows(record, record.rowCount(), error);
    if (ok && m_format == Csv)
        ok = flushCsv(error);
    if (ok && m_format == Xlsx)
        ok = m_book->finish(error);
    m_book.reset(); // its compressing threads are done before the file goes
    const bool committed = ok && m_save->commit(error);
    m_save.reset(); // without a commit, its temporary file goes
    return committed;
}

bool ChangeExport::fileReported(const ChangeRecord &record, int file, QString *error)
{
    if (!m_save || !m_failure.isEmpty()) {
        *error = m_failure;
        return m_failure.isEmpty();
    }
    if (file < m_nextFile)
        return true;
    m_reported.insert(file);
    // Rows go in the order of the files: a file's rows wait for the reports
    // of those before it. The rows of a file that has reported are final.
    qint64 end = m_rowsWritten;
    for (auto it = m_reported.begin(); it != m_reported.end() && *it == m_nextFile; it = m_reported.erase(it)) {
        end += record.rowCount(m_nextFile);
        ++m_nextFile;
    }
    if (end == m_rowsWritten || writeRows(record, end, error))
        return true;
    m_failure = *error;
    return false;
}

bool ChangeExport::start(QString *error)
{
    m_started = true;
    if (m_format == Xlsx) {
        m_book = std::make_unique<ChangeWorkbook>(m_save->fd(), m_labels.sheet, m_labels.headers);
        return true;
    }
    m_csv = QByteArray("\xEF\xBB\xBF");
    for (int i = 0; i < m_labels.headers.size(); ++i) {
        if (i)
            m_csv += ',';
        appendCsv(&m_csv, view(m_labels.headers[i].toUtf8()));
    }
    m_csv += "\r\n";
    return flushCsv(error);
}

bool ChangeExport::writeRows(const ChangeRecord &record, qint64 end, QString *error)
{
    if (!m_started && !start(error))
        return false;
    int file = -1;
    QByteArray path;
    char name[16];
    bool written = true;
    const auto visit = [&](qint64, const RawChangeRow &r) {
        if (r.file != file) {
            file = r.file;
            path = record.filePath(file).toUtf8();
        }
        if (m_format == Csv)
            written = writeCsvRow(path, r, error);
        else
            written = m_book->addRow(view(path), r.sheet, std::string_view(name, size_t(r.cell(name))), r.before,
                                     r.after, error);
        return written;
    };
    // One read: the record reads its rows a piece at a time into one buffer.
    const bool read = record.readRaw(m_rowsWritten, end - m_rowsWritten, visit, error);
    if (!read || !written)
        return false;
    m_rowsWritten = end;
    return true;
}

bool ChangeExport::writeCsvRow(const QByteArray &path, const RawChangeRow &r, QString *error)
{
    // Each row goes straight into the block, in room for its worst case
    // (every byte a quote, doubled, and the fields quoted).
    const size_t room = 2 * (size_t(path.size()) + r.sheet.size() + r.before.size() + r.after.size()) + 32;
    const int at = m_csv.size();
    if (size_t(m_csv.capacity() - at) < room)
        m_csv.reserve(int(std::max(size_t(CsvBlock) + (CsvBlock >> 2), at + room)));
    m_csv.resize(int(at + room));
    char *p = m_csv.data() + at;
    p = putCsv(p, view(path));
    *p++ = ',';
    p = putCsv(p, r.sheet);
    *p++ = ',';
    p += r.cell(p);
    *p++ = ',';
    p = putCsv(p, r.before);
    *p++ = ',';
    p = putCsv(p, r.after);
    *p++ = '\r';
    *p++ = '\n';
    m_csv.resize(int(p - m_csv.constData()));
    return m_csv.size() < CsvBlock || flushCsv(error);
}

bool ChangeExport::flushCsv(QString *error)
{
    const bool ok = Excel::writeAll(m_save->fd(), m_csv, error);
    m_csv.resize(0);
    return ok;
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
