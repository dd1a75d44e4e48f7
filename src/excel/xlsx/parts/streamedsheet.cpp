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
    qint64 searched = 0;    // of pending, where the sheetData end tag is not
    qint64 dataEndAt = -1; // where it is, once found
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
            if (dataEndAt < 0) {
                const qint64 from = std::max<qint64>(0, searched - dataEnd.size());
                const void *found = memmem(pending.constData() + from, size_t(pending.size() - from),
                                           dataEnd.constData(), size_t(dataEnd.size()));
                searched = pending.size();
                if (found)
                    dataEndAt = static_cast<const char *>(found) - pending.constData();
            }
            bool ok;
            // A window ends after the first row that reaches its size.
            const qint64 rowsEnd = dataEndAt >= 0 ? dataEndAt : pending.size();
            if (rowsEnd >= qint64(m_windowBytes)) {
                const qint64 from = std::max<qint64>(0, qint64(m_windowBytes) - rowEnd.size());
                const void *hit = memmem(pending.constData() + from, size_t(rowsEnd - from), rowEnd.constData(),
                                         size_t(rowEnd.size()));
                if (hit) {
                    const int size = int(static_cast<const char *>(hit) - pending.constData() + rowEnd.size());
                    if (!window(size, &ok))
                        return ok;
                    pending.remove(0, size);
                    searched -= size;
                    if (dataEndAt >= 0)
                        dataEndAt -= size;
                    continue;
                }
                if (dataEndAt < 0) {
                    if (atEnd || pending.size() > MaxWindow)
                        return refuse(QCoreApplication::translate("Xlsx", "rows that cannot be cut"));
                    break; // the row goes on in the next piece
                }
            }
            if (dataEndAt >= 0) {
                if (!window(int(dataEndAt), &ok))
                    return ok;
                pending.remove(0, int(dataEndAt));
                phase = Tail;
            }
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

bool StreamedSheet::pass(size_t replaced, bool firstPass, const WindowWork &each, QString *error,
                         const std::vector<bool> *parsed) const
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
    size_t index = 0;
    const auto window = [&](const char *rows, size_t size, QString *why) {
        const size_t w = index++;
        if (parsed && (w >= parsed->size() || !(*parsed)[w])) {
            // Nothing to do here: handed on as read.
            lastRow = w < m_lastRows.size() ? m_lastRows[w] : lastRow;
            return each(nullptr, rows, size, why);
        }
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
        if (m_lastRows.size() <= w)
            m_lastRows.resize(w + 1);
        m_lastRows[w] = lastRow;
        const Counts base = Counts::of(*m_book);
        if (!redo(part, replaced, why))
            return Next::Fail;
        const Counts before = Counts::of(*m_book);
        const Next next = each(&part, rows, size, why);
        if (next != Next::Fail)
            Counts::keepOnly(m_book, base, before);
        return next;
    };
    bool stopped;
    QByteArray tail;
    if (!cutWindows(window, &stopped, &tail, error))
        return false;
    if (stopped)
        return true;
    if (firstPass) {
        m_tail = std::move(tail);
        m_tailKnown = true;
        // What follows the rows may protect the sheet, which changes what
        // an edit may do: such a sheet is worked on whole.
        WorksheetPart probe(m_book, m_partName);
        probe.setWindow(0, false);
        if (!probe.parseData(m_head + m_tail, error))
            return false;
        if (probe.isProtected())
            return refuse(QCoreApplication::translate("Xlsx", "the sheet is protected"));
    } else if (m_tailKnown && tail != m_tail) {
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
    m_results.resize(m_replaces.size());
    // Only the answer is wanted here: the windows are searched until one
    // changes, and what that did is undone. The replace itself is done
    // with the others, all in one pass, when its outcome is first needed.
    SharedStrings *table = m_book->sharedStrings;
    const SharedStrings::Mark mark = table ? table->mark() : SharedStrings::Mark();
    const BookContext before = *m_book;
    const bool ok = pass(k, false, [&](WorksheetPart *window, const char *, size_t, QString *why) {
        bool windowChanged = false;
        if (!window->replace(everyCell(), pattern, replacement, &windowChanged, why, &m_results[k]))
            return Next::Fail;
        *changed |= windowChanged;
        return windowChanged ? Next::Stop : Next::Go;
    }, error);
    if (table)
        table->backTo(mark);
    *m_book = before;
    for (size_t j = m_flushed; j < m_results.size(); ++j)
        m_results[j].clear(); // entries made here went again
    if (!ok) {
        m_replaces.pop_back();
        m_results.pop_back();
        return false;
    }
    return true;
}

bool StreamedSheet::flush(QString *error)
{
    const size_t done = m_flushed, count = m_replaces.size();
    if (done == count)
        return true;
    SharedStrings *table = m_book->sharedStrings;
    const size_t firstNew = table ? table->mark().added : 0;
    const quint32 firstEntry = table ? table->sizeAsRead() + quint32(firstNew) : 0;
    const quint64 editsBefore = m_book->edits, cellsBefore = m_book->changedCells;
    // The entries each replace hands out, in the order it meets them.
    std::vector<std::vector<quint32>> produced(count - done);
    std::vector<std::vector<bool>> metBy(count - done); // by replace: the new entries it has handed out
    GatheredMoves moves;
    std::vector<bool> changedWindows, reportedWindows;
    const bool ok = pass(done, done == 0, [&](WorksheetPart *window, const char *, size_t, QString *why) {
        for (size_t k = done; k < count; ++k) {
            bool windowChanged = false;
            std::vector<quint32> &log = produced[k - done];
            const size_t logged = log.size();
            if (table)
                table->setProductionLog(&log);
            const bool replaced = window->replace(everyCell(), m_replaces[k].pattern, m_replaces[k].replacement,
                                                  &windowChanged, why, &m_results[k]);
            if (table) {
                table->setProductionLog(nullptr);
                // Only the first time the replace hands out a new entry counts.
                std::vector<bool> &met = metBy[k - done];
                size_t kept = logged;
                for (size_t i = logged; i < log.size(); ++i) {
                    const quint32 e = log[i];
                    if (e < firstEntry)
                        continue;
                    if (met.size() <= e - firstEntry)
                        met.resize(std::max<size_t>(e - firstEntry + 1, met.size() * 2));
                    if (!met[e - firstEntry]) {
                        met[e - firstEntry] = true;
                        log[kept++] = e;
                    }
                }
                log.resize(kept);
            }
            if (!replaced)
                return Next::Fail;
        }
        std::vector<SharedMove> windowMoves;
        quint32 others;
        bool othersShared;
        window->sharedMoves(&windowMoves, &others, &othersShared);
        moves.add(windowMoves, others, othersShared);
        changedWindows.push_back(window->isChanged());
        reportedWindows.push_back(window->hasReportedChanges());
        return Next::Go;
    }, error);
    if (table)
        table->setProductionLog(nullptr);
    if (!ok)
        return false;
    // The windows met the replaces in turn, window by window; over the
    // whole part each replace meets every cell before the next one starts.
    // The new entries take the numbers that order gives them.
    if (table && table->size() > firstEntry) {
        const quint32 added = table->size() - firstEntry;
        constexpr quint32 None = ~0u;
        std::vector<quint32> number(added, None), order;
        order.reserve(added);
        for (const std::vector<quint32> &entries : produced)
            for (const quint32 e : entries)
                if (e >= firstEntry && number[e - firstEntry] == None) {
                    number[e - firstEntry] = firstEntry + quint32(order.size());
                    order.push_back(e - firstEntry);
                }
        if (order.size() != added) {
            *error = partError(m_partName, QCoreApplication::translate("Xlsx", "a new shared string that no replace made"));
            return false;
        }
        bool moved = false;
        for (quint32 i = 0; i < added; ++i)
            moved |= order[i] != i;
        if (moved) {
            table->reorderAdded(firstNew, order);
            const auto renumbered = [&](qint32 v) {
                return v >= qint32(firstEntry) ? qint32(number[quint32(v) - firstEntry]) : v;
            };
            for (std::vector<qint32> &results : m_results) {
                std::vector<qint32> by(std::max<size_t>(results.size(), table->size()), WorksheetPart::UnseenEntry);
                for (size_t i = 0; i < results.size(); ++i)
                    by[i < firstEntry ? i : number[i - firstEntry]] = renumbered(results[i]);
                results = std::move(by);
            }
            GatheredMoves again = moves;
            again.byEntry.clear();
            for (auto [from, target] : moves.byEntry) {
                if (target.cells != GatheredMoves::Mixed)
                    target.to = quint32(renumbered(qint32(target.to)));
                again.byEntry.emplace(from, target);
            }
            moves = std::move(again);
        }
    }
    m_flushed = count;
    m_changedWindows = std::move(changedWindows);
    m_reportedWindows = std::move(reportedWindows);
    m_moves = std::move(moves);
    m_changed |= m_book->edits != editsBefore;
    m_reported |= m_book->changedCells != cellsBefore;
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
    const bool ok = pass(m_replaces.size(), false, [&](WorksheetPart *window, const char *rows, size_t size,
                                                        QString *why) -> Next {
        if (!window)
            return sink->write(rows, size) || cannotWrite() ? Next::Go : Next::Fail;
        std::vector<SharedMove> windowMoves;
        quint32 others;
        bool othersShared;
        window->sharedMoves(&windowMoves, &others, &othersShared);
        std::vector<quint32> asRead;
        for (const SharedMove &m : windowMoves)
            if (fold.folds(m.from))
                asRead.push_back(m.cell);
        if (!window->isChanged() || (others == 0 && asRead.size() == windowMoves.size()))
            return sink->write(rows, size) || cannotWrite() ? Next::Go : Next::Fail;
        std::sort(asRead.begin(), asRead.end());
        BufferSink out;
        if (!window->write(&out, why, asRead))
            return Next::Fail;
        // The window's head and closing tags come back as they went in.
        const qint64 body = out.bytes.size() - m_head.size() - m_closing.size();
        if (body < 0 || !out.bytes.startsWith(m_head) || !out.bytes.endsWith(m_closing)) {
            *why = partError(m_partName, QCoreApplication::translate("Xlsx", "a window of rows came back changed"));
            return Next::Fail;
        }
        return sink->write(out.bytes.constData() + m_head.size(), size_t(body)) || cannotWrite() ? Next::Go : Next::Fail;
    }, error, &m_changedWindows);
    return ok && (sink->write(m_tail) || cannotWrite());
}

bool StreamedSheet::reportChanges(const QString &sheet, CellChangeSink *sink, QString *error) const
{
    return pass(m_replaces.size(), false, [&](WorksheetPart *window, const char *, size_t, QString *why) {
        return !window || !window->hasReportedChanges() || window->reportChanges(sheet, sink, why) ? Next::Go
                                                                                                  : Next::Fail;
    }, error, &m_reportedWindows);
}

} // namespace Xlsx
} // namespace Excel
