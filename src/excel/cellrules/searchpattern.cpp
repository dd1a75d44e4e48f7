#include "searchpattern.h"

namespace Excel {

namespace {

// UTF-16 text: code points read across surrogate pairs.
struct Utf16Text
{
    const QString &s;

    int size() const { return s.size(); }
    uint at(int pos, int *width) const
    {
        const QChar c = s.at(pos);
        if (c.isHighSurrogate() && pos + 1 < s.size() && s.at(pos + 1).isLowSurrogate()) {
            *width = 2;
            return QChar::surrogateToUcs4(c, s.at(pos + 1));
        }
        *width = 1;
        return c.unicode();
    }
    int next(int pos) const
    {
        int w;
        at(pos, &w);
        return pos + w;
    }
    int prev(int pos) const
    {
        if (pos >= 2 && s.at(pos - 1).isLowSurrogate() && s.at(pos - 2).isHighSurrogate())
            return pos - 2;
        return pos - 1;
    }
};

// Valid UTF-8 text: the same code points, positions in bytes.
struct Utf8Text
{
    const unsigned char *p;
    int n;

    int size() const { return n; }
    uint at(int pos, int *width) const
    {
        const uint c = p[pos];
        int w = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (w == 1 || pos + w > n) {
            *width = 1;
            return w == 1 ? c : 0xFFFD;
        }
        uint cp = c & (0x7F >> w);
        for (int i = 1; i < w; ++i)
            cp = (cp << 6) | (p[pos + i] & 0x3F);
        *width = w;
        return cp;
    }
    int next(int pos) const
    {
        int w;
        at(pos, &w);
        return pos + w;
    }
    int prev(int pos) const
    {
        --pos;
        while (pos > 0 && (p[pos] & 0xC0) == 0x80)
            --pos;
        return pos;
    }
};

} // namespace

SearchPattern::SearchPattern(const QString &what, bool wholeCell, bool matchCase)
    : m_wholeCell(wholeCell)
    , m_matchCase(matchCase)
{
    const QVector<uint> cps = what.toUcs4();
    Segment current;
    bool sawStarBeforeAny = false;
    bool lastWasStar = false;
    for (int i = 0; i < cps.size(); ++i) {
        const uint c = cps[i];
        if (c == '*') {
            if (m_segments.isEmpty() && current.isEmpty())
                sawStarBeforeAny = true;
            if (!current.isEmpty()) {
                m_segments.append(current);
                current.clear();
            }
            lastWasStar = true;
            continue;
        }
        lastWasStar = false;
        Element e;
        if (c == '?') {
            e.any = true;
        } else if (c == '~' && i + 1 < cps.size()
                   && (cps[i + 1] == '?' || cps[i + 1] == '*' || cps[i + 1] == '~')) {
            e.ch = fold(cps[++i]);
        } else {
            e.ch = fold(c);
        }
        current.append(e);
    }
    if (!current.isEmpty())
        m_segments.append(current);
    m_leadingStar = sawStarBeforeAny;
    m_trailingStar = lastWasStar;
    m_onlyStars = m_segments.isEmpty() && m_leadingStar;
}

bool SearchPattern::canMatchWithin(const QString &alphabet) const
{
    const QVector<uint> chars = alphabet.toUcs4();
    for (const Segment &seg : m_segments) {
        for (const Element &e : seg) {
            if (e.any)
                continue;
            bool found = false;
            for (uint c : chars)
                if (fold(c) == e.ch) {
                    found = true;
                    break;
                }
            if (!found)
                return false;
        }
    }
    return true;
}

QVector<QVector<uint>> SearchPattern::literalRuns() const
{
    QVector<QVector<uint>> runs;
    for (const Segment &seg : m_segments) {
        QVector<uint> run;
        for (const Element &e : seg) {
            if (!e.any) {
                run.append(e.ch);
                continue;
            }
            if (!run.isEmpty())
                runs.append(run);
            run.clear();
        }
        if (!run.isEmpty())
            runs.append(run);
    }
    return runs;
}

uint SearchPattern::fold(uint c) const
{
    if (m_matchCase)
        return c;
    if (c < 0x80) // ASCII folds to ASCII: A-Z only
        return c - 'A' < 26u ? c + 32 : c;
    return QChar::toCaseFolded(c);
}

template <class Text>
int SearchPattern::matchSegmentAt(const Segment &seg, const Text &text, int pos) const
{
    const int n = text.size();
    for (const Element &e : seg) {
        if (pos >= n)
            return -1;
        int w;
        const uint c = text.at(pos, &w);
        if (!e.any && fold(c) != e.ch)
            return -1;
        pos += w;
    }
    return pos;
}

template <class Text>
int SearchPattern::firstOccurrence(const Segment &seg, const Text &text, int from, int *end) const
{
    for (int q = from; q < text.size(); q = text.next(q)) {
        const int e = matchSegmentAt(seg, text, q);
        if (e >= 0) {
            *end = e;
            return q;
        }
    }
    return -1;
}

template <class Text>
int SearchPattern::lastOccurrence(const Segment &seg, const Text &text, int from, int *end) const
{
    for (int q = text.size(); q > from;) {
        q = text.prev(q);
        if (q < from)
            break;
        const int e = matchSegmentAt(seg, text, q);
        if (e >= 0) {
            *end = e;
            return q;
        }
    }
    return -1;
}

// Places segments segIndex.. after position cur: middle segments at their
// first occurrence, the last one (when * stands before it and not after it)
// at its last occurrence. Leftmost placement of the middle segments leaves
// the most room for the rest, so the end found is the greedy one.
template <class Text>
bool SearchPattern::placeFrom(const Text &text, int segIndex, int cur, int *end) const
{
    const int last = m_segments.size() - 1;
    for (int i = segIndex; i <= last; ++i) {
        int e = 0;
        if (i == last && !m_trailingStar) {
            if (lastOccurrence(m_segments[i], text, cur, &e) < 0)
                return false;
        } else {
            if (firstOccurrence(m_segments[i], text, cur, &e) < 0)
                return false;
        }
        cur = e;
    }
    *end = m_trailingStar ? text.size() : cur;
    return true;
}

template <class Text>
bool SearchPattern::findFrom(const Text &text, int from, TextSpan *span) const
{
    const int n = text.size();
    if (from >= n)
        return false;
    if (m_onlyStars) {
        *span = {from, n};
        return true;
    }
    if (m_leadingStar) {
        int end;
        if (!placeFrom(text, 0, from, &end) || end <= from)
            return false;
        *span = {from, end};
        return true;
    }
    const Segment &first = m_segments.first();
    const bool single = m_segments.size() == 1;
    for (int q = from; q < n; q = text.next(q)) {
        int e = matchSegmentAt(first, text, q);
        if (e < 0)
            continue;
        if (single) {
            *span = {q, m_trailingStar ? n : e};
            return true;
        }
        int end;
        if (placeFrom(text, 1, e, &end)) {
            *span = {q, end};
            return true;
        }
        // When the rest cannot be placed after this start it cannot be
        // placed after any later one either.
        return false;
    }
    return false;
}

template <class Text>
bool SearchPattern::matchesWhole(const Text &text) const
{
    const int n = text.size();
    if (n == 0)
        return false;
    if (m_onlyStars)
        return true;
    const int last = m_segments.size() - 1;
    int cur = 0;
    int firstMiddle = 0;
    if (!m_leadingStar) {
        cur = matchSegmentAt(m_segments.first(), text, 0);
        if (cur < 0)
            return false;
        if (last == 0)
            return m_trailingStar || cur == n;
        firstMiddle = 1;
    }
    // The last segment must end the text unless * follows it.
    int limit = n;
    int lastMiddle = last;
    if (!m_trailingStar) {
        const Segment &tail = m_segments[last];
        int start = -1;
        for (int q = n; q > cur;) {
            q = text.prev(q);
            if (q < cur)
                break;
            if (matchSegmentAt(tail, text, q) == n) {
                start = q;
                break;
            }
        }
        if (start < 0)
            return false;
        limit = start;
        lastMiddle = last - 1;
    }
    for (int i = firstMiddle; i <= lastMiddle; ++i) {
        int e;
        const int q = firstOccurrence(m_segments[i], text, cur, &e);
        if (q < 0 || e > limit)
            return false;
        cur = e;
    }
    return true;
}

template <class Text, class Spans>
void SearchPattern::collect(const Text &text, Spans *spans) const
{
    // An empty pattern finds nothing (it has no segment to look for).
    if (text.size() == 0 || (m_segments.isEmpty() && !m_onlyStars))
        return;
    if (m_wholeCell) {
        if (matchesWhole(text))
            spans->push_back({0, text.size()});
        return;
    }
    int pos = 0;
    TextSpan span;
    while (findFrom(text, pos, &span)) {
        spans->push_back(span);
        pos = span.end;
    }
}

QVector<TextSpan> SearchPattern::matches(const QString &text) const
{
    QVector<TextSpan> spans;
    collect(Utf16Text{text}, &spans);
    return spans;
}

void SearchPattern::matchesUtf8(const char *text, int size, std::vector<TextSpan> *spans) const
{
    spans->clear();
    collect(Utf8Text{reinterpret_cast<const unsigned char *>(text), size}, spans);
}

bool SearchPattern::replace(const QString &text, const QString &replacement, QString *out,
                            QVector<TextSpan> *spansOut) const
{
    const QVector<TextSpan> spans = matches(text);
    if (spans.isEmpty())
        return false;
    QString result;
    result.reserve(text.size() + spans.size() * replacement.size());
    int pos = 0;
    for (const TextSpan &s : spans) {
        result.append(text.midRef(pos, s.start - pos));
        result.append(replacement);
        pos = s.end;
    }
    result.append(text.midRef(pos));
    *out = result;
    if (spansOut)
        *spansOut = spans;
    return true;
}

} // namespace Excel
