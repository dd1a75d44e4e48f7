#pragma once

// A large worksheet part worked on a window of rows at a time, so that its
// memory does not grow with its size. The part is inflated in pieces and
// cut after whole rows; each window is parsed as a small part of its own
// (the part's head, the window's rows, and closing tags), edited by the
// same code as a whole part, and dropped. What must outlive a window is
// kept compactly: the replaces done so far, what each shared string became
// under each of them, and the cells' moves gathered by entry.
//
// A replace itself only looks for the first cell it changes; the replaces
// are done together in one pass when their outcome is needed, each window
// meeting them in turn, and the new shared strings are then numbered in
// the order that the replaces done one after the other over the whole part
// would give them. A save or a record of changes is one more pass, which
// does the replaces again on each window (their shared strings come from
// the kept results, so nothing new is made). Only parts whose cells can be
// edited one window at a time are worked on this way: a pass that meets a
// formula, rows out of order, protection, or anything it cannot cut stops
// with a reason, and the caller works on the whole part instead.

#include "xlsx/cells/partprescan.h"
#include "xlsx/parts/sharedstringfold.h"
#include "xlsx/parts/worksheetpart.h"

#include "cellrules/searchpattern.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

namespace Excel {

class CellChangeSink;

namespace Xlsx {

class StreamedSheet
{
public:
    // Windows of about windowBytes of rows.
    StreamedSheet(BookContext *book, const QString &partName, size_t windowBytes = size_t(4) << 20);

    const QString &partName() const { return m_partName; }
    // For tests: the part's bytes, handed on in small pieces, instead of
    // the package's entry.
    void setBytes(const QByteArray &part) { m_held = part; }

    // Replace over every cell of the sheet, done when flush() is next
    // called; *changed tells whether a cell will change (the windows are
    // searched until one does). False with the reason when the windows
    // could not be read.
    bool replace(const SearchPattern &pattern, const QString &replacement, bool *changed, QString *error);
    // Does the replaces not done yet, all in one pass; the shared strings
    // get their new entries in the order the replaces done one after the
    // other would give them. False with the reason when the pass could not
    // be made (the sheet is then to be worked on whole: the book and the
    // shared strings may hold part of the work). Everything below needs
    // it done.
    bool flush(QString *error);
    bool isFlushed() const { return m_flushed == m_replaces.size(); }

    struct Replace
    {
        SearchPattern pattern;
        QString replacement;
    };
    // The replaces done, in order.
    const std::vector<Replace> &replaces() const { return m_replaces; }

    // False only when no cell of the sheet, as read, can match the scan's
    // pattern (the bytes of every window rule it out; see partprescan.h).
    // For a sheet not replaced in yet.
    bool mayMatch(const PartPrescan &scan, const char *rootName) const;

    // Whether a replace changed a cell.
    bool isChanged() const { return m_changed; }
    bool hasReportedChanges() const { return m_reported; }
    // The cells that only moved to another shared string, as of the last
    // replace, and how many others changed.
    const GatheredMoves &moves() const { return m_moves; }

    // Streams the changed part; a moved cell whose entry folds (see
    // sharedstringfold.h) is written as read.
    bool write(ByteSink *sink, const SharedStringFold &fold, QString *error) const;
    // Tells the sink every changed cell, as WorksheetPart::reportChanges.
    bool reportChanges(const QString &sheet, CellChangeSink *sink, QString *error) const;

private:
    // One pass over the part: each window parsed, with the replaces before
    // `replaced` done on it again, handed to `each` with its rows as read.
    // The book's counts are those before the pass plus what `each` added.
    // parsed: which windows (by number) to parse; the others come to
    // `each` unparsed (window null).
    enum class Next { Go, Stop, Fail };
    using WindowWork = std::function<Next(WorksheetPart *window, const char *rows, size_t size, QString *error)>;
    bool pass(size_t replaced, bool firstPass, const WindowWork &each, QString *error,
              const std::vector<bool> *parsed = nullptr) const;
    bool redo(WorksheetPart &window, size_t replaced, QString *error) const;
    // Cuts the part into windows of whole rows and hands each on (its rows
    // as read) until one says Stop or Fail; *tail: what follows the rows.
    using RawWork = std::function<Next(const char *rows, size_t size, QString *error)>;
    bool cutWindows(const RawWork &each, bool *stopped, QByteArray *tail, QString *error) const;
    // The window as a part of its own: head, rows, closing tags.
    QByteArray miniPart(const char *rows, size_t size) const;

    BookContext *m_book;
    QString m_partName;
    size_t m_windowBytes;
    std::vector<Replace> m_replaces;
    // By replace: what each shared string becomes (see worksheetedit.cpp).
    mutable std::vector<std::vector<qint32>> m_results;
    size_t m_flushed = 0; // replaces done
    // By window, as of the last flush: whether a cell changed, whether one
    // is to be recorded, and the last row number (for rows that name none).
    std::vector<bool> m_changedWindows, m_reportedWindows;
    mutable std::vector<quint32> m_lastRows;
    GatheredMoves m_moves;
    bool m_changed = false;
    bool m_reported = false;
    QByteArray m_held;
    mutable QByteArray m_head; // the part up to the end of the sheetData start tag
    mutable QByteArray m_tail; // from the sheetData end tag on
    mutable bool m_tailKnown = false;
    mutable QByteArray m_closing; // what closes a window: the sheetData and root end tags
};

} // namespace Xlsx
} // namespace Excel
