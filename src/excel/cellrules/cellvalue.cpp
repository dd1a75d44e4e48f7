#include "cellvalue.h"

#include <QCoreApplication>
#include <QVector>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Excel {

namespace {

QString exponentText(int exp)
{
    QString s = exp < 0 ? QStringLiteral("E-") : QStringLiteral("E+");
    const int a = std::abs(exp);
    if (a < 10)
        s += QLatin1Char('0');
    s += QString::number(a);
    return s;
}

RetypeResult failed(const QString &why)
{
    RetypeResult r;
    r.ok = false;
    r.error = why;
    return r;
}

// An edit that leaves no text leaves an empty cell.
RetypeResult checkedText(const QString &text)
{
    if (text.isEmpty())
        return RetypeResult();
    if (text.size() > MaxCellTextLength)
        return failed(QCoreApplication::translate("Excel", "the new text is longer than %1 characters").arg(MaxCellTextLength));
    RetypeResult r;
    r.value = CellValue::makeText(text);
    return r;
}

RetypeResult checkedFormula(const QString &body)
{
    if (!isWellFormedFormula(body))
        return failed(QCoreApplication::translate("Excel", "the new formula is not well-formed: =%1").arg(body.left(80)));
    if (body.size() + 1 > 8192)
        return failed(QCoreApplication::translate("Excel", "the new formula is longer than 8192 characters"));
    RetypeResult r;
    r.value = CellValue::makeFormula(body);
    return r;
}

RetypeResult numberOrText(const QString &text)
{
    double d;
    if (readsAsNumber(text, &d)) {
        RetypeResult r;
        r.value = CellValue::makeNumber(d);
        return r;
    }
    return checkedText(text);
}

} // namespace

QString formulaBarNumber(double value)
{
    if (!std::isfinite(value))
        return QString();
    if (value == 0)
        return QStringLiteral("0");
    // 15 significant digits, d.dddddddddddddde±X, exactly as printf's %.14e
    // writes them (to_chars rounds the same way, and is several times
    // faster: a search over numbers formats every one).
    char buf[40];
    *std::to_chars(buf, buf + sizeof buf - 1, value, std::chars_format::scientific, 14).ptr = '\0';
    const char *ePos = std::strchr(buf, 'e');
    const int exp = std::atoi(ePos + 1);
    const bool negative = buf[0] == '-';
    char digits[20];
    int count = 0;
    for (const char *p = buf + (negative ? 1 : 0); p < ePos; ++p)
        if (*p >= '0' && *p <= '9')
            digits[count++] = *p;
    while (count > 1 && digits[count - 1] == '0')
        --count;
    char out[48];
    int n = 0;
    if (negative)
        out[n++] = '-';
    if (exp >= 15 || exp < -9) {
        out[n++] = digits[0];
        if (count > 1) {
            out[n++] = '.';
            for (int i = 1; i < count; ++i)
                out[n++] = digits[i];
        }
        return QString::fromLatin1(out, n) + exponentText(exp);
    }
    if (exp >= 0) {
        for (int i = 0; i <= exp; ++i)
            out[n++] = i < count ? digits[i] : '0';
        if (count > exp + 1) {
            out[n++] = '.';
            for (int i = exp + 1; i < count; ++i)
                out[n++] = digits[i];
        }
    } else {
        out[n++] = '0';
        out[n++] = '.';
        for (int i = 0; i < -exp - 1; ++i)
            out[n++] = '0';
        for (int i = 0; i < count; ++i)
            out[n++] = digits[i];
    }
    return QString::fromLatin1(out, n);
}

QString storedNumberText(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    char buf[40];
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, value);
        if (std::strtod(buf, nullptr) == value)
            break;
    }
    return QString::fromLatin1(buf).toUpper();
}

bool readsAsNumber(const QString &text, double *value)
{
    const int n = text.size();
    int i = 0;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    int digits = 0;
    while (i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
            ++i;
        int expDigits = 0;
        while (i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    if (i != n)
        return false;
    const QByteArray latin = text.toLatin1();
    const double d = std::strtod(latin.constData(), nullptr);
    if (!std::isfinite(d))
        return false;
    *value = d;
    return true;
}

bool readsAsBoolean(const QString &text, bool *value)
{
    if (text.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0) {
        *value = true;
        return true;
    }
    if (text.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0) {
        *value = false;
        return true;
    }
    return false;
}

QString booleanText(bool value)
{
    return value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

bool isWellFormedFormula(const QString &body)
{
    if (body.trimmed().isEmpty())
        return false;
    QVector<QChar> open;
    const int n = body.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = body[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            // "" inside a string and '' inside a sheet name stand for one quote.
            int j = i + 1;
            for (;;) {
                if (j >= n)
                    return false;
                if (body[j] == c) {
                    if (j + 1 < n && body[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            i = j;
            continue;
        }
        if (c == QLatin1Char('(') || c == QLatin1Char('{') || c == QLatin1Char('[')) {
            open.append(c);
        } else if (c == QLatin1Char(')') || c == QLatin1Char('}') || c == QLatin1Char(']')) {
            const QChar expected = c == QLatin1Char(')') ? QLatin1Char('(')
                                 : c == QLatin1Char('}') ? QLatin1Char('{') : QLatin1Char('[');
            if (open.isEmpty() || open.last() != expected)
                return false;
            open.removeLast();
        }
    }
    return open.isEmpty();
}

RetypeResult retypeText(const QString &newText)
{
    return checkedText(newText);
}

RetypeResult retypeNumber(const QString &newText)
{
    return numberOrText(newText);
}

RetypeResult retypeBoolean(const QString &newText)
{
    bool b;
    if (readsAsBoolean(newText, &b)) {
        RetypeResult r;
        r.value = CellValue::makeBoolean(b);
        return r;
    }
    return numberOrText(newText);
}

QString missingSheetReason(const QString &body, const QString &sheet)
{
    return QCoreApplication::translate("Excel", "=%1 refers to the sheet '%2', which the workbook does not have "
                          "(Excel would take it for a link to another file)")
        .arg(body.left(80), sheet);
}

RetypeResult retypeFormula(const QString &newTextWithEquals)
{
    if (newTextWithEquals.startsWith(QLatin1Char('=')))
        return checkedFormula(newTextWithEquals.mid(1));
    return numberOrText(newTextWithEquals);
}

RetypeResult typedInput(const QString &text, bool cellIsTextFormatted)
{
    if (text.isEmpty())
        return RetypeResult();
    if (cellIsTextFormatted)
        return checkedText(text);
    if (text.startsWith(QLatin1Char('\'')))
        return checkedText(text.mid(1));
    if (text.startsWith(QLatin1Char('=')))
        return checkedFormula(text.mid(1));
    bool b;
    if (readsAsBoolean(text, &b)) {
        RetypeResult r;
        r.value = CellValue::makeBoolean(b);
        return r;
    }
    return numberOrText(text);
}

} // namespace Excel
