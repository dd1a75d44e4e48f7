// Text to tokens: the expression tree is written out in reverse Polish
// order. Every operand token carries a class (reference, value or array)
// that depends on where it stands: what the function argument it fills
// expects, whether an operator takes it, and whether the formula is an
// array formula.

#include "xls/formula/formulatokens.h"

#include "xls/formula/formulafunctions.h"
#include "xls/formula/formulaparser.h"
#include "littleendian.h"
#include "cellrules/newerfunctions.h"

#include <QCoreApplication>
#include <QVector>

#include <cmath>

namespace Excel {
namespace Biff {

namespace {

using Node = FormulaNode;

// Where a token stands, which decides its class.
enum class Want { Root, Ref, Value, Array };

constexpr quint8 ClassRef = 0x20, ClassValue = 0x40, ClassArray = 0x60;

// Letters then digits, as in XFD1 or A70000.
bool looksLikeCell(const QString &text)
{
    int i = 0;
    while (i < text.size() && i < 3 && text[i].unicode() < 128 && text[i].isLetter())
        ++i;
    if (i == 0 || i == text.size())
        return false;
    for (int k = i; k < text.size(); ++k)
        if (text[k].unicode() < '0' || text[k].unicode() > '9')
            return false;
    return true;
}

class Compiler
{
public:
    Compiler(const FormulaPlace &place, FormulaNames &names) : m_place(place), m_names(names) {}

    // The sheet the formula names that the workbook lacks, once run failed
    // for it.
    const QString &missingSheet() const { return m_missingSheet; }

    bool run(const Node &root, FormulaTokens *out, QString *why)
    {
        const Want want = m_place.kind == FormulaKind::Array ? Want::Array
            : m_place.kind == FormulaKind::Name ? Want::Ref : Want::Value;
        if (!node(root, want)) {
            *why = m_why;
            return false;
        }
        if (m_volatile) {
            QByteArray v("\x19\x01\x00\x00", 4);
            m_rgce.prepend(v);
        }
        if (m_rgce.size() > 1800) {
            *why = QCoreApplication::translate("Xls", "the formula is longer than an .xls file can store");
            return false;
        }
        out->rgce = m_rgce;
        out->extra = m_extra;
        return true;
    }

private:
    bool fail(const QString &why)
    {
        if (m_why.isEmpty())
            m_why = why;
        return false;
    }
    void put(quint8 b) { m_rgce.append(char(b)); }
    void put16(quint16 v) { appendU16(m_rgce, v); }
    // The class of an operand (a reference or name) where it stands.
    static quint8 operandClass(Want want)
    {
        return want == Want::Value ? ClassValue : want == Want::Array ? ClassArray : ClassRef;
    }
    // Blanks before a part: a space token (and one for line breaks).
    void space(const QString &s, int type)
    {
        const int breaks = s.count(QLatin1Char('\n'));
        const int blanks = s.count(QLatin1Char(' '));
        for (int n = breaks; n > 0; n -= 255) {
            put(0x19); put(0x40); put(quint8(type + 1)); put(quint8(std::min(n, 255)));
        }
        for (int n = blanks; n > 0; n -= 255) {
            put(0x19); put(0x40); put(quint8(type)); put(quint8(std::min(n, 255)));
        }
    }
    bool sheetNumber(const QString &name, int *n)
    {
        for (int i = 0; i < m_names.sheets.size(); ++i)
            if (m_names.sheets[i].compare(name, Qt::CaseInsensitive) == 0) {
                *n = i;
                return true;
            }
        if (m_why.isEmpty())
            m_missingSheet = name;
        return fail(QCoreApplication::translate("Xls", "there is no sheet '%1'").arg(name));
    }
    bool sheetRange(const Node &n, int *ixti)
    {
        int a, b;
        if (!sheetNumber(n.sheet1, &a) || !sheetNumber(n.sheet2, &b))
            return false;
        if (b < a)
            std::swap(a, b);
        *ixti = m_names.sheetRangeFor(a, b);
        if (*ixti < 0)
            return fail(QCoreApplication::translate("Xls", "the workbook has no reference table for the sheet '%1'").arg(n.sheet1));
        return true;
    }
    void refFields(int row, int col, bool rowRel, bool colRel, quint16 *rowField, quint16 *colField) const
    {
        const bool offsets = m_place.kind == FormulaKind::Shared;
        int r = row, c = col;
        if (offsets && rowRel)
            r = (row - m_place.row) & 0xFFFF;
        if (offsets && colRel)
            c = (col - m_place.col) & 0xFF;
        *rowField = quint16(r);
        *colField = quint16((c & 0xFF) | (colRel ? 0x4000 : 0) | (rowRel ? 0x8000 : 0));
    }
    bool reference(const Node &n, Want want)
    {
        const quint8 cls = operandClass(want);
        const bool shared = m_place.kind == FormulaKind::Shared;
        int ixti = -1;
        if (n.hasSheet && !sheetRange(n, &ixti))
            return false;
        space(n.space, 0);
        if (n.type == Node::RefError) {
            put(quint8((n.hasSheet ? 0x1C : 0x0A) | cls));
            if (n.hasSheet)
                put16(quint16(ixti));
            put16(0);
            put16(0);
            return true;
        }
        quint16 r1, c1, r2, c2;
        refFields(n.row1, n.col1, n.rowRel1, n.colRel1, &r1, &c1);
        if (n.type == Node::Cell) {
            put(quint8((n.hasSheet ? 0x1A : shared ? 0x0C : 0x04) | cls));
            if (n.hasSheet)
                put16(quint16(ixti));
            put16(r1);
            put16(c1);
            return true;
        }
        refFields(n.row2, n.col2, n.rowRel2, n.colRel2, &r2, &c2);
        put(quint8((n.hasSheet ? 0x1B : shared ? 0x0D : 0x05) | cls));
        if (n.hasSheet)
            put16(quint16(ixti));
        put16(r1);
        put16(r2);
        put16(c1);
        put16(c2);
        return true;
    }
    bool name(const Node &n, Want want)
    {
        int found = -1;
        for (size_t i = 0; i < m_names.names.size(); ++i) {
            const FormulaNames::DefinedName &d = m_names.names[i];
            if (d.text.compare(n.text, Qt::CaseInsensitive) != 0)
                continue;
            if (d.sheet == m_place.sheet + 1) {
                found = int(i);
                break;
            }
            if (d.sheet == 0 && found < 0)
                found = int(i);
        }
        // A name the workbook does not define is stored as Excel stores one:
        // as a name without a definition, which reads as #NAME?. What reads
        // as a cell is one beyond the grid (a cell inside it is no name).
        if (found < 0 && looksLikeCell(n.text))
            return fail(QCoreApplication::translate("Xls", "%1 lies outside the .xls grid (A1:IV65536)").arg(n.text));
        if (found < 0 && (found = m_names.addName(n.text, false) - 1) < 0)
            return fail(QCoreApplication::translate("Xls", "'%1' cannot be a name").arg(n.text.left(40)));
        space(n.space, 0);
        put(quint8(0x03 | operandClass(want)));
        put16(quint16(found + 1));
        put16(0);
        return true;
    }
    void string(const QString &s)
    {
        bool wide = false;
        for (const QChar c : s)
            wide = wide || c.unicode() > 0xFF;
        m_rgce.append(char(s.size()));
        m_rgce.append(char(wide ? 1 : 0));
        for (const QChar c : s) {
            if (wide)
                put16(c.unicode());
            else
                put(quint8(c.unicode()));
        }
    }
    bool array(const Node &n)
    {
        space(n.space, 0);
        put(quint8(0x00 | ClassArray)); // array constants are always of the array class
        // Excel repeats the size in the unused bytes.
        put(quint8(n.arrayCols - 1));
        put16(quint16(n.arrayRows - 1));
        m_rgce.append(4, '\0');
        m_extra.append(char(n.arrayCols - 1));
        appendU16(m_extra, quint16(n.arrayRows - 1));
        for (const auto &v : n.args) {
            switch (v->type) {
            case Node::Number:
                m_extra.append(char(0x01));
                appendDouble(m_extra, v->number);
                break;
            case Node::String: {
                if (v->text.size() > 255)
                    return fail(QCoreApplication::translate("Xls", "a text longer than 255 characters in a formula"));
                bool wide = false;
                for (const QChar c : v->text)
                    wide = wide || c.unicode() > 0xFF;
                m_extra.append(char(0x02));
                appendU16(m_extra, quint16(v->text.size()));
                m_extra.append(char(wide ? 1 : 0));
                for (const QChar c : v->text) {
                    if (wide)
                        appendU16(m_extra, c.unicode());
                    else
                        m_extra.append(char(c.unicode()));
                }
                break;
            }
            default:
                m_extra.append(char(v->type == Node::Boolean ? 0x04 : 0x10));
                m_extra.append(char(int(v->number)));
                m_extra.append(7, '\0');
                break;
            }
        }
        return true;
    }
    // The position where a jump lands: bytes from the end of the jump token.
    void patchJump(int tokenAt, int target) { qToLittleEndian<quint16>(quint16(target - tokenAt - 4), m_rgce.data() + tokenAt + 2); }
    bool call(const Node &n, Want want);
    bool node(const Node &n, Want want);

    const FormulaPlace &m_place;
    FormulaNames &m_names;
    QByteArray m_rgce, m_extra;
    bool m_volatile = false;
    QString m_why;
    QString m_missingSheet;
};

bool Compiler::call(const Node &n, Want want)
{
    const FunctionInfo *f = functionByName(n.text);
    const int argc = int(n.args.size());
    int udfRange = -1, udfName = -1;
    if (!f) {
        // A function the file format has no number for is called through
        // a name: one of the add-in table, or (those of Excel 2007 and
        // later) a hidden name of the workbook.
        const QString up = n.text.toUpper();
        for (size_t b = 0; b < m_names.supBooks.size() && udfName < 0; ++b) {
            if (m_names.supBooks[b].kind != FormulaNames::BookKind::AddIn)
                continue;
            const QStringList &ext = m_names.supBooks[b].externNames;
            for (int i = 0; i < ext.size(); ++i)
                if (ext[i].toUpper() == up || ext[i].toUpper() == QLatin1String("_XLFN.") + up) {
                    udfName = i + 1;
                    for (size_t r = 0; r < m_names.sheetRanges.size(); ++r)
                        if (m_names.sheetRanges[r].supBook == int(b))
                            udfRange = int(r);
                    break;
                }
        }
        int definedName = -1;
        for (size_t i = 0; i < m_names.names.size() && udfName < 0 && definedName < 0; ++i) {
            const QString t = m_names.names[i].text.toUpper();
            if (m_names.names[i].sheet == 0 && (t == up || t == QLatin1String("_XLFN.") + up))
                definedName = int(i) + 1;
        }
        // Where the workbook has none yet, it gets what Excel would write:
        // the hidden name of a newer function, or the name of an add-in
        // function. A function Excel does not know either is taken for an
        // add-in one, which reads as #NAME? until such an add-in is there.
        if ((udfName < 0 || udfRange < 0) && definedName < 0) {
            const NewerFunction *newer = newerFunction(QStringView(n.text));
            if (newer && newer->kind != NewerFunction::AddIn)
                definedName = m_names.addName(QLatin1String("_xlfn.") + QLatin1String(newer->name), true);
            else
                udfName = m_names.addInFunction(newer ? QString(QLatin1String(newer->name)) : n.text, &udfRange);
            if ((udfName < 0 || udfRange < 0) && definedName < 0)
                return fail(QCoreApplication::translate("Xls", "%1 cannot be called in this workbook").arg(n.text.left(40)));
        }
        if (argc > 29)
            return fail(QCoreApplication::translate("Xls", "%1 has more than 29 arguments").arg(n.text));
        if (definedName > 0) {
            put(0x23 | ClassRef);
            put16(quint16(definedName));
            put16(0);
        } else {
            put(0x39 | ClassRef);
            put16(quint16(udfRange));
            put16(quint16(udfName));
            put16(0);
        }
        for (const auto &a : n.args)
            if (!node(*a, want == Want::Array ? Want::Array : Want::Ref))
                return false;
        space(n.space, 0);
        space(n.spaceClose, 4);
        put(quint8(0x02 | (want == Want::Array ? ClassArray : ClassValue)));
        put(quint8(argc + 1));
        put16(UserDefinedFunction);
        return true;
    }
    if (argc < f->minArgs || argc > f->maxArgs)
        return fail(QCoreApplication::translate("Xls", "%1 takes %2 to %3 arguments, not %4")
                        .arg(QLatin1String(f->name)).arg(f->minArgs).arg(f->maxArgs).arg(argc));
    if (f->isVolatile)
        m_volatile = true;
    const auto argWant = [&](int i) {
        const char c = f->argClass(i);
        if (c == 'R')
            return Want::Ref;
        if (c == 'A' || want == Want::Array)
            return Want::Array;
        return Want::Value;
    };
    // A function's own token keeps the value class in array formulas, as
    // Excel writes them; only its operands turn to arrays.
    quint8 cls;
    if (want == Want::Array)
        cls = ClassValue;
    else if (want == Want::Ref || (want == Want::Root && f->resultClass == 'R'))
        cls = f->resultClass == 'R' ? ClassRef : f->resultClass == 'A' ? ClassArray : ClassValue;
    else
        cls = f->resultClass == 'A' && want == Want::Root ? ClassArray : ClassValue;
    const bool isIf = f->index == 1, isChoose = f->index == 100;
    std::vector<int> jumps;
    int choose = -1;
    for (int i = 0; i < argc; ++i) {
        // CHOOSE's jump table holds where each choice starts, from the table.
        if (isChoose && i > 0)
            qToLittleEndian<quint16>(quint16(m_rgce.size() - choose - 4), m_rgce.data() + choose + 4 + 2 * (i - 1));
        if (!node(*n.args[size_t(i)], argWant(i)))
            return false;
        if (isIf && i == 0) {
            jumps.push_back(m_rgce.size());
            put(0x19); put(0x02); put16(0);
        } else if (isChoose && i == 0) {
            choose = m_rgce.size();
            put(0x19); put(0x04); put16(quint16(argc - 1));
            m_rgce.append(2 * argc, '\0');
        } else if ((isIf || isChoose) && i > 0) {
            jumps.push_back(m_rgce.size());
            put(0x19); put(0x08); put16(0);
        }
    }
    space(n.space, 0);
    space(n.spaceClose, 4);
    const int end = m_rgce.size();
    if (f->index == 4 && argc == 1 && !f->fixedArgs && cls != ClassArray) {
        put(0x19); put(0x10); put16(0); // SUM of one argument
    } else if (f->fixedArgs) {
        put(quint8(0x01 | cls));
        put16(f->index);
    } else {
        put(quint8(0x02 | cls));
        put(quint8(argc));
        put16(f->index);
    }
    const int after = m_rgce.size();
    if (isIf && !jumps.empty()) {
        // IF jumps to the false branch, each branch past the call.
        if (jumps.size() > 1)
            patchJump(jumps[0], jumps[1] + 4);
        else
            patchJump(jumps[0], end);
        for (size_t k = 1; k < jumps.size(); ++k)
            qToLittleEndian<quint16>(quint16(after - jumps[k] - 4 - 1), m_rgce.data() + jumps[k] + 2);
    }
    if (isChoose && choose >= 0) {
        qToLittleEndian<quint16>(quint16(end - choose - 4), m_rgce.data() + choose + 4 + 2 * (argc - 1));
        for (int j : jumps)
            qToLittleEndian<quint16>(quint16(after - j - 4 - 1), m_rgce.data() + j + 2);
    }
    return true;
}

bool Compiler::node(const Node &n, Want want)
{
    switch (n.type) {
    case Node::Number: {
        space(n.space, 0);
        const double d = n.number;
        if (d >= 0 && d <= 65535 && std::floor(d) == d) {
            put(0x1E);
            put16(quint16(d));
        } else {
            put(0x1F);
            appendDouble(m_rgce, d);
        }
        return true;
    }
    case Node::String:
        if (n.text.size() > 255)
            return fail(QCoreApplication::translate("Xls", "a text longer than 255 characters in a formula"));
        space(n.space, 0);
        put(0x17);
        string(n.text);
        return true;
    case Node::Boolean:
        space(n.space, 0);
        put(0x1D);
        put(n.number != 0 ? 1 : 0);
        return true;
    case Node::Error:
        space(n.space, 0);
        put(0x1C);
        put(quint8(int(n.number)));
        return true;
    case Node::Missing:
        space(n.space, 0);
        put(0x16);
        return true;
    case Node::Cell:
    case Node::Area:
    case Node::RefError:
        return reference(n, want);
    case Node::Name:
        return name(n, want);
    case Node::Array:
        return array(n);
    case Node::Paren:
        if (!node(*n.args[0], want))
            return false;
        space(n.space, 2);
        space(n.spaceClose, 4);
        put(0x15);
        return true;
    case Node::Call:
        return call(n, want);
    case Node::Unary:
    case Node::Percent:
        if (!node(*n.args[0], want == Want::Array ? Want::Array : Want::Value))
            return false;
        space(n.space, 0);
        put(n.type == Node::Percent ? 0x14 : n.text == QLatin1String("-") ? 0x13 : 0x12);
        return true;
    case Node::Binary: {
        static const QStringList ops = {"+", "-", "*", "/", "^", "&", "<", "<=", "=", ">=", ">", "<>", " ", ",", ":"};
        const int op = ops.indexOf(n.text);
        if (op < 0)
            return fail(QCoreApplication::translate("Xls", "an unknown operator %1").arg(n.text));
        const bool refOp = op >= 12;
        const Want inner = refOp ? Want::Ref : want == Want::Array ? Want::Array : Want::Value;
        if (!node(*n.args[0], inner) || !node(*n.args[1], inner))
            return false;
        space(n.space, 0);
        put(quint8(0x03 + op));
        return true;
    }
    }
    return fail(QCoreApplication::translate("Xls", "an unknown part of a formula"));
}

} // namespace

bool compileFormula(const QString &text, const FormulaPlace &place, FormulaNames &names, FormulaTokens *tokens,
                    QString *why, QString *missingSheet)
{
    const std::unique_ptr<FormulaNode> root = parseFormula(text, why);
    if (!root)
        return false;
    const FormulaNames::Mark mark = names.mark();
    Compiler c(place, names);
    if (!c.run(*root, tokens, why)) {
        names.rollBack(mark); // what was added for a formula that fails is not kept
        if (missingSheet)
            *missingSheet = c.missingSheet();
        return false;
    }
    return true;
}

} // namespace Biff
} // namespace Excel
