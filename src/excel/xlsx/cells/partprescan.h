#pragma once

// A look at the raw bytes of a worksheet or shared-strings part, before it
// is tokenized, that tells when no cell text in it can match a search, so
// that the part need not be parsed at all. It may only ever say "no match"
// when that is certain; whenever the bytes could hide a match it says
// "maybe" and the part is parsed and searched as usual.
//
// A match contains the pattern's longest run of plain characters (the
// needle). Each of them stands in the bytes as itself unless written as a
// character reference, an entity or an _xHHHH_ escape, so parts holding
// any of those, and needles holding characters that need them, are not
// judged. Text split over rich-text runs stays findable: the needle is
// searched with markup between its characters skipped. Parts with DTDs,
// comments, CDATA, processing instructions, phonetic runs or shared
// formulas (whose members' text exists nowhere in the bytes) or prefixed
// newer functions ("_xlfn.", which their searched text leaves out) are not
// judged either, nor patterns that can match a number or a boolean (their
// text is not what the bytes hold), nor bytes that are not well-formed
// enough to be read at all (a part cut short, bytes XML forbids).

#include "cellrules/searchpattern.h"

#include <QByteArray>

namespace Excel {
namespace Xlsx {

class PartPrescan
{
public:
    explicit PartPrescan(const SearchPattern &pattern);

    // Whether any part can be judged for this pattern.
    bool usable() const { return !m_needle.isEmpty(); }
    const QByteArray &needle() const { return m_needle; }
    bool foldsCase() const { return m_foldAscii; }

    // True when no cell text of this part (root element rootName, without
    // prefix) can match; false when it may.
    bool excludes(const char *data, size_t size, const char *rootName) const;

    // The needle's search alone, over the raw text of one value: false when
    // the text cannot contain it (a text with a reference, an escape or
    // markup in it always may).
    bool mayHold(const char *data, size_t size) const;

private:
    bool matchAt(const char *p, const char *end) const;
    template<bool Fold0, bool Two, bool Fold1>
    bool scanBlocks(const char *data, const char **at, const char *end, const char *declaration,
                    const char **validTo) const;
    bool decidesAt(const char *data, const char *p, const char *end, const char *declaration,
                   const char **validTo) const;

    QByteArray m_needle; // UTF-8; lower case ASCII when not matching case
    bool m_foldAscii = false;
};

} // namespace Xlsx
} // namespace Excel
