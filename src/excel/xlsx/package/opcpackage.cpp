#include "xlsx/package/opcpackage.h"

#include "xlsx/xml/xmltext.h"

#include <QCoreApplication>
#include <QUrl>

namespace Excel {
namespace Xlsx {

namespace {

const QString transitionalRelBase = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/");
const QString strictRelBase = QStringLiteral("http://purl.oclc.org/ooxml/officeDocument/relationships/");
const QString microsoftRelBase = QStringLiteral("http://schemas.microsoft.com/office/2006/relationships/");

QString fold(const QString &s)
{
    return s.toCaseFolded();
}

QString zipNameOf(const QString &partName)
{
    return partName.startsWith(QLatin1Char('/')) ? partName.mid(1) : partName;
}

} // namespace

QString attributeText(const XmlAttribute *a)
{
    return a ? decodeAttribute(a->rawValue) : QString();
}

QString partError(const QString &partName, const QString &message)
{
    return zipNameOf(partName) + QStringLiteral(": ") + message;
}

int mainNamespace(Conformance family)
{
    return family == Conformance::Strict ? NsMainStrict : NsMainTransitional;
}

int relationshipsNamespace(Conformance family)
{
    return family == Conformance::Strict ? NsRelationshipsStrict : NsRelationshipsTransitional;
}

bool relationshipIs(const QString &type, Conformance family, const QString &kind)
{
    const QString &base = family == Conformance::Strict ? strictRelBase : transitionalRelBase;
    if (type.size() == base.size() + kind.size() && type.startsWith(base) && type.endsWith(kind))
        return true;
    if (kind == QLatin1String("xlMacrosheet"))
        return type == microsoftRelBase + QLatin1String("xlMacrosheet")
               || type == microsoftRelBase + QLatin1String("xlIntlMacrosheet");
    return false;
}

bool relationshipOfOtherFamily(const QString &type, Conformance family)
{
    return type.startsWith(family == Conformance::Strict ? transitionalRelBase : strictRelBase);
}

QString relationshipsPartOf(const QString &partName)
{
    if (partName == QLatin1String("/"))
        return QStringLiteral("/_rels/.rels");
    const int slash = partName.lastIndexOf(QLatin1Char('/'));
    return partName.left(slash + 1) + QStringLiteral("_rels/") + partName.mid(slash + 1) + QStringLiteral(".rels");
}

QString resolvePartName(const QString &sourcePart, const QString &target)
{
    QString t = target;
    const int hash = t.indexOf(QLatin1Char('#'));
    if (hash >= 0)
        t.truncate(hash);
    QString path;
    if (t.startsWith(QLatin1Char('/')))
        path = t;
    else
        path = sourcePart.left(sourcePart.lastIndexOf(QLatin1Char('/')) + 1) + t;
    // Already in its normal form, as nearly every target is: one slash
    // before each segment, none at the end, and no segment "." or "..".
    if (path.startsWith(QLatin1Char('/')) && !path.endsWith(QLatin1Char('/')) && !path.contains(QLatin1String("//"))
        && !path.contains(QLatin1String("/.")))
        return path;
    QStringList out;
    for (const QString &seg : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (seg == QLatin1String("."))
            continue;
        if (seg == QLatin1String("..")) {
            if (!out.isEmpty())
                out.removeLast();
            continue;
        }
        out << seg;
    }
    return QStringLiteral("/") + out.join(QLatin1Char('/'));
}

const Relationship *RelationshipSet::byId(const QString &id) const
{
    auto it = index.constFind(id);
    return it == index.constEnd() ? nullptr : &items[it.value()];
}

const Relationship *RelationshipSet::firstOfKind(Conformance family, const QString &kind) const
{
    for (const Relationship &r : items)
        if (!r.external && relationshipIs(r.type, family, kind))
            return &r;
    return nullptr;
}

std::unique_ptr<OpcPackage> OpcPackage::open(const QString &path, QString *error, OpenedFile *opened)
{
    std::unique_ptr<OpcPackage> p(new OpcPackage);
    p->m_path = path;
    p->m_zip = opened ? ZipArchive::open(opened, error) : ZipArchive::open(path, error);
    if (!p->m_zip)
        return nullptr;
    // As the file was before it was read: a change while it was being read
    // shows at the save.
    p->m_identity = identityOf(p->m_zip->fileStatus());
    if (!p->readContentTypes(error))
        return nullptr;
    return p;
}

int OpcPackage::entryOf(const QString &partName) const
{
    const QString name = zipNameOf(partName);
    int i = m_zip->find(name);
    if (i < 0 && name.contains(QLatin1Char('%')))
        i = m_zip->find(QUrl::fromPercentEncoding(name.toUtf8()));
    return i;
}

bool OpcPackage::readPart(const QString &partName, QByteArray *data, QString *error) const
{
    const int i = entryOf(partName);
    if (i < 0) {
        *error = QCoreApplication::translate("Xlsx", "the package has no part %1").arg(zipNameOf(partName));
        return false;
    }
    return m_zip->read(i, data, error);
}

bool OpcPackage::readContentTypes(QString *error)
{
    const QString part = contentTypesPartName();
    QByteArray data;
    if (!readPart(part, &data, error)) {
        if (entryOf(part) < 0)
            *error = QCoreApplication::translate("Xlsx", "not a workbook package (no [Content_Types].xml)");
        return false;
    }
    XmlTokenizer t(data);
    while (t.next() != XmlTokenizer::EndOfDocument) {
        if (t.token() == XmlTokenizer::Invalid) {
            *error = partError(part, t.errorString());
            return false;
        }
        if (t.depth() != 2 || t.namespaceId() != NsContentTypes)
            continue;
        if (t.localName() == "Override") {
            if (t.token() == XmlTokenizer::StartElement) {
                const QString name = attributeText(t.attribute("PartName"));
                m_overrides.append({fold(name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/") + name),
                                    attributeText(t.attribute("ContentType")), t.tokenBegin(), 0});
            } else if (t.token() == XmlTokenizer::EndElement) {
                m_overrides.last().end = t.tokenEnd();
            }
        } else if (t.localName() == "Default" && t.token() == XmlTokenizer::StartElement) {
            m_defaults.append({fold(attributeText(t.attribute("Extension"))), attributeText(t.attribute("ContentType"))});
        }
    }
    return true;
}

QString OpcPackage::contentType(const QString &partName) const
{
    const QString key = fold(partName);
    for (const Override &o : m_overrides)
        if (o.folded == key)
            return o.type;
    const int dot = key.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < key.lastIndexOf(QLatin1Char('/')))
        return QString();
    const QString ext = key.mid(dot + 1);
    for (const auto &d : m_defaults)
        if (d.first == ext)
            return d.second;
    return QString();
}

bool OpcPackage::overrideElement(const QString &partName, qint64 *begin, qint64 *end) const
{
    const QString key = fold(partName);
    for (const Override &o : m_overrides) {
        if (o.folded == key && o.end > o.begin) {
            *begin = o.begin;
            *end = o.end;
            return true;
        }
    }
    return false;
}

bool OpcPackage::relationships(const QString &partName, RelationshipSet *set, QString *error) const
{
    set->items.clear();
    set->index.clear();
    const QString relsPart = relationshipsPartOf(partName);
    if (!hasPart(relsPart)) {
        set->partName.clear();
        return true;
    }
    QByteArray data;
    if (!readPart(relsPart, &data, error))
        return false;
    return parseRelationships(data, partName, relsPart, set, error);
}

bool parseRelationships(const QByteArray &data, const QString &sourcePart, const QString &relsPart,
                        RelationshipSet *set, QString *error)
{
    set->items.clear();
    set->index.clear();
    set->partName = relsPart;
    XmlTokenizer t(data);
    while (t.next() != XmlTokenizer::EndOfDocument) {
        if (t.token() == XmlTokenizer::Invalid) {
            *error = partError(relsPart, t.errorString());
            return false;
        }
        if (t.depth() == 1 && t.token() == XmlTokenizer::StartElement
            && !t.is(NsPackageRelationships, "Relationships")) {
            *error = partError(relsPart, QCoreApplication::translate("Xlsx", "not a relationships part"));
            return false;
        }
        if (t.depth() != 2 || !t.is(NsPackageRelationships, "Relationship"))
            continue;
        if (t.token() == XmlTokenizer::StartElement) {
            Relationship r;
            r.id = attributeText(t.attribute("Id"));
            r.type = attributeText(t.attribute("Type"));
            const QString target = attributeText(t.attribute("Target"));
            r.external = attributeText(t.attribute("TargetMode")) == QLatin1String("External");
            r.target = r.external ? target : resolvePartName(sourcePart, target);
            r.begin = t.tokenBegin();
            r.end = t.tokenEnd();
            if (!set->index.contains(r.id))
                set->index.insert(r.id, set->items.size());
            set->items.append(r);
        } else if (!set->items.isEmpty()) {
            set->items.last().end = t.tokenEnd();
        }
    }
    return true;
}

} // namespace Xlsx
} // namespace Excel
