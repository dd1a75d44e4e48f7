#include "searchpattern.h"

namespace Excel {

namespace {

// Reads the code point at pos and its width in UTF-16 units.
inline uint codePointAt(const QString &text, int pos, int *width)
{
    const QChar c = text.at(pos);
    if (c.isHighSurrogate() && pos + 1 < text.size() && text.at(pos + 1).isLowSurrogate()) {
        *width = 2;
        return QChar::surrogateToUcs4(c, text.at(pos + 1));
    }
    *width = 1;
    return c.unicode();
}

inline int nextPos(const QString &text, int pos)
{
    int w;
    codePointAt(text, pos, &w);
    return pos + w;
}

inline int prevPos(const QString &text, int pos)
{
    if (pos >= 2 && text.at(pos - 1).isLowSurrogate() && text.at(pos - 2).isHighSurrogate())
        return pos - 2;
    return pos - 1;
}

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
    return m_matchCase ? c : QChar::toCaseFolded(c);
}

int SearchPattern::matchSegmentAt(const Segment &seg, const QString &text, int pos) const
{
    const int n = text.size();
    for (const Element &e : seg) {
        if (pos >= n)
            return -1;
        int w;
        const uint c = codePointAt(text, pos, &w);
        if (!e.any && fold(c) != e.ch)
            return -1;
        pos += w;
    }
    return pos;
}

int SearchPattern::firstOccurrence(const Segment &seg, const QString &text, int from, int *end) const
{
    for (int q = from; q < text.size(); q = nextPos(text, q)) {
        const int e = matchSegmentAt(seg, text, q);
        if (e >= 0) {
            *end = e;
            return q;
        }
    }
    return -1;
}

int SearchPattern::lastOccurrence(const Segment &seg, const QString &text, int from, int *end) const
{
    for (int q = text.size(); q > from;) {
        q = prevPos(text, q);
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
bool SearchPattern::placeFrom(const QString &text, int segIndex, int cur, int *end) const
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

bool SearchPattern::findFrom(const QString &text, int from, TextSpan *span) const
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
    for (int q = from; q < n; q = nextPos(text, q)) {
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

bool SearchPattern::matchesWhole(const QString &text) const
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
            q = prevPos(text, q);
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

QVector<TextSpan> SearchPattern::matches(const QString &text) const
{
    QVector<TextSpan> spans;
    // An empty pattern finds nothing (it has no segment to look for).
    if (text.isEmpty() || (m_segments.isEmpty() && !m_onlyStars))
        return spans;
    if (m_wholeCell) {
        if (matchesWhole(text))
            spans.append({0, text.size()});
        return spans;
    }
    int pos = 0;
    TextSpan span;
    while (findFrom(text, pos, &span)) {
        spans.append(span);
        pos = span.end;
    }
    return spans;
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
