#include "changerecord.h"

#include "cellrules/celladdress.h"
#include "systemerror.h"
#include "utf8text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A row in the file: row, column and the byte lengths of sheet, before and
// after (little-endian 32-bit each), then the three texts in UTF-8.
constexpr int RowHeader = 20;
// Rows are written out in pieces of about this size.
constexpr int PieceSize = 1 << 20;
// A writer's first room for rows.
constexpr int FirstRoom = 16 << 10;

QString systemError()
{
    return Excel::systemErrorText(errno);
}

bool decodeRow(const char *p, qint64 size, RawChangeRow *row)
{
    if (size < RowHeader)
        return false;
    const quint32 sheet = qFromLittleEndian<quint32>(p + 8);
    const quint32 before = qFromLittleEndian<quint32>(p + 12);
    const quint32 after = qFromLittleEndian<quint32>(p + 16);
    if (qint64(RowHeader) + sheet + before + after > size)
        return false;
    row->row = int(qFromLittleEndian<quint32>(p));
    row->column = int(qFromLittleEndian<quint32>(p + 4));
    const char *t = p + RowHeader;
    row->sheet = std::string_view(t, sheet);
    row->before = std::string_view(t + sheet, before);
    row->after = std::string_view(t + sheet + before, after);
    return true;
}

QString fromView(std::string_view s)
{
    return Excel::utf8Decode(s.data(), int(s.size()));
}

} // namespace

QString ChangeRow::cell() const
{
    return Excel::cellName(row, column);
}

int RawChangeRow::cell(char *buffer) const
{
    char letters[8];
    int n = 0;
    for (int c = column; c > 0 && n < 8; c = (c - 1) / 26)
        letters[n++] = char('A' + (c - 1) % 26);
    int at = 0;
    while (n > 0)
        buffer[at++] = letters[--n];
    char digits[12];
    int d = 0;
    for (unsigned r = unsigned(row); d == 0 || r > 0; r /= 10)
        digits[d++] = char('0' + r % 10);
    while (d > 0)
        buffer[at++] = digits[--d];
    return at;
}

ChangeRecord::ChangeRecord() = default;

ChangeRecord::~ChangeRecord()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ChangeRecord::open(QString *error, const QString &folder)
{
    const QByteArray dir = QFile::encodeName(folder.isEmpty() ? QDir::tempPath() : folder);
    // An unnamed file goes when the record does, even when the process is
    // killed; where the file system cannot make one, a named one that is
    // removed at once stands in.
    m_fd = ::open(dir.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        QByteArray temp = dir + "/.~korrin.changes.XXXXXX";
        m_fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (m_fd >= 0)
            ::unlink(temp.constData());
    }
    if (m_fd < 0) {
        *error = QCoreApplication::translate("Run", "cannot create a temporary file for the record of changes in %1: %2")
                     .arg(QFile::decodeName(dir), systemError());
        return false;
    }
    return true;
}

std::unique_ptr<ChangeRecord::Writer> ChangeRecord::writer()
{
    return std::unique_ptr<Writer>(new Writer(this));
}

namespace {

// UTF-16 to UTF-8 at the end of out, without a buffer of its own.
void appendUtf8(QByteArray *out, const QString &text)
{
    const int from = out->size();
    out->resize(from + Excel::utf8Room(text.size()));
    char *end = Excel::utf8Encode(text.constData(), text.size(), out->data() + from);
    out->resize(int(end - out->constData()));
}

} // namespace

void ChangeRecord::Writer::setSheet(const QString &sheet)
{
    // Rows of one sheet come together: its name is encoded once.
    if (sheet.constData() != m_sheet.constData() && sheet != m_sheet) {
        m_sheet = sheet;
        m_sheetUtf8 = sheet.toUtf8();
    }
}

int ChangeRecord::Writer::beginRow()
{
    // The buffer grows as rows come: most files change a few cells, and
    // room asked for at once would be fresh memory for each of them.
    if (m_buffer.capacity() < FirstRoom)
        m_buffer.reserve(FirstRoom);
    const int at = m_buffer.size();
    m_starts.push_back(quint32(at));
    m_buffer.resize(at + RowHeader);
    m_buffer += m_sheetUtf8;
    return at;
}

bool ChangeRecord::Writer::endRow(int at, int row, int column, int afterAt, QString *error)
{
    char *header = m_buffer.data() + at;
    qToLittleEndian(quint32(row), header);
    qToLittleEndian(quint32(column), header + 4);
    qToLittleEndian(quint32(m_sheetUtf8.size()), header + 8);
    qToLittleEndian(quint32(afterAt - at - RowHeader - m_sheetUtf8.size()), header + 12);
    qToLittleEndian(quint32(m_buffer.size() - afterAt), header + 16);
    ++m_rows;
    return m_buffer.size() < PieceSize || flush(error);
}

bool ChangeRecord::Writer::cellChanged(const QString &sheet, int row, int column, const QString &before,
                                       const QString &after, QString *error)
{
    setSheet(sheet);
    const int at = beginRow();
    appendUtf8(&m_buffer, before);
    const int afterAt = m_buffer.size();
    appendUtf8(&m_buffer, after);
    return endRow(at, row, column, afterAt, error);
}

bool ChangeRecord::Writer::cellChangedUtf8(const QString &sheet, int row, int column, std::string_view before,
                                           std::string_view after, QString *error)
{
    setSheet(sheet);
    const int at = beginRow();
    m_buffer.append(before.data(), int(before.size()));
    const int afterAt = m_buffer.size();
    m_buffer.append(after.data(), int(after.size()));
    return endRow(at, row, column, afterAt, error);
}

bool ChangeRecord::Writer::finish(QString *error)
{
    return m_buffer.isEmpty() || flush(error);
}

bool ChangeRecord::Writer::flush(QString *error)
{
    Chunk chunk;
    chunk.size = quint32(m_buffer.size());
    chunk.offset = m_record->reserve(chunk.size);
    chunk.firstRow = m_rows - qint64(m_starts.size());
    if (!m_record->writeAt(chunk.offset, m_buffer, error))
        return false;
    chunk.rowStarts = std::move(m_starts);
    m_starts.clear();
    m_buffer.resize(0); // its room stays for the next piece
    m_chunks.push_back(std::move(chunk));
    return true;
}

qint64 ChangeRecord::reserve(qint64 size)
{
    QMutexLocker locker(&m_mutex);
    const qint64 at = m_end;
    m_end += size;
    return at;
}

bool ChangeRecord::writeAt(qint64 offset, const QByteArray &data, QString *error)
{
    for (qint64 done = 0; done < data.size();) {
        const ssize_t n = ::pwrite(m_fd, data.constData() + done, size_t(data.size() - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = QCoreApplication::translate("Run", "cannot write the record of changes: %1").arg(systemError());
            return false;
        }
        done += n;
    }
    return true;
}

void ChangeRecord::keep(int file, const QString &path, std::unique_ptr<Writer> writer)
{
    if (!writer || writer->rows() == 0 || m_files.count(file))
        return;
    Segment &s = m_files[file];
    s.path = path;
    s.rows = writer->rows();
    s.chunks = std::move(writer->m_chunks);
    m_rowCount += s.rows;
    m_firstRowsStale = true;
}

qint64 ChangeRecord::rowCount(int file) const
{
    const auto it = m_files.find(file);
    return it == m_files.end() ? 0 : it->second.rows;
}

QString ChangeRecord::filePath(int file) const
{
    const auto it = m_files.find(file);
    return it == m_files.end() ? QString() : it->second.path;
}

void ChangeRecord::refreshFirstRows() const
{
    if (!m_firstRowsStale)
        return;
    m_firstRows.clear();
    qint64 at = 0;
    for (const auto &f : m_files) {
        m_firstRows.emplace_back(at, f.first);
        at += f.second.rows;
    }
    m_firstRowsStale = false;
}

qint64 ChangeRecord::firstRow(int file) const
{
    refreshFirstRows();
    // Files come in their order, so their first rows do too.
    const auto it = std::lower_bound(m_firstRows.begin(), m_firstRows.end(), file,
                                     [](const std::pair<qint64, int> &f, int k) { return f.second < k; });
    return it != m_firstRows.end() && it->second == file ? it->first : -1;
}

bool ChangeRecord::locate(qint64 index, std::map<int, Segment>::const_iterator *segment, qint64 *within) const
{
    if (index < 0 || index >= m_rowCount)
        return false;
    refreshFirstRows();
    const auto it = std::upper_bound(m_firstRows.begin(), m_firstRows.end(), std::make_pair(index, INT_MAX)) - 1;
    *segment = m_files.find(it->second);
    *within = index - it->first;
    return true;
}

bool ChangeRecord::row(qint64 index, ChangeRow *row, QString *error) const
{
    bool found = false;
    const bool ok = read(index, 1, [&](qint64, const ChangeRow &r) {
        *row = r;
        found = true;
        return true;
    }, error);
    if (ok && !found)
        *error = QCoreApplication::translate("Run", "no row %1 in the record of changes").arg(index);
    return ok && found;
}

bool ChangeRecord::read(qint64 first, qint64 count,
                        const std::function<bool(qint64 index, const ChangeRow &row)> &visit, QString *error) const
{
    ChangeRow row;
    return readRaw(first, count, [&](qint64 index, const RawChangeRow &raw) {
        row.file = raw.file;
        row.row = raw.row;
        row.column = raw.column;
        row.sheet = fromView(raw.sheet);
        row.before = fromView(raw.before);
        row.after = fromView(raw.after);
        return visit(index, row);
    }, error);
}

bool ChangeRecord::readRaw(qint64 first, qint64 count,
                           const std::function<bool(qint64 index, const RawChangeRow &row)> &visit,
                           QString *error) const
{
    std::map<int, Segment>::const_iterator segment;
    qint64 within;
    if (count <= 0 || !locate(first, &segment, &within))
        return true;
    qint64 index = first;
    const qint64 end = std::min(m_rowCount, first + count);
    QByteArray buffer;
    RawChangeRow row;
    for (; segment != m_files.end() && index < end; ++segment, within = 0) {
        const std::vector<Chunk> &chunks = segment->second.chunks;
        auto chunk = std::upper_bound(chunks.begin(), chunks.end(), within,
                                      [](qint64 w, const Chunk &c) { return w < c.firstRow; }) - 1;
        row.file = segment->first;
        for (; chunk != chunks.end() && index < end; ++chunk) {
            const qint64 from = within - chunk->firstRow;
            const qint64 to = std::min<qint64>(qint64(chunk->rowStarts.size()), from + (end - index));
            // Only the bytes of the rows asked for.
            const quint32 begin = chunk->rowStarts[size_t(from)];
            const quint32 stop = to < qint64(chunk->rowStarts.size()) ? chunk->rowStarts[size_t(to)] : chunk->size;
            buffer.resize(int(stop - begin));
            for (qint64 done = 0; done < buffer.size();) {
                const ssize_t n = ::pread(m_fd, buffer.data() + done, size_t(buffer.size() - done),
                                          off_t(chunk->offset + begin + done));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    *error = QCoreApplication::translate("Run", "cannot read the record of changes: %1")
                                 .arg(n == 0 ? QCoreApplication::translate("Run", "it is shorter than written") : systemError());
                    return false;
                }
                done += n;
            }
            for (qint64 k = from; k < to; ++k, ++index, ++within) {
                const quint32 at = chunk->rowStarts[size_t(k)] - begin;
                const quint32 next = k + 1 < qint64(chunk->rowStarts.size()) ? chunk->rowStarts[size_t(k + 1)] - begin
                                                                             : chunk->size - begin;
                if (!decodeRow(buffer.constData() + at, next - at, &row)) {
                    *error = QCoreApplication::translate("Run", "the record of changes is damaged at row %1").arg(index);
                    return false;
                }
                if (!visit(index, row))
                    return true;
            }
        }
    }
    return true;
}
