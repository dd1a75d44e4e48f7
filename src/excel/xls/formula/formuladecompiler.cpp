// Tokens to text: the tokens are read in order onto a stack of texts; an
// operator or function takes its operands from the top. Parentheses and
// spaces are tokens of their own (ptgParen, ptgAttr space), so the text
// comes out as it was typed.

#include "xls/formula/formulatokens.h"

#include "cellrules/cellvalue.h"
#include "xls/formula/formulafunctions.h"
#include "littleendian.h"
#include "xls/records/sharedstrings.h"

#include <QCoreApplication>
#include <QVector>

namespace Excel {
namespace Biff {

namespace FormulaText {

QString errorText(int code)
{
    switch (code) {
    case 0x00: return QStringLiteral("#NULL!");
    case 0x07: return QStringLiteral("#DIV/0!");
    case 0x0F: return QStringLiteral("#VALUE!");
    case 0x17: return QStringLiteral("#REF!");
    case 0x1D: return QStringLiteral("#NAME?");
    case 0x24: return QStringLiteral("#NUM!");
    case 0x2A: return QStringLiteral("#N/A");
    default: return QString();
    }
}

int errorCode(const QString &text)
{
    static const int codes[] = {0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A};
    for (int c : codes)
        if (text.compare(errorText(c), Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

QString columnName(int col)
{
    QString s;
    int n = col + 1;
    while (n > 0) {
        s.prepend(QChar('A' + (n - 1) % 26));
        n = (n - 1) / 26;
    }
    return s;
}

namespace {

// Whether a sheet name can stand unquoted before "!": letters, digits,
// "_" and "." only, not starting with a digit or ".", and not readable as
// a cell reference or a row-column one (A1, R1C1, R, C).
bool needsQuotes(const QString &name)
{
    if (name.isEmpty())
        return true;
    const QChar first = name[0];
    if (first.isDigit() || first == QLatin1Char('.'))
        return true;
    for (const QChar c : name)
        if (!(c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('.')))
            return true;
    int i = 0;
    while (i < name.size() && i < 3 && name[i].toLatin1() && name[i].isLetter())
        ++i;
    if (i > 0 && i < name.size()) {
        bool digits = true;
        for (int k = i; k < name.size(); ++k)
            digits = digits && name[k].toLatin1() >= '0' && name[k].toLatin1() <= '9';
        if (digits)
            return true; // A1, IV65536, XFD1: a cell reference
    }
    const QString up = name.toUpper();
    if (up == QLatin1String("R") || up == QLatin1String("C") || up == QLatin1String("TRUE") || up == QLatin1String("FALSE"))
        return true;
    if (up.startsWith(QLatin1Char('R')) || up.startsWith(QLatin1Char('C'))) {
        // R1C1-like: R, C, digits only.
        bool rc = true;
        for (const QChar c : up)
            rc = rc && (c == QLatin1Char('R') || c == QLatin1Char('C') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')));
        if (rc)
            return true;
    }
    return false;
}

} // namespace

QString sheetPrefix(const QString &first, const QString &last)
{
    const QString joined = first == last ? first : first + QLatin1Char(':') + last;
    if (needsQuotes(first) || (first != last && needsQuotes(last))) {
        QString q = joined;
        q.replace(QLatin1Char('\''), QLatin1String("''"));
        return QLatin1Char('\'') + q + QLatin1String("'!");
    }
    return joined + QLatin1Char('!');
}

} // namespace FormulaText

namespace {

using namespace FormulaText;

QString cellText(int row, int col, bool rowRel, bool colRel)
{
    return (colRel ? QString() : QStringLiteral("$")) + columnName(col) + (rowRel ? QString() : QStringLiteral("$"))
        + QString::number(row + 1);
}

struct RefPart
{
    int row, col;
    bool rowRel, colRel;
};

// A reference's row and column field; the column field's top bits say
// which parts are relative (0x4000 the column, 0x8000 the row).
// Shared-formula references keep relative parts as offsets from the cell
// they are seen from.
RefPart refPart(quint16 rowField, quint16 colField, bool offsets, const FormulaPlace &place)
{
    RefPart p;
    p.rowRel = colField & 0x8000;
    p.colRel = colField & 0x4000;
    p.row = rowField;
    p.col = colField & 0xFF;
    if (offsets && p.rowRel)
        p.row = (place.row + qint16(rowField)) & 0xFFFF;
    if (offsets && p.colRel)
        p.col = (place.col + qint8(quint8(colField & 0xFF))) & 0xFF;
    return p;
}

QString areaText(const RefPart &a, const RefPart &b)
{
    if (a.row == 0 && b.row == 0xFFFF)
        return (a.colRel ? QString() : QStringLiteral("$")) + columnName(a.col) + QLatin1Char(':')
            + (b.colRel ? QString() : QStringLiteral("$")) + columnName(b.col);
    if (a.col == 0 && b.col == 0xFF)
        return (a.rowRel ? QString() : QStringLiteral("$")) + QString::number(a.row + 1) + QLatin1Char(':')
            + (b.rowRel ? QString() : QStringLiteral("$")) + QString::number(b.row + 1);
    return cellText(a.row, a.col, a.rowRel, a.colRel) + QLatin1Char(':') + cellText(b.row, b.col, b.rowRel, b.colRel);
}

QString quotedString(const QString &s)
{
    QString q = s;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

class Decompiler
{
public:
    Decompiler(const FormulaTokens &t, const FormulaPlace &place, const FormulaNames &names)
        : m_rgce(t.rgce), m_extra(t.extra), m_place(place), m_names(names) {}

    bool run(QString *text, QString *why);

private:
    bool fail(const QString &why)
    {
        if (m_why.isEmpty())
            m_why = why;
        return false;
    }
    bool need(int bytes) { return m_pos + bytes <= m_rgce.size() || fail(QCoreApplication::translate("Xls", "the formula is cut off")); }
    bool pop(QString *s)
    {
        if (m_stack.isEmpty())
            return fail(QCoreApplication::translate("Xls", "an operator lacks its operand"));
        *s = m_stack.takeLast().text;
        return true;
    }
    QString takeSpace(QString *pending)
    {
        const QString s = *pending;
        pending->clear();
        return s;
    }
    void push(const QString &s, bool isName = false)
    {
        m_stack.append(Item{takeSpace(&m_spaceBefore) + s, isName});
    }
    bool sheetsOf(int ixti, QString *prefix);
    bool nameText(int index, QString *out);
    bool arrayConstant(QString *out);
    bool function(int index, int argc);
    bool token();

    const QByteArray &m_rgce;
    const QByteArray &m_extra;
    const FormulaPlace &m_place;
    const FormulaNames &m_names;
    int m_pos = 0;
    int m_extraPos = 0;
    struct Item
    {
        QString text;
        bool isName; // a name token alone: what a user-defined function call starts with
    };
    QVector<Item> m_stack;
    QString m_spaceBefore, m_spaceOpen, m_spaceClose;
    QString m_why;
};

bool Decompiler::sheetsOf(int ixti, QString *prefix)
{
    if (ixti < 0 || ixti >= int(m_names.sheetRanges.size()))
        return fail(QCoreApplication::translate("Xls", "a reference to sheet entry %1, which the workbook lacks").arg(ixti));
    const FormulaNames::SheetRange &r = m_names.sheetRanges[size_t(ixti)];
    if (r.supBook != m_names.selfBook)
        return fail(QCoreApplication::translate("Xls", "a reference to another workbook"));
    if (r.first < 0 || r.last < r.first || r.last >= m_names.sheets.size())
        return fail(QCoreApplication::translate("Xls", "a reference to a deleted sheet"));
    *prefix = sheetPrefix(m_names.sheets[r.first], m_names.sheets[r.last]);
    return true;
}

bool Decompiler::nameText(int index, QString *out)
{
    if (index < 1 || index > int(m_names.names.size()) || m_names.names[size_t(index - 1)].text.isEmpty())
        return fail(QCoreApplication::translate("Xls", "a defined name the workbook lacks"));
    const FormulaNames::DefinedName &n = m_names.names[size_t(index - 1)];
    if (n.sheet != 0 && m_place.kind != FormulaKind::Name && n.sheet != m_place.sheet + 1)
        return fail(QCoreApplication::translate("Xls", "a name local to another sheet"));
    *out = n.text;
    return true;
}

bool Decompiler::arrayConstant(QString *out)
{
    const char *d = m_extra.constData();
    const int size = m_extra.size();
    if (m_extraPos + 3 > size)
        return fail(QCoreApplication::translate("Xls", "an array constant without its values"));
    const int cols = quint8(d[m_extraPos]) + 1;
    const int rows = qFromLittleEndian<quint16>(d + m_extraPos + 1) + 1;
    m_extraPos += 3;
    QString s = QStringLiteral("{");
    for (int r = 0; r < rows; ++r) {
        if (r)
            s += QLatin1Char(';');
        for (int c = 0; c < cols; ++c) {
            if (c)
                s += QLatin1Char(',');
            if (m_extraPos + 1 > size)
                return fail(QCoreApplication::translate("Xls", "an array constant is cut off"));
            const int type = quint8(d[m_extraPos++]);
            switch (type) {
            case 0x01:
                if (m_extraPos + 8 > size)
                    return fail(QCoreApplication::translate("Xls", "an array constant is cut off"));
                s += formulaBarNumber(qFromLittleEndian<double>(d + m_extraPos));
                m_extraPos += 8;
                break;
            case 0x02: {
                if (m_extraPos + 3 > size)
                    return fail(QCoreApplication::translate("Xls", "an array constant is cut off"));
                const int cch = qFromLittleEndian<quint16>(d + m_extraPos);
                const bool high = d[m_extraPos + 2] & 1;
                m_extraPos += 3;
                if (m_extraPos + cch * (high ? 2 : 1) > size)
                    return fail(QCoreApplication::translate("Xls", "an array constant is cut off"));
                s += quotedString(decodeCharacters(d + m_extraPos, cch, high));
                m_extraPos += cch * (high ? 2 : 1);
                break;
            }
            case 0x04:
            case 0x10: {
                if (m_extraPos + 8 > size)
                    return fail(QCoreApplication::translate("Xls", "an array constant is cut off"));
                const int v = quint8(d[m_extraPos]);
                m_extraPos += 8;
                if (type == 0x04)
                    s += v ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
                else if (errorText(v).isEmpty())
                    return fail(QCoreApplication::translate("Xls", "an unknown error value"));
                else
                    s += errorText(v);
                break;
            }
            default:
                return fail(QCoreApplication::translate("Xls", "an array constant with an empty or unknown value"));
            }
        }
    }
    *out = s + QLatin1Char('}');
    return true;
}

bool Decompiler::function(int index, int argc)
{
    QString name;
    const FunctionInfo *f = functionByIndex(index);
    if (index == UserDefinedFunction) {
        if (argc < 1)
            return fail(QCoreApplication::translate("Xls", "a user-defined function without its name"));
    } else if (!f) {
        return fail(QCoreApplication::translate("Xls", "function number %1, which this engine does not know").arg(index));
    } else if (argc < f->minArgs || argc > f->maxArgs) {
        return fail(QCoreApplication::translate("Xls", "%1 with %2 arguments").arg(QLatin1String(f->name)).arg(argc));
    } else {
        name = QLatin1String(f->name);
    }
    if (m_stack.size() < argc)
        return fail(QCoreApplication::translate("Xls", "a function lacks its arguments"));
    QStringList args;
    bool firstIsName = false;
    for (int i = 0; i < argc; ++i) {
        firstIsName = m_stack.last().isName;
        args.prepend(m_stack.takeLast().text);
    }
    if (index == UserDefinedFunction) {
        if (!firstIsName)
            return fail(QCoreApplication::translate("Xls", "a user-defined function whose name is not a name"));
        name = args.takeFirst();
        if (name.startsWith(QLatin1String("_xlfn."), Qt::CaseInsensitive))
            name = name.mid(6);
    }
    const QString open = takeSpace(&m_spaceOpen), close = takeSpace(&m_spaceClose);
    push(name + open + QLatin1Char('(') + args.join(QLatin1Char(',')) + close + QLatin1Char(')'));
    return true;
}

bool Decompiler::token()
{
    const char *d = m_rgce.constData() + m_pos;
    const int t = quint8(d[0]);
    ++m_pos;
    ++d;
    static const char *const binary[] = {"+", "-", "*", "/", "^", "&", "<", "<=", "=", ">=", ">", "<>", " ", ",", ":"};
    if (t >= 0x03 && t <= 0x11) {
        QString a, b;
        if (!pop(&b) || !pop(&a))
            return false;
        push(QString(), false);
        m_stack.last().text = a + m_stack.last().text + QLatin1String(binary[t - 3]) + b;
        return true;
    }
    switch (t) {
    case 0x01:
    case 0x02:
        return fail(t == 0x01 ? QCoreApplication::translate("Xls", "a shared or array formula token in the wrong place")
                              : QCoreApplication::translate("Xls", "a data table"));
    case 0x12:
    case 0x13: {
        QString a;
        if (!pop(&a))
            return false;
        push((t == 0x12 ? QStringLiteral("+") : QStringLiteral("-")) + a);
        return true;
    }
    case 0x14: {
        QString a;
        if (!pop(&a))
            return false;
        push(QString());
        m_stack.last().text = a + m_stack.last().text + QLatin1Char('%');
        return true;
    }
    case 0x15: {
        QString a;
        if (!pop(&a))
            return false;
        const QString open = takeSpace(&m_spaceOpen), close = takeSpace(&m_spaceClose);
        push(open + QLatin1Char('(') + a + close + QLatin1Char(')'));
        return true;
    }
    case 0x16:
        push(QString());
        return true;
    case 0x17: {
        if (!need(2))
            return false;
        const int cch = quint8(d[0]);
        const bool high = d[1] & 1;
        if (!need(2 + cch * (high ? 2 : 1)))
            return false;
        push(quotedString(decodeCharacters(d + 2, cch, high)));
        m_pos += 2 + cch * (high ? 2 : 1);
        return true;
    }
    case 0x19: {
        if (!need(3))
            return false;
        const int kind = quint8(d[0]);
        const int data = qFromLittleEndian<quint16>(d + 1);
        m_pos += 3;
        switch (kind) {
        case 0x01: // volatile
        case 0x02: // IF: where the false branch starts
        case 0x08: // goto: past the other branch
            return true;
        case 0x04: // CHOOSE: a jump table
            if (!need(2 * (data + 1)))
                return false;
            m_pos += 2 * (data + 1);
            return true;
        case 0x10: { // SUM of one argument
            QString a;
            if (!pop(&a))
                return false;
            const QString open = takeSpace(&m_spaceOpen), close = takeSpace(&m_spaceClose);
            push(QStringLiteral("SUM") + open + QLatin1Char('(') + a + close + QLatin1Char(')'));
            return true;
        }
        case 0x40:
        case 0x41: {
            const int type = data & 0xFF, count = data >> 8;
            const QString space(count, type & 1 ? QLatin1Char('\n') : QLatin1Char(' '));
            if (type <= 1 || type == 6)
                m_spaceBefore += space;
            else if (type <= 3)
                m_spaceOpen += space;
            else if (type <= 5)
                m_spaceClose += space;
            else
                return fail(QCoreApplication::translate("Xls", "an unknown kind of space"));
            return true;
        }
        default:
            return fail(QCoreApplication::translate("Xls", "an attribute token of kind 0x%1").arg(kind, 2, 16, QLatin1Char('0')));
        }
    }
    case 0x1C: {
        if (!need(1))
            return false;
        const QString e = errorText(quint8(d[0]));
        if (e.isEmpty())
            return fail(QCoreApplication::translate("Xls", "an unknown error value"));
        push(e);
        m_pos += 1;
        return true;
    }
    case 0x1D:
        if (!need(1))
            return false;
        push(d[0] ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
        m_pos += 1;
        return true;
    case 0x1E:
        if (!need(2))
            return false;
        push(QString::number(qFromLittleEndian<quint16>(d)));
        m_pos += 2;
        return true;
    case 0x1F:
        if (!need(8))
            return false;
        push(formulaBarNumber(qFromLittleEndian<double>(d)));
        m_pos += 8;
        return true;
    default:
        break;
    }
    if (t < 0x20 || t > 0x7F)
        return fail(QCoreApplication::translate("Xls", "token 0x%1, which this engine does not know").arg(t, 2, 16, QLatin1Char('0')));
    const int base = (t & 0x1F) | 0x20;
    const bool offsets = m_place.kind == FormulaKind::Shared;
    switch (base) {
    case 0x20: {
        if (!need(7))
            return false;
        m_pos += 7;
        QString a;
        if (!arrayConstant(&a))
            return false;
        push(a);
        return true;
    }
    case 0x21:
        if (!need(2))
            return false;
        m_pos += 2;
        {
            const FunctionInfo *f = functionByIndex(qFromLittleEndian<quint16>(d));
            if (!f || !f->fixedArgs)
                return fail(QCoreApplication::translate("Xls", "function number %1 without an argument count").arg(qFromLittleEndian<quint16>(d)));
            return function(f->index, f->minArgs);
        }
    case 0x22:
        if (!need(3))
            return false;
        m_pos += 3;
        if ((d[0] & 0x80) || (qFromLittleEndian<quint16>(d + 1) & 0x8000))
            return fail(QCoreApplication::translate("Xls", "a macro command"));
        return function(qFromLittleEndian<quint16>(d + 1), quint8(d[0]));
    case 0x23: {
        if (!need(4))
            return false;
        m_pos += 4;
        QString n;
        if (!nameText(qFromLittleEndian<quint16>(d), &n))
            return false;
        push(n, true);
        return true;
    }
    case 0x24:
    case 0x2C: {
        if (!need(4))
            return false;
        m_pos += 4;
        const RefPart p = refPart(qFromLittleEndian<quint16>(d), qFromLittleEndian<quint16>(d + 2), base == 0x2C, m_place);
        push(cellText(p.row, p.col, p.rowRel, p.colRel));
        return true;
    }
    case 0x25:
    case 0x2D: {
        if (!need(8))
            return false;
        m_pos += 8;
        const RefPart a = refPart(qFromLittleEndian<quint16>(d), qFromLittleEndian<quint16>(d + 4), base == 0x2D, m_place);
        const RefPart b = refPart(qFromLittleEndian<quint16>(d + 2), qFromLittleEndian<quint16>(d + 6), base == 0x2D, m_place);
        push(areaText(a, b));
        return true;
    }
    case 0x26:
    case 0x27:
    case 0x28:
        // A precomputed area and the tokens that compute it; only those count.
        if (!need(6))
            return false;
        m_pos += 6;
        if (base == 0x26) {
            if (m_extraPos + 2 > m_extra.size())
                return fail(QCoreApplication::translate("Xls", "a memory area without its data"));
            m_extraPos += 2 + 8 * qFromLittleEndian<quint16>(m_extra.constData() + m_extraPos);
            if (m_extraPos > m_extra.size())
                return fail(QCoreApplication::translate("Xls", "a memory area without its data"));
        }
        return true;
    case 0x29:
        if (!need(2))
            return false;
        m_pos += 2;
        return true;
    case 0x2A:
        if (!need(4))
            return false;
        m_pos += 4;
        push(QStringLiteral("#REF!"));
        return true;
    case 0x2B:
        if (!need(8))
            return false;
        m_pos += 8;
        push(QStringLiteral("#REF!"));
        return true;
    case 0x39: {
        if (!need(6))
            return false;
        m_pos += 6;
        const int ixti = qFromLittleEndian<quint16>(d), index = qFromLittleEndian<quint16>(d + 2);
        if (ixti >= int(m_names.sheetRanges.size()))
            return fail(QCoreApplication::translate("Xls", "a reference to sheet entry %1, which the workbook lacks").arg(ixti));
        const FormulaNames::SheetRange &r = m_names.sheetRanges[size_t(ixti)];
        if (r.supBook == m_names.selfBook) {
            QString n;
            if (!nameText(index, &n))
                return false;
            push(n, true);
            return true;
        }
        if (r.supBook < 0 || r.supBook >= int(m_names.supBooks.size())
            || m_names.supBooks[size_t(r.supBook)].kind != FormulaNames::BookKind::AddIn)
            return fail(QCoreApplication::translate("Xls", "a name in another workbook"));
        const QStringList &ext = m_names.supBooks[size_t(r.supBook)].externNames;
        if (index < 1 || index > ext.size() || ext[index - 1].isEmpty())
            return fail(QCoreApplication::translate("Xls", "an add-in name the workbook lacks"));
        push(ext[index - 1], true);
        return true;
    }
    case 0x3A:
    case 0x3C: {
        if (!need(6))
            return false;
        m_pos += 6;
        QString prefix;
        if (!sheetsOf(qFromLittleEndian<quint16>(d), &prefix))
            return false;
        if (base == 0x3C) {
            push(prefix + QStringLiteral("#REF!"));
            return true;
        }
        const RefPart p = refPart(qFromLittleEndian<quint16>(d + 2), qFromLittleEndian<quint16>(d + 4), offsets, m_place);
        push(prefix + cellText(p.row, p.col, p.rowRel, p.colRel));
        return true;
    }
    case 0x3B:
    case 0x3D: {
        if (!need(10))
            return false;
        m_pos += 10;
        QString prefix;
        if (!sheetsOf(qFromLittleEndian<quint16>(d), &prefix))
            return false;
        if (base == 0x3D) {
            push(prefix + QStringLiteral("#REF!"));
            return true;
        }
        const RefPart a = refPart(qFromLittleEndian<quint16>(d + 2), qFromLittleEndian<quint16>(d + 6), offsets, m_place);
        const RefPart b = refPart(qFromLittleEndian<quint16>(d + 4), qFromLittleEndian<quint16>(d + 8), offsets, m_place);
        push(prefix + areaText(a, b));
        return true;
    }
    default:
        return fail(QCoreApplication::translate("Xls", "token 0x%1, which this engine does not know").arg(t, 2, 16, QLatin1Char('0')));
    }
}

bool Decompiler::run(QString *text, QString *why)
{
    while (m_pos < m_rgce.size())
        if (!token()) {
            *why = m_why;
            return false;
        }
    if (m_stack.size() != 1) {
        *why = m_stack.isEmpty() ? QCoreApplication::translate("Xls", "an empty formula") : QCoreApplication::translate("Xls", "operands left over");
        return false;
    }
    *text = m_stack.first().text + m_spaceBefore;
    return true;
}

} // namespace

bool decompileFormula(const FormulaTokens &tokens, const FormulaPlace &place, const FormulaNames &names,
                      QString *text, QString *why)
{
    return Decompiler(tokens, place, names).run(text, why);
}

} // namespace Biff
} // namespace Excel
