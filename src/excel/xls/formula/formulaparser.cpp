#include "xls/formula/formulaparser.h"

#include "xls/formula/formulatokens.h"

#include <cmath>

#include <QCoreApplication>

namespace Excel {
namespace Biff {

namespace {

using Node = FormulaNode;
using NodePtr = std::unique_ptr<FormulaNode>;

constexpr int MaxDepth = 200; // nesting that Excel itself would refuse long before

bool isNameStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_') || c == QLatin1Char('\\');
}

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('.') || c == QLatin1Char('\\')
        || c == QLatin1Char('?');
}

class Parser
{
public:
    explicit Parser(const QString &text) : m_s(text) {}

    NodePtr run(QString *why)
    {
        NodePtr n = expression(false);
        if (n && m_pos < m_s.size()) {
            skipSpace(); // trailing blanks are not kept
            if (m_pos < m_s.size())
                fail(QCoreApplication::translate("Xls", "unexpected '%1' at position %2").arg(m_s.mid(m_pos, 10)).arg(m_pos + 1));
        }
        if (!m_why.isEmpty()) {
            *why = m_why;
            return nullptr;
        }
        return n;
    }

private:
    NodePtr fail(const QString &why)
    {
        if (m_why.isEmpty())
            m_why = why;
        return nullptr;
    }
    QChar at(int i) const { return i < m_s.size() ? m_s[i] : QChar(); }
    QString skipSpace()
    {
        const int from = m_pos;
        while (m_pos < m_s.size() && (m_s[m_pos] == QLatin1Char(' ') || m_s[m_pos] == QLatin1Char('\n')
                                      || m_s[m_pos] == QLatin1Char('\r')))
            ++m_pos;
        return m_s.mid(from, m_pos - from);
    }
    // The operator at the current position (after blanks), or empty.
    QString peekOperator(QString *space)
    {
        const int save = m_pos;
        *space = skipSpace();
        QString op;
        const QChar c = at(m_pos);
        if (c == QLatin1Char('<') && (at(m_pos + 1) == QLatin1Char('=') || at(m_pos + 1) == QLatin1Char('>')))
            op = m_s.mid(m_pos, 2);
        else if (c == QLatin1Char('>') && at(m_pos + 1) == QLatin1Char('='))
            op = m_s.mid(m_pos, 2);
        else if (QStringLiteral("+-*/^&=<>%:,").contains(c) && !c.isNull())
            op = QString(c);
        m_pos = save;
        return op;
    }
    NodePtr binary(NodePtr a, const QString &op, const QString &space, NodePtr b)
    {
        auto n = std::make_unique<Node>();
        n->type = Node::Binary;
        n->text = op;
        n->space = space;
        n->args.push_back(std::move(a));
        n->args.push_back(std::move(b));
        return n;
    }

    NodePtr expression(bool allowUnion)
    {
        if (++m_depth > MaxDepth)
            return fail(QCoreApplication::translate("Xls", "the formula nests too deeply"));
        NodePtr a = comparison();
        while (a && allowUnion) {
            QString space;
            if (peekOperator(&space) != QLatin1String(","))
                break;
            m_pos += space.size() + 1;
            NodePtr b = comparison();
            if (!b)
                return nullptr;
            a = binary(std::move(a), QStringLiteral(","), space, std::move(b));
        }
        --m_depth;
        return a;
    }
    template <typename Next>
    NodePtr leftAssoc(const QStringList &ops, Next next)
    {
        NodePtr a = (this->*next)();
        while (a) {
            QString space;
            const QString op = peekOperator(&space);
            if (!ops.contains(op))
                break;
            m_pos += space.size() + op.size();
            NodePtr b = (this->*next)();
            if (!b)
                return nullptr;
            a = binary(std::move(a), op, space, std::move(b));
        }
        return a;
    }
    NodePtr comparison() { return leftAssoc({"=", "<>", "<", ">", "<=", ">="}, &Parser::concat); }
    NodePtr concat() { return leftAssoc({"&"}, &Parser::additive); }
    NodePtr additive() { return leftAssoc({"+", "-"}, &Parser::multiplicative); }
    NodePtr multiplicative() { return leftAssoc({"*", "/"}, &Parser::power); }
    NodePtr power() { return leftAssoc({"^"}, &Parser::percent); }
    NodePtr percent()
    {
        NodePtr a = unary();
        while (a) {
            QString space;
            if (peekOperator(&space) != QLatin1String("%"))
                break;
            m_pos += space.size() + 1;
            auto n = std::make_unique<Node>();
            n->type = Node::Percent;
            n->space = space;
            n->args.push_back(std::move(a));
            a = std::move(n);
        }
        return a;
    }
    NodePtr unary()
    {
        QString space;
        const QString op = peekOperator(&space);
        if (op == QLatin1String("-") || op == QLatin1String("+")) {
            m_pos += space.size() + 1;
            if (++m_depth > MaxDepth)
                return fail(QCoreApplication::translate("Xls", "the formula nests too deeply"));
            NodePtr a = unary();
            --m_depth;
            if (!a)
                return nullptr;
            auto n = std::make_unique<Node>();
            n->type = Node::Unary;
            n->text = op;
            n->space = space;
            n->args.push_back(std::move(a));
            return n;
        }
        return rangeLevel();
    }
    static bool isReference(const Node &n)
    {
        return n.type == Node::Cell || n.type == Node::Area || n.type == Node::RefError || n.type == Node::Name
            || (n.type == Node::Binary && (n.text == QLatin1String(":") || n.text == QLatin1String(" ")))
            || (n.type == Node::Paren && isReference(*n.args[0])) || n.type == Node::Call;
    }
    NodePtr rangeLevel()
    {
        NodePtr a = primary();
        while (a) {
            QString space;
            const QString op = peekOperator(&space);
            if (op == QLatin1String(":")) {
                m_pos += space.size() + 1;
                NodePtr b = primary();
                if (!b)
                    return nullptr;
                a = binary(std::move(a), op, space, std::move(b));
                continue;
            }
            // Intersection: one blank between two references.
            if (op.isEmpty() && space == QLatin1String(" ") && isReference(*a)) {
                const int save = m_pos;
                m_pos += 1;
                const QChar c = at(m_pos);
                if (isNameStart(c) || c == QLatin1Char('$') || c == QLatin1Char('(') || c == QLatin1Char('\'')) {
                    NodePtr b = primary();
                    if (b && isReference(*b)) {
                        a = binary(std::move(a), QStringLiteral(" "), QString(), std::move(b));
                        continue;
                    }
                    m_why.clear();
                }
                m_pos = save;
            }
            break;
        }
        return a;
    }

    bool column(int *col, bool *rel)
    {
        int i = m_pos;
        *rel = true;
        if (at(i) == QLatin1Char('$')) {
            *rel = false;
            ++i;
        }
        int n = 0, len = 0;
        while (len < 4 && at(i).toLatin1() && at(i).isLetter()) {
            n = n * 26 + (at(i).toUpper().toLatin1() - 'A' + 1);
            ++i;
            ++len;
        }
        if (len == 0 || len > 3 || n > 256)
            return false;
        *col = n - 1;
        m_pos = i;
        return true;
    }
    bool rowNumber(int *row, bool *rel)
    {
        int i = m_pos;
        *rel = true;
        if (at(i) == QLatin1Char('$')) {
            *rel = false;
            ++i;
        }
        qint64 n = 0;
        int len = 0;
        while (at(i).toLatin1() >= '0' && at(i).toLatin1() <= '9' && len < 8) {
            n = n * 10 + (at(i).toLatin1() - '0');
            ++i;
            ++len;
        }
        if (len == 0 || n < 1 || n > 65536)
            return false;
        *row = int(n - 1);
        m_pos = i;
        return true;
    }
    bool endOfReference() const
    {
        const QChar c = at(m_pos);
        return !(isNameChar(c) || c == QLatin1Char('(') || c == QLatin1Char('$') || c == QLatin1Char('!'));
    }
    // A cell, area, whole columns or whole rows at the current position.
    bool reference(Node *n)
    {
        const int start = m_pos;
        int r1, c1, r2, c2;
        bool rr1, cr1, rr2, cr2;
        if (column(&c1, &cr1)) {
            if (rowNumber(&r1, &rr1)) {
                n->type = Node::Cell;
                n->row1 = r1; n->col1 = c1; n->rowRel1 = rr1; n->colRel1 = cr1;
                const int afterCell = m_pos;
                if (at(m_pos) == QLatin1Char(':')) {
                    ++m_pos;
                    if (column(&c2, &cr2) && rowNumber(&r2, &rr2) && endOfReference()) {
                        n->type = Node::Area;
                        n->row2 = r2; n->col2 = c2; n->rowRel2 = rr2; n->colRel2 = cr2;
                        return true;
                    }
                }
                m_pos = afterCell;
                if (endOfReference())
                    return true;
            } else if (at(m_pos) == QLatin1Char(':')) {
                ++m_pos;
                if (column(&c2, &cr2) && endOfReference()) {
                    n->type = Node::Area;
                    n->row1 = 0; n->row2 = 0xFFFF; n->rowRel1 = n->rowRel2 = false;
                    n->col1 = c1; n->colRel1 = cr1; n->col2 = c2; n->colRel2 = cr2;
                    return true;
                }
            }
        }
        m_pos = start;
        if (rowNumber(&r1, &rr1) && at(m_pos) == QLatin1Char(':')) {
            ++m_pos;
            if (rowNumber(&r2, &rr2) && endOfReference()) {
                n->type = Node::Area;
                n->col1 = 0; n->col2 = 0xFF; n->colRel1 = n->colRel2 = false;
                n->row1 = r1; n->rowRel1 = rr1; n->row2 = r2; n->rowRel2 = rr2;
                return true;
            }
        }
        m_pos = start;
        return false;
    }
    // "Sheet1!", "'My sheet'!", "S1:S3!": the sheet names, or false.
    bool sheetPrefix(QString *first, QString *last)
    {
        const int start = m_pos;
        QString name;
        if (at(m_pos) == QLatin1Char('\'')) {
            ++m_pos;
            for (;;) {
                if (m_pos >= m_s.size()) {
                    m_pos = start;
                    return false;
                }
                if (m_s[m_pos] == QLatin1Char('\'')) {
                    if (at(m_pos + 1) == QLatin1Char('\'')) {
                        name += QLatin1Char('\'');
                        m_pos += 2;
                        continue;
                    }
                    ++m_pos;
                    break;
                }
                name += m_s[m_pos++];
            }
        } else {
            while (m_pos < m_s.size() && (isNameChar(m_s[m_pos]) || m_s[m_pos] == QLatin1Char(':')))
                name += m_s[m_pos++];
        }
        if (at(m_pos) != QLatin1Char('!') || name.isEmpty()) {
            m_pos = start;
            return false;
        }
        const int colon = name.indexOf(QLatin1Char(':'));
        *first = colon < 0 ? name : name.left(colon);
        *last = colon < 0 ? name : name.mid(colon + 1);
        if (first->isEmpty() || last->isEmpty()) {
            // "S1:!" names no sheet range: nothing of it is taken.
            m_pos = start;
            return false;
        }
        ++m_pos;
        return true;
    }
    NodePtr constant()
    {
        auto n = std::make_unique<Node>();
        const QChar c = at(m_pos);
        if (c == QLatin1Char('"')) {
            ++m_pos;
            for (;;) {
                if (m_pos >= m_s.size())
                    return fail(QCoreApplication::translate("Xls", "a text is not closed"));
                if (m_s[m_pos] == QLatin1Char('"')) {
                    if (at(m_pos + 1) == QLatin1Char('"')) {
                        n->text += QLatin1Char('"');
                        m_pos += 2;
                        continue;
                    }
                    ++m_pos;
                    break;
                }
                n->text += m_s[m_pos++];
            }
            n->type = Node::String;
            return n;
        }
        if (c == QLatin1Char('#')) {
            for (int len = 7; len >= 4; --len) {
                const int code = FormulaText::errorCode(m_s.mid(m_pos, len));
                if (code >= 0) {
                    n->type = Node::Error;
                    n->number = code;
                    m_pos += len;
                    return n;
                }
            }
            return fail(QCoreApplication::translate("Xls", "an unknown error value at position %1").arg(m_pos + 1));
        }
        if (c.isDigit() || c == QLatin1Char('.')) {
            const int start = m_pos;
            while (at(m_pos).isDigit())
                ++m_pos;
            if (at(m_pos) == QLatin1Char('.'))
                ++m_pos;
            while (at(m_pos).isDigit())
                ++m_pos;
            if ((at(m_pos) == QLatin1Char('E') || at(m_pos) == QLatin1Char('e'))
                && (at(m_pos + 1).isDigit() || ((at(m_pos + 1) == QLatin1Char('+') || at(m_pos + 1) == QLatin1Char('-'))
                                                && at(m_pos + 2).isDigit()))) {
                m_pos += 2;
                while (at(m_pos).isDigit())
                    ++m_pos;
            }
            bool ok;
            n->number = m_s.mid(start, m_pos - start).toDouble(&ok);
            if (!ok || !std::isfinite(n->number))
                return fail(QCoreApplication::translate("Xls", "'%1' is not a number").arg(m_s.mid(start, m_pos - start)));
            n->type = Node::Number;
            return n;
        }
        if (m_s.mid(m_pos, 4).compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 && !isNameChar(at(m_pos + 4))
            && at(m_pos + 4) != QLatin1Char('(')) {
            n->type = Node::Boolean;
            n->number = 1;
            m_pos += 4;
            return n;
        }
        if (m_s.mid(m_pos, 5).compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0 && !isNameChar(at(m_pos + 5))
            && at(m_pos + 5) != QLatin1Char('(')) {
            n->type = Node::Boolean;
            m_pos += 5;
            return n;
        }
        return nullptr;
    }
    NodePtr arrayConstant()
    {
        auto n = std::make_unique<Node>();
        n->type = Node::Array;
        ++m_pos; // {
        int cols = 0, col = 0;
        for (;;) {
            skipSpace();
            bool negative = false;
            if (at(m_pos) == QLatin1Char('-') || at(m_pos) == QLatin1Char('+')) {
                negative = at(m_pos) == QLatin1Char('-');
                ++m_pos;
            }
            NodePtr v = constant();
            if (!v)
                return fail(QCoreApplication::translate("Xls", "an array constant holds something other than constants"));
            if (negative) {
                if (v->type != Node::Number)
                    return fail(QCoreApplication::translate("Xls", "a sign before a non-number in an array constant"));
                v->number = -v->number;
            }
            n->args.push_back(std::move(v));
            ++col;
            skipSpace();
            const QChar c = at(m_pos++);
            if (c == QLatin1Char(',')) {
                continue;
            } else if (c == QLatin1Char(';') || c == QLatin1Char('}')) {
                if (cols == 0)
                    cols = col;
                else if (col != cols)
                    return fail(QCoreApplication::translate("Xls", "the rows of an array constant differ in length"));
                col = 0;
                ++n->arrayRows;
                if (c == QLatin1Char('}'))
                    break;
            } else {
                return fail(QCoreApplication::translate("Xls", "an array constant is not closed"));
            }
        }
        n->arrayCols = cols;
        if (cols > 256 || n->arrayRows > 65535)
            return fail(QCoreApplication::translate("Xls", "an array constant is too large"));
        return n;
    }
    NodePtr call(NodePtr n)
    {
        n->type = Node::Call;
        ++m_pos; // (
        if (++m_depth > MaxDepth)
            return fail(QCoreApplication::translate("Xls", "the formula nests too deeply"));
        QString space;
        if (peekOperator(&space).isEmpty() && at(m_pos + space.size()) == QLatin1Char(')')) {
            n->spaceClose = space;
            m_pos += space.size() + 1;
            --m_depth;
            return n;
        }
        for (;;) {
            const int save = m_pos;
            const QString before = skipSpace();
            const QChar c = at(m_pos);
            NodePtr arg;
            if (c == QLatin1Char(',') || c == QLatin1Char(')')) {
                arg = std::make_unique<Node>();
                arg->type = Node::Missing;
                arg->space = before;
            } else {
                m_pos = save;
                arg = expression(false);
                if (!arg)
                    return nullptr;
            }
            n->args.push_back(std::move(arg));
            const QString after = skipSpace();
            const QChar d = at(m_pos++);
            if (d == QLatin1Char(','))
                continue;
            if (d == QLatin1Char(')')) {
                n->spaceClose = after;
                break;
            }
            return fail(QCoreApplication::translate("Xls", "%1( is not closed").arg(n->text));
        }
        --m_depth;
        return n;
    }
    NodePtr primary()
    {
        const QString space = skipSpace();
        NodePtr n = primaryAfterSpace();
        if (n)
            n->space = space + n->space;
        return n;
    }
    NodePtr primaryAfterSpace()
    {
        const QChar c = at(m_pos);
        if (c.isNull())
            return fail(QCoreApplication::translate("Xls", "the formula ends where a value is expected"));
        if (c == QLatin1Char('(')) {
            ++m_pos;
            auto n = std::make_unique<Node>();
            n->type = Node::Paren;
            NodePtr inner = expression(true);
            if (!inner)
                return nullptr;
            n->spaceClose = skipSpace();
            if (at(m_pos) != QLatin1Char(')'))
                return fail(QCoreApplication::translate("Xls", "a parenthesis is not closed"));
            ++m_pos;
            n->args.push_back(std::move(inner));
            return n;
        }
        if (c == QLatin1Char('{'))
            return arrayConstant();
        auto n = std::make_unique<Node>();
        const int start = m_pos;
        QString first, last;
        if (sheetPrefix(&first, &last)) {
            n->hasSheet = true;
            n->sheet1 = first;
            n->sheet2 = last;
            if (m_s.mid(m_pos, 5).compare(QLatin1String("#REF!"), Qt::CaseInsensitive) == 0) {
                m_pos += 5;
                n->type = Node::RefError;
                return n;
            }
            if (reference(n.get()))
                return n;
            return fail(QCoreApplication::translate("Xls", "a sheet name without a cell reference after it (%1)").arg(m_s.mid(start, 40)));
        }
        if (reference(n.get()))
            return n;
        if (m_s.mid(m_pos, 5).compare(QLatin1String("#REF!"), Qt::CaseInsensitive) == 0) {
            m_pos += 5;
            n->type = Node::RefError;
            return n;
        }
        if (NodePtr k = constant())
            return k;
        if (!m_why.isEmpty())
            return nullptr;
        if (isNameStart(c)) {
            while (m_pos < m_s.size() && isNameChar(m_s[m_pos]))
                ++m_pos;
            n->type = Node::Name;
            n->text = m_s.mid(start, m_pos - start);
            if (at(m_pos) == QLatin1Char('('))
                return call(std::move(n));
            return n;
        }
        return fail(QCoreApplication::translate("Xls", "unexpected '%1' at position %2").arg(c).arg(m_pos + 1));
    }

    const QString &m_s;
    int m_pos = 0;
    int m_depth = 0;
    QString m_why;
};

} // namespace

std::unique_ptr<FormulaNode> parseFormula(const QString &text, QString *why)
{
    return Parser(text).run(why);
}

} // namespace Biff
} // namespace Excel
