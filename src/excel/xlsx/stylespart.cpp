#include "stylespart.h"

#include <QHash>

namespace Excel {
namespace Xlsx {

NumberFormatKind classifyNumberFormat(int id, const QString &code)
{
    // A code the styles part gives decides; otherwise the built-in ids: 9
    // and 10 are percentages, 14-22 and 45-47 dates and times, 27-36 and
    // 50-58 the East Asian date forms, 49 is Text.
    if (code.isEmpty()) {
        if (id == 9 || id == 10)
            return NumberFormatKind::Percentage;
        if ((id >= 14 && id <= 22) || (id >= 45 && id <= 47) || (id >= 27 && id <= 36) || (id >= 50 && id <= 58))
            return NumberFormatKind::DateTime;
        if (id == 49)
            return NumberFormatKind::Text;
        return NumberFormatKind::Number;
    }
    if (code == QLatin1String("@"))
        return NumberFormatKind::Text;
    bool percent = false;
    const int n = code.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = code[i];
        if (c == QLatin1Char('"')) {
            const int close = code.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0)
                break;
            i = close;
        } else if (c == QLatin1Char('\\') || c == QLatin1Char('_') || c == QLatin1Char('*')) {
            ++i; // the next character is literal (or a padding width)
        } else if (c == QLatin1Char('[')) {
            const int close = code.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0)
                break;
            const QString inside = code.mid(i + 1, close - i - 1).toLower();
            // [h], [mm], [ss]: elapsed time; anything else is a colour, a
            // condition or a locale.
            if (!inside.isEmpty() && (inside.count(inside[0]) == inside.size())
                && (inside[0] == QLatin1Char('h') || inside[0] == QLatin1Char('m') || inside[0] == QLatin1Char('s')))
                return NumberFormatKind::DateTime;
            i = close;
        } else if (c == QLatin1Char('%')) {
            percent = true;
        } else {
            const QChar l = c.toLower();
            if (l == QLatin1Char('y') || l == QLatin1Char('m') || l == QLatin1Char('d') || l == QLatin1Char('h')
                || l == QLatin1Char('s'))
                return NumberFormatKind::DateTime;
        }
    }
    return percent ? NumberFormatKind::Percentage : NumberFormatKind::Number;
}

namespace {

bool readUInt(const XmlAttribute *a, quint32 *value)
{
    if (!a)
        return false;
    bool ok = false;
    const uint v = QString::fromUtf8(a->rawValue.data(), int(a->rawValue.size())).toUInt(&ok);
    if (ok)
        *value = v;
    return ok;
}

bool isFalse(const XmlAttribute *a)
{
    return a && (a->rawValue == "0" || a->rawValue == "false");
}

} // namespace

bool StylesPart::parse(const QByteArray &data, const QString &partName, Conformance family, QString *error)
{
    const int ns = mainNamespace(family);
    QHash<quint32, QString> codes;
    std::vector<quint32> xfFormats;
    std::vector<bool> xfUnlocked;
    bool inCellXfs = false, inXf = false;
    XmlTokenizer t(data);
    while (t.next() != XmlTokenizer::EndOfDocument) {
        if (t.token() == XmlTokenizer::Invalid) {
            *error = partError(partName, t.errorString());
            return false;
        }
        if (t.token() == XmlTokenizer::StartElement && t.depth() == 1 && !t.is(ns, "styleSheet")) {
            *error = partError(partName, t.namespaceId() == mainNamespace(family == Conformance::Strict ? Conformance::Transitional : Conformance::Strict)
                                             ? QStringLiteral("mixes strict and transitional namespaces")
                                             : QStringLiteral("not a styles part"));
            return false;
        }
        if (t.namespaceId() != ns)
            continue;
        if (t.token() == XmlTokenizer::StartElement) {
            if (t.depth() == 3 && t.localName() == "numFmt") {
                quint32 id;
                if (readUInt(t.attribute("numFmtId"), &id))
                    codes.insert(id, attributeText(t.attribute("formatCode")));
            } else if (t.depth() == 2 && t.localName() == "cellXfs") {
                inCellXfs = true;
            } else if (inCellXfs && t.depth() == 3 && t.localName() == "xf") {
                quint32 id = 0;
                readUInt(t.attribute("numFmtId"), &id);
                xfFormats.push_back(id);
                xfUnlocked.push_back(false);
                inXf = true;
            } else if (inXf && t.depth() == 4 && t.localName() == "protection") {
                xfUnlocked.back() = isFalse(t.attribute("locked"));
            }
        } else if (t.token() == XmlTokenizer::EndElement) {
            if (t.depth() == 2 && t.localName() == "cellXfs")
                inCellXfs = false;
            else if (t.depth() == 3 && t.localName() == "xf")
                inXf = false;
        }
    }
    m_xfFlags.assign(xfFormats.size(), 0);
    QHash<quint32, quint8> kindCache;
    for (size_t i = 0; i < xfFormats.size(); ++i) {
        const quint32 id = xfFormats[i];
        auto it = kindCache.find(id);
        if (it == kindCache.end()) {
            const NumberFormatKind kind = classifyNumberFormat(int(id), codes.value(id));
            quint8 f = 0;
            if (kind == NumberFormatKind::DateTime || kind == NumberFormatKind::Percentage)
                f |= NotSearched;
            if (kind == NumberFormatKind::Text)
                f |= TextFormat;
            it = kindCache.insert(id, f);
        }
        m_xfFlags[i] = it.value() | (xfUnlocked[i] ? Unlocked : 0);
    }
    return true;
}

} // namespace Xlsx
} // namespace Excel
