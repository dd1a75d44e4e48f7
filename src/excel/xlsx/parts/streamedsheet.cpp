#include "xlsx/parts/streamedsheet.h"

#include "xlsx/zip/zipentryreader.h"

#include "cellchanges.h"

#include <QCoreApplication>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace Excel {
namespace Xlsx {

namespace {

// The head and the tail of a part are held whole; beyond this size a part
// is not worked on in windows.
constexpr int MaxHeadOrTail = 16 << 20;
// A window that cannot be cut after a row by this size is not cut at all.
constexpr int MaxWindow = 64 << 20;
// Bytes held in memory come in pieces this small, to meet every edge.
constexpr int HeldPiece = 61;

bool isNameByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
        || c == '.' || (static_cast<unsigned char>(c) >= 0x80);
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether c follows a '<' somewhere in the bytes (memchr for the rarer of
// the two).
bool follows(const char *data, size_t size, char c)
{
    for (const char *p = data, *end = data + size; p < end;) {
        const char *hit = static_cast<const char *>(std::memchr(p, c, size_t(end - p)));
        if (!hit)
            return false;
        if (hit > data && hit[-1] == '<')
            return true;
        p = hit + 1;
    }
    return false;
}

// Comments, CDATA sections, processing instructions and declarations may
// hold markup-like text; a window with any of them is not cut blindly.
bool holdsHiddenText(const char *data, size_t size)
{
    return follows(data, size, '!') || follows(data, size, '?');
}

// The end of the sheetData start tag in head (just past its '>'), with the
// element's prefix ("x:" or empty) and the root element's qualified name;
// 0 while the tag is not complete, -1 when the bytes are not of the form
// worked on in windows.
qint64 findSheetDataStart(const QByteArray &head, QByteArray *prefix, QByteArray *root)
{
    const char *data = head.constData();
    const qint64 size = head.size();
    // The XML declaration, then nothing hidden before the rows.
    qint64 from = 0;
    if (head.startsWith("<?xml")) {
        const qint64 end = head.indexOf("?>");
        if (end < 0)
            return size > MaxHeadOrTail ? -1 : 0;
        from = end + 2;
    }
    for (qint64 at = head.indexOf("sheetData", int(from)); at >= 0; at = head.indexOf("sheetData", int(at + 1))) {
        qint64 lt = at - 1;
        if (lt < from)
            continue;
        if (data[lt] == ':') {
            qint64 p = lt - 1;
            while (p >= from && isNameByte(data[p]))
                --p;
            if (p < from || data[p] != '<' || p == lt - 1)
                continue;
            lt = p;
        } else if (data[lt] != '<') {
            continue;
        }
        const qint64 nameEnd = at + 9;
        if (nameEnd >= size)
            return 0;
        if (!isSpace(data[nameEnd]) && data[nameEnd] != '>' && data[nameEnd] != '/')
            continue;
        if (holdsHiddenText(data + from, size_t(lt - from)))
            return -1;
        // The end of the start tag; attribute values may hold '>'.
        char quote = 0;
        for (qint64 p = nameEnd; p < size; ++p) {
            const char c = data[p];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                if (data[p - 1] == '/')
                    return -1; // no rows at all
                *prefix = head.mid(int(lt + 1), int(at - lt - 1));
                // The root: the first element of the part.
                qint64 r = from;
                while (r < lt && data[r] != '<')
                    ++r;
                qint64 e = r + 1;
                while (e < lt && !isSpace(data[e]) && data[e] != '>' && data[e] != '/')
                    ++e;
                if (r >= lt || e == r + 1)
                    return -1;
                *root = head.mid(int(r + 1), int(e - r - 1));
                return p + 1;
            }
        }
        return size > MaxHeadOrTail ? -1 : 0;
    }
    return size > MaxHeadOrTail ? -1 : 0;
}

// The counts a window's edits add to the book.
struct Counts
{
    quint64 edits, changedCells, byteEdited;
    int referenceDelta;

    static Counts of(const BookContext &book)
    {
        return {book.edits, book.changedCells, book.byteEdited,
                book.sharedStrings ? book.sharedStrings->referenceDelta() : 0};
    }
    // The book as at `base`, plus what happened between `from` and now.
    static void keepOnly(BookContext *book, const Counts &base, const Counts &from)
    {
        const Counts now = of(*book);
        book->edits = base.edits + (now.edits - from.edits);
        book->changedCells = base.changedCells + (now.changedCells - from.changedCells);
        book->byteEdited = base.byteEdited + (now.byteEdited - from.byteEdited);
        if (book->sharedStrings)
            book->sharedStrings->setReferenceDelta(base.referenceDelta + (now.referenceDelta - from.referenceDelta));
    }
};

class BufferSink : public ByteSink
{
public:
    bool write(const char *data, size_t length) override
    {
        bytes.append(data, int(length));
        return true;
    }
    QByteArray bytes;
};

// The part's pieces inflated on a thread of their own, a few ahead of the
// one being worked on, so that a pass uses a second core.
class ReadAhead
{
public:
    ReadAhead(const ZipArchive &archive, int entry) : m_reader(archive, entry)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~ReadAhead()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    // The next piece in *piece; empty once the entry is complete and checked.
    bool next(QByteArray *piece, QString *error)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_pieces.empty(); });
        Piece p = std::move(m_pieces.front());
        m_pieces.pop_front();
        lock.unlock();
        m_changed.notify_all();
        if (!p.ok) {
            *error = p.error;
            return false;
        }
        *piece = std::move(p.bytes);
        return true;
    }

private:
    struct Piece
    {
        bool ok;
        QByteArray bytes;
        QString error;
    };
    static constexpr size_t Ahead = 4;

    void run()
    {
        for (;;) {
            Piece p;
            p.ok = m_reader.next(&p.bytes, &p.error);
            const bool last = !p.ok || p.bytes.isEmpty();
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || m_pieces.size() < Ahead; });
            if (m_stop)
                return;
            m_pieces.push_back(std::move(p));
            lock.unlock();
            m_changed.notify_all();
            if (last)
                return;
        }
    }

    ZipEntryReader m_reader;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Piece> m_pieces;
    bool m_stop = false;
    std::thread m_thread;
};

const QVector<CellArea> &everyCell()
{
    static const QVector<CellArea> areas{CellArea{1, 1, OoxmlGrid.rows, OoxmlGrid.columns}};
    return areas;
}

} // namespace

StreamedSheet::StreamedSheet(BookContext *book, const QString &partName, size_t windowBytes)
    : m_book(book)
    , m_partName(partName)
    , m_windowBytes(windowBytes)
{
}

bool StreamedSheet::redo(WorksheetPart &window, size_t replaced, QString *error) const
{
    for (size_t k = 0; k < replaced; ++k) {
        bool changed = false;
        if (!window.replace(everyCell(), m_replaces[k].pattern, m_replaces[k].replacement, &changed, error,
                            &m_results[k]))
            return false;
    }
    return true;
}

QByteArray StreamedSheet::miniPart(const char *rows, size_t size) const
{
    QByteArray mini;
    mini.reserve(int(size_t(m_head.size()) + size + size_t(m_closing.size())));
    mini.append(m_head).append(rows, int(size)).append(m_closing);
    return mini;
}

bool StreamedSheet::cutWindows(const RawWork &each, bool *stopped, QByteArray *tail, QString *error) const
{
    *stopped = false;
    const auto refuse = [&](const QString &why) {
        *error = partError(m_partName, why);
        return false;
    };
    std::unique_ptr<ReadAhead> reader;
    int held = 0;
    if (m_held.isNull()) {
        const int entry = m_book->package->entryOf(m_partName);
        if (entry < 0)
            return refuse(QCoreApplication::translate("Xlsx", "the package has no such part"));
        reader = std::make_unique<ReadAhead>(m_book->package->zip(), entry);
    }
    const auto next = [&](QByteArray *piece) {
        if (reader)
            return reader->next(piece, error);
        *piece = m_held.mid(held, HeldPiece);
        held += piece->size();
        return true;
    };

    QByteArray pending, prefix, root, rowEnd, dataEnd;
    enum { Head, Rows, Tail } phase = Head;
    qint64 searched = 0; // of pending, where the sheetData end tag is not
    // Hands on the first `size` bytes of pending; false to stop.
    const auto window = [&](int size, bool *ok) {
        const Next next = each(pending.constData(), size_t(size), error);
        *ok = next != Next::Fail;
        *stopped = next == Next::Stop;
        return next == Next::Go;
    };
    for (bool atEnd = false; !atEnd;) {
        QByteArray piece;
        if (!next(&piece))
            return false;
        atEnd = piece.isEmpty();
        if (pending.isEmpty())
            pending = std::move(piece);
        else
            pending.append(piece);
        if (phase == Head) {
            const qint64 end = findSheetDataStart(pending, &prefix, &root);
            if (end < 0 || (end == 0 && atEnd))
                return refuse(QCoreApplication::translate("Xlsx", "no sheet data of the usual form"));
            if (end == 0)
                continue;
            if (m_head.isEmpty())
                m_head = pending.left(int(end));
            else if (m_head.size() != end || std::memcmp(m_head.constData(), pending.constData(), size_t(end)) != 0)
                return refuse(QCoreApplication::translate("Xlsx", "changed since it was read"));
            pending.remove(0, int(end));
            rowEnd = "</" + prefix + "row>";
            dataEnd = "</" + prefix + "sheetData>";
            m_closing = dataEnd + "</" + root + ">";
            phase = Rows;
        }
        while (phase == Rows) {
            const qint64 from = std::max<qint64>(0, searched - dataEnd.size());
            const void *found = memmem(pending.constData() + from, size_t(pending.size() - from), dataEnd.constData(),
                                       size_t(dataEnd.size()));
            const qint64 stop = found ? static_cast<const char *>(found) - pending.constData() : -1;
            searched = pending.size();
            bool ok;
            if (stop >= 0) {
                if (!window(int(stop), &ok))
                    return ok;
                pending.remove(0, int(stop));
                phase = Tail;
                break;
            }
            if (size_t(pending.size()) < m_windowBytes && !atEnd)
                break;
            const qint64 cut = pending.lastIndexOf(rowEnd);
            if (cut < 0 || atEnd) {
                if (atEnd || pending.size() > MaxWindow)
                    return refuse(QCoreApplication::translate("Xlsx", "rows that cannot be cut"));
                break;
            }
            const int size = int(cut + rowEnd.size());
            if (!window(size, &ok))
                return ok;
            pending.remove(0, size);
            searched = pending.size();
            if (size_t(pending.size()) < m_windowBytes)
                break;
        }
        if (phase == Tail && pending.size() > MaxHeadOrTail)
            return refuse(QCoreApplication::translate("Xlsx", "too much after the sheet data"));
    }
    if (phase != Tail)
        return refuse(QCoreApplication::translate("Xlsx", "no end of the sheet data"));
    *tail = std::move(pending);
    return true;
}

bool StreamedSheet::pass(size_t replaced, bool firstPass, const WindowWork &each, QString *error) const
{
    const auto refuse = [&](const QString &why) {
        *error = partError(m_partName, why);
        return false;
    };
    const auto cannot = [&](const QString &why) {
        *error = partError(m_partName, why);
        return Next::Fail;
    };
    quint32 lastRow = 0;
    bool anyRow = false;
    const auto window = [&](const char *rows, size_t size, QString *why) {
        if (holdsHiddenText(rows, size))
            return cannot(QCoreApplication::translate("Xlsx", "rows hold comments or sections"));
        WorksheetPart part(m_book, m_partName);
        part.setWindow(lastRow, firstPass);
        if (!part.parseData(miniPart(rows, size), why))
            return Next::Fail;
        if (part.sheetDataStartTagEnd() != m_head.size() || !part.editsLocally())
            return cannot(QCoreApplication::translate("Xlsx", "cells that are not edited one by one"));
        quint32 first, last;
        if (part.rowSpan(&first, &last)) {
            if (anyRow && first <= lastRow)
                return cannot(QCoreApplication::translate("Xlsx", "rows out of order"));
            lastRow = last;
            anyRow = true;
        }
        const Counts base = Counts::of(*m_book);
        if (!redo(part, replaced, why))
            return Next::Fail;
        const Counts before = Counts::of(*m_book);
        if (!each(part, rows, size, why))
            return Next::Fail;
        Counts::keepOnly(m_book, base, before);
        return Next::Go;
    };
    bool stopped;
    QByteArray tail;
    if (!cutWindows(window, &stopped, &tail, error))
        return false;
    if (firstPass) {
        m_tail = std::move(tail);
        // What follows the rows may protect the sheet, which changes what
        // an edit may do: such a sheet is worked on whole.
        WorksheetPart probe(m_book, m_partName);
        probe.setWindow(0, false);
        if (!probe.parseData(m_head + m_tail, error))
            return false;
        if (probe.isProtected())
            return refuse(QCoreApplication::translate("Xlsx", "the sheet is protected"));
    } else if (tail != m_tail) {
        return refuse(QCoreApplication::translate("Xlsx", "changed since it was read"));
    }
    return true;
}

bool StreamedSheet::mayMatch(const PartPrescan &scan, const char *rootName) const
{
    bool maybe = false;
    const auto window = [&](const char *rows, size_t size, QString *) {
        const QByteArray mini = miniPart(rows, size);
        maybe = holdsHiddenText(rows, size) || !scan.excludes(mini.constData(), size_t(mini.size()), rootName);
        return maybe ? Next::Stop : Next::Go;
    };
    bool stopped;
    QByteArray tail;
    QString error;
    // Whatever cannot be read here is read again, and fails, in the replace.
    return !cutWindows(window, &stopped, &tail, &error) || maybe;
}

bool StreamedSheet::replace(const SearchPattern &pattern, const QString &replacement, bool *changed, QString *error)
{
    *changed = false;
    const size_t k = m_replaces.size();
    m_replaces.push_back({pattern, replacement});
    m_results.emplace_back();
    const quint64 editsBefore = m_book->edits, cellsBefore = m_book->changedCells;
    GatheredMoves moves;
    bool any = false;
    const bool ok = pass(k, k == 0, [&](WorksheetPart &window, const char *, size_t, QString *why) {
        bool windowChanged = false;
        if (!window.replace(everyCell(), pattern, replacement, &windowChanged, why, &m_results[k]))
            return false;
        any |= windowChanged;
        std::vector<SharedMove> windowMoves;
        quint32 others;
        bool othersShared;
        window.sharedMoves(&windowMoves, &others, &othersShared);
        moves.add(windowMoves, others, othersShared);
        return true;
    }, error);
    if (!ok) {
        m_replaces.pop_back();
        m_results.pop_back();
        return false;
    }
    m_moves = std::move(moves);
    m_changed |= m_book->edits != editsBefore;
    m_reported |= m_book->changedCells != cellsBefore;
    *changed = any;
    return true;
}

bool StreamedSheet::write(ByteSink *sink, const SharedStringFold &fold, QString *error) const
{
    const auto cannotWrite = [&] {
        *error = partError(m_partName, QCoreApplication::translate("Xlsx", "cannot write"));
        return false;
    };
    if (!sink->write(m_head))
        return cannotWrite();
    const bool ok = pass(m_replaces.size(), false, [&](WorksheetPart &window, const char *rows, size_t size,
                                                        QString *why) {
        std::vector<SharedMove> windowMoves;
        quint32 others;
        bool othersShared;
        window.sharedMoves(&windowMoves, &others, &othersShared);
        std::vector<quint32> asRead;
        for (const SharedMove &m : windowMoves)
            if (fold.folds(m.from))
                asRead.push_back(m.cell);
        if (!window.isChanged() || (others == 0 && asRead.size() == windowMoves.size()))
            return sink->write(rows, size) || cannotWrite();
        std::sort(asRead.begin(), asRead.end());
        BufferSink out;
        if (!window.write(&out, why, asRead))
            return false;
        // The window's head and closing tags come back as they went in.
        const qint64 body = out.bytes.size() - m_head.size() - m_closing.size();
        if (body < 0 || !out.bytes.startsWith(m_head) || !out.bytes.endsWith(m_closing)) {
            *why = partError(m_partName, QCoreApplication::translate("Xlsx", "a window of rows came back changed"));
            return false;
        }
        return sink->write(out.bytes.constData() + m_head.size(), size_t(body)) || cannotWrite();
    }, error);
    return ok && (sink->write(m_tail) || cannotWrite());
}

bool StreamedSheet::reportChanges(const QString &sheet, CellChangeSink *sink, QString *error) const
{
    return pass(m_replaces.size(), false, [&](WorksheetPart &window, const char *, size_t, QString *why) {
        return !window.hasReportedChanges() || window.reportChanges(sheet, sink, why);
    }, error);
}

} // namespace Xlsx
} // namespace Excel
