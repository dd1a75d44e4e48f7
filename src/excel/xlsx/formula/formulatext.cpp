#include "xlsx/formula/formulatext.h"

#include "cellrules/cellvalue.h"
#include "cellrules/newerfunctions.h"

#include <QCoreApplication>

namespace Excel {
namespace Xlsx {

namespace {

inline bool isWordChar(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' || u == '.'
           || u == '$' || u == '\\' || u == '?' || u > 127;
}

// The parts of a formula that the two directions look at; everything else
// is copied as it stands.
struct Part
{
    enum Kind { Other, String, Function, Sheets };
    Kind kind = Other;
    int begin = 0, end = 0;
    bool external = false; // Sheets: of another file
};

// End of a quoted run starting at i (a doubled quote stays inside); n when
// it is not closed.
int closingQuote(const QString &f, int i)
{
    const QChar q = f[i];
    for (int j = i + 1; j < f.size(); ++j) {
        if (f[j] != q)
            continue;
        if (j + 1 < f.size() && f[j + 1] == q) {
            ++j;
            continue;
        }
        return j + 1;
    }
    return f.size();
}

int wordEnd(const QString &f, int i)
{
    while (i < f.size() && isWordChar(f[i]))
        ++i;
    return i;
}

template <typename Visit>
void walk(const QString &f, Visit visit)
{
    const int n = f.size();
    bool afterBook = false; // just after "[1]" or "[Book.xlsx]"
    int i = 0;
    while (i < n) {
        const QChar c = f[i];
        Part p;
        p.begin = i;
        if (c == QLatin1Char('"')) {
            p.kind = Part::String;
            p.end = closingQuote(f, i);
        } else if (c == QLatin1Char('\'')) {
            p.end = closingQuote(f, i);
            if (p.end < n && f[p.end] == QLatin1Char('!')) {
                p.kind = Part::Sheets;
                p.external = afterBook || f.mid(i, p.end - i).contains(QLatin1Char('['));
            }
        } else if (c == QLatin1Char('[')) {
            int depth = 0, j = i;
            for (; j < n; ++j) {
                if (f[j] == QLatin1Char('['))
                    ++depth;
                else if (f[j] == QLatin1Char(']') && --depth == 0)
                    break;
            }
            p.end = qMin(j + 1, n);
            visit(p);
            afterBook = true;
            i = p.end;
            continue;
        } else if (c == QLatin1Char('#')) {
            // An error literal such as #REF! or #N/A.
            int j = i + 1;
            while (j < n && (f[j].isLetterOrNumber() || f[j] == QLatin1Char('/')))
                ++j;
            if (j < n && (f[j] == QLatin1Char('!') || f[j] == QLatin1Char('?')))
                ++j;
            p.end = j;
        } else if (isWordChar(c)) {
            p.end = wordEnd(f, i);
            const QChar next = p.end < n ? f[p.end] : QChar();
            if (next == QLatin1Char('(')) {
                p.kind = Part::Function;
            } else if (next == QLatin1Char('!')) {
                p.kind = Part::Sheets;
                p.external = afterBook;
            } else if (next == QLatin1Char(':')) {
                // Sheet1:Sheet3!A1
                const int second = wordEnd(f, p.end + 1);
                if (second > p.end + 1 && second < n && f[second] == QLatin1Char('!')) {
                    p.kind = Part::Sheets;
                    p.end = second;
                    p.external = afterBook;
                }
            }
        } else {
            p.end = i + 1;
        }
        visit(p);
        afterBook = false;
        i = p.end;
    }
}

// The function a prefixed name stands for, when the prefix is the one the
// file writes for it.
const NewerFunction *prefixed(QStringView word, int *nameAt)
{
    for (const QLatin1String prefix : {QLatin1String("_xlfn._xlws."), QLatin1String("_xlfn.")}) {
        if (!word.startsWith(prefix))
            continue;
        const NewerFunction *f = newerFunction(word.mid(prefix.size()));
        if (f && QLatin1String(f->xlsxPrefix) == prefix) {
            *nameAt = prefix.size();
            return f;
        }
        return nullptr;
    }
    return nullptr;
}

} // namespace

QString shownFormula(const QString &stored)
{
    if (!stored.contains(QLatin1String("_xlfn.")))
        return stored;
    QString out;
    out.reserve(stored.size());
    walk(stored, [&](const Part &p) {
        int nameAt = 0;
        const QStringView text = QStringView(stored).mid(p.begin, p.end - p.begin);
        if (p.kind == Part::Function && prefixed(text, &nameAt))
            out += text.mid(nameAt);
        else
            out += text;
    });
    return out;
}

bool storedFormula(const QString &shown, const QStringList &sheets, QString *stored, QString *why,
                   QString *missingSheet)
{
    QString out;
    out.reserve(shown.size() + 8);
    bool ok = true;
    const auto fail = [&](const QString &reason) {
        if (ok)
            *why = reason;
        ok = false;
    };
    const auto checkSheet = [&](const QString &name) {
        for (const QString &s : sheets)
            if (s.compare(name, Qt::CaseInsensitive) == 0)
                return;
        if (ok && missingSheet)
            *missingSheet = name;
        fail(missingSheetReason(shown, name));
    };
    walk(shown, [&](const Part &p) {
        const QString text = shown.mid(p.begin, p.end - p.begin);
        switch (p.kind) {
        case Part::String: {
            // A doubled quote inside stands for one character.
            int length = 0;
            for (int k = 1; k + 1 < text.size(); ++k, ++length)
                if (text[k] == QLatin1Char('"'))
                    ++k;
            if (length > 255)
                fail(QCoreApplication::translate("Xlsx", "a text longer than 255 characters in a formula"));
            out += text;
            return;
        }
        case Part::Function: {
            int nameAt = 0;
            const NewerFunction *f = prefixed(QStringView(text), &nameAt);
            if (!f && (f = newerFunction(QStringView(text))) && *f->xlsxPrefix)
                out += QLatin1String(f->xlsxPrefix) + QLatin1String(f->name);
            else
                out += text;
            return;
        }
        case Part::Sheets:
            out += text;
            if (p.external)
                return;
            if (text.startsWith(QLatin1Char('\''))) {
                QString names = text.mid(1, text.size() - 2);
                names.replace(QLatin1String("''"), QLatin1String("'"));
                for (const QString &name : names.split(QLatin1Char(':')))
                    checkSheet(name);
            } else {
                for (const QString &name : text.split(QLatin1Char(':')))
                    checkSheet(name);
            }
            return;
        case Part::Other:
            out += text;
            return;
        }
    });
    if (ok)
        *stored = out;
    return ok;
}

} // namespace Xlsx
} // namespace Excel
