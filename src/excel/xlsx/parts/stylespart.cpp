#include "xlsx/parts/stylespart.h"

#include "cellrules/numberformat.h"

#include <QCoreApplication>
#include <QHash>

namespace Excel {
namespace Xlsx {

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
                                             ? QCoreApplication::translate("Xlsx", "mixes strict and transitional namespaces")
                                             : QCoreApplication::translate("Xlsx", "not a styles part"));
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
            // A code the styles part gives decides; otherwise the built-in id.
            const QString code = codes.value(id);
            quint8 f = 0;
            if (code.isEmpty() ? builtinFormatShowsDateTimeOrPercent(int(id)) : formatCodeShowsDateTimeOrPercent(code))
                f |= NotSearched;
            if (code.isEmpty() ? builtinFormatIsText(int(id)) : formatCodeIsText(code))
                f |= TextFormat;
            it = kindCache.insert(id, f);
        }
        m_xfFlags[i] = it.value() | (xfUnlocked[i] ? Unlocked : 0);
    }
    return true;
}

} // namespace Xlsx
} // namespace Excel
