#pragma once

// Excel's search pattern: ? matches one character, * any run of characters
// (none included), ~ makes a following ? * ~ literal (before anything else,
// and at the end, it is a literal tilde). The search is leftmost first and
// * is greedy. Case-insensitive search compares Unicode case-folded
// characters; full-width and half-width forms stay distinct.

#include <QString>
#include <QVector>

#include <vector>

namespace Excel {

struct TextSpan
{
    int start = 0; // UTF-16 index, inclusive
    int end = 0;   // UTF-16 index, exclusive
};

class SearchPattern
{
public:
    SearchPattern(const QString &what, bool wholeCell, bool matchCase);

    bool wholeCell() const { return m_wholeCell; }

    // The spans that a replace would change: for a whole-cell pattern the
    // whole text when it matches; otherwise every non-overlapping match from
    // left to right. Empty text never matches.
    QVector<TextSpan> matches(const QString &text) const;

    // The same spans over UTF-8 bytes (offsets in bytes), for text that is
    // valid UTF-8: the same code points compared by the same rules.
    void matchesUtf8(const char *text, int size, std::vector<TextSpan> *spans) const;

    // Replaces the matches by replacement (inserted literally). Returns
    // false, leaving *out alone, when nothing matched.
    bool replace(const QString &text, const QString &replacement, QString *out,
                 QVector<TextSpan> *spans = nullptr) const;

    // Whether the pattern could match a text made of these characters only:
    // false when one of its literal characters is not among them. Lets a
    // search skip whole kinds of cells (numbers, booleans) at once.
    bool canMatchWithin(const QString &alphabet) const;

    bool matchCase() const { return m_matchCase; }
    // The runs of literal characters (no wildcard among them) that every
    // match contains, case-folded unless matching case.
    QVector<QVector<uint>> literalRuns() const;

private:
    struct Element
    {
        uint ch = 0;      // case-folded unless matching case
        bool any = false; // ?
    };
    using Segment = QVector<Element>;

    template <class Text> int matchSegmentAt(const Segment &seg, const Text &text, int pos) const;
    template <class Text> int firstOccurrence(const Segment &seg, const Text &text, int from, int *end) const;
    template <class Text> int lastOccurrence(const Segment &seg, const Text &text, int from, int *end) const;
    template <class Text> bool findFrom(const Text &text, int from, TextSpan *span) const;
    template <class Text> bool matchesWhole(const Text &text) const;
    template <class Text> bool placeFrom(const Text &text, int segIndex, int cur, int *end) const;
    template <class Text, class Spans> void collect(const Text &text, Spans *spans) const;
    uint fold(uint c) const;

    QVector<Segment> m_segments;
    bool m_leadingStar = false;
    bool m_trailingStar = false;
    bool m_onlyStars = false;
    bool m_wholeCell;
    bool m_matchCase;
};

} // namespace Excel
