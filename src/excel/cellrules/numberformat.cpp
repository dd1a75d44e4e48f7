#include "numberformat.h"

namespace Excel {

bool builtinFormatShowsDateTimeOrPercent(int id)
{
    return id == 9 || id == 10                // 0%, 0.00%
        || (id >= 14 && id <= 22)             // dates and times
        || (id >= 27 && id <= 36)             // East Asian dates and times
        || (id >= 45 && id <= 47)             // mm:ss, [h]:mm:ss, mm:ss.0
        || (id >= 50 && id <= 58);            // East Asian dates and times
}

bool builtinFormatIsText(int id)
{
    return id == 49;
}

bool formatCodeShowsDateTimeOrPercent(const QString &code)
{
    const int n = code.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = code.at(i);
        switch (c.unicode()) {
        case '"': {
            const int close = code.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0)
                return false;
            i = close;
            continue;
        }
        case '\\':
        case '_':
        case '*':
            ++i; // the next character is literal (or a spacing/fill char)
            continue;
        case '[': {
            const int close = code.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0)
                return false;
            const QString inner = code.mid(i + 1, close - i - 1).toLower();
            if (!inner.isEmpty() && (inner.count(QLatin1Char('h')) == inner.size()
                                     || inner.count(QLatin1Char('m')) == inner.size()
                                     || inner.count(QLatin1Char('s')) == inner.size()))
                return true; // elapsed time
            i = close;
            continue;
        }
        case '%':
            return true;
        default:
            break;
        }
        if (code.midRef(i, 7).compare(QLatin1String("general"), Qt::CaseInsensitive) == 0) {
            i += 6;
            continue;
        }
        switch (c.toLower().unicode()) {
        case 'd':
        case 'm':
        case 'y':
        case 'h':
        case 's':
            return true;
        default:
            break;
        }
    }
    return false;
}

bool formatCodeIsText(const QString &code)
{
    return code.trimmed() == QLatin1String("@");
}

} // namespace Excel
