#pragma once

// The Open Packaging Conventions layer of a workbook: part names, content
// types and relationships, over the zip archive. Part names are written
// as OPC does ("/xl/workbook.xml") and compared without letter case.

#include "atomicsave.h"
#include "xlsx/xml/xmltokenizer.h"
#include "xlsx/zip/ziparchive.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <memory>

namespace Excel {
namespace Xlsx {

// The two namespace families of SpreadsheetML; one package uses one.
enum class Conformance { Transitional, Strict };

struct Relationship
{
    QString id;
    QString type;
    QString target;      // resolved part name, or the raw target when external
    bool external = false;
    qint64 begin = 0;    // the <Relationship> element in its part
    qint64 end = 0;
};

struct RelationshipSet
{
    QString partName;      // the .rels part ("" when there is none)
    QVector<Relationship> items;
    QHash<QString, int> index; // by id, the first of each

    const Relationship *byId(const QString &id) const;
    // The first internal relationship of the type (by its last path segment,
    // in the package's family); none when absent.
    const Relationship *firstOfKind(Conformance family, const QString &kind) const;
};

// The relationship type of a kind ("worksheet", "sharedStrings", ...) in a
// family; "xlMacrosheet" also matches Microsoft's own type.
bool relationshipIs(const QString &type, Conformance family, const QString &kind);
// Whether the type is a kind of the other family.
bool relationshipOfOtherFamily(const QString &type, Conformance family);

int mainNamespace(Conformance family);
int relationshipsNamespace(Conformance family);

// Reads a relationships part (relsPart) of the part sourcePart.
bool parseRelationships(const QByteArray &data, const QString &sourcePart, const QString &relsPart,
                        RelationshipSet *set, QString *error);

// Resolves a relationship target against the part that holds it.
QString resolvePartName(const QString &sourcePart, const QString &target);
// "/xl/_rels/workbook.xml.rels" for "/xl/workbook.xml"; "/_rels/.rels" for "/".
QString relationshipsPartOf(const QString &partName);

class OpcPackage
{
public:
    // Opens the zip archive and reads its content types; none with a reason.
    // opened: the file already open at path, taken over (none: opened here).
    static std::unique_ptr<OpcPackage> open(const QString &path, QString *error, OpenedFile *opened = nullptr);

    const QString &path() const { return m_path; }
    const ZipArchive &zip() const { return *m_zip; }
    const FileIdentity &identity() const { return m_identity; }
    void setIdentity(const FileIdentity &id) { m_identity = id; }

    // The zip entry of a part name; -1 when there is none.
    int entryOf(const QString &partName) const;
    bool hasPart(const QString &partName) const { return entryOf(partName) >= 0; }
    // Inflates a part; errors name the part.
    bool readPart(const QString &partName, QByteArray *data, QString *error) const;

    // The content type of a part (Override first, then Default by
    // extension); empty when none.
    QString contentType(const QString &partName) const;
    // The byte range of the part's Override element in [Content_Types].xml;
    // false when it has none.
    bool overrideElement(const QString &partName, qint64 *begin, qint64 *end) const;
    QString contentTypesPartName() const { return QStringLiteral("/[Content_Types].xml"); }

    // The relationships of a part ("/" for the package); an absent rels
    // part gives an empty set.
    bool relationships(const QString &partName, RelationshipSet *set, QString *error) const;

private:
    OpcPackage() = default;
    bool readContentTypes(QString *error);

    QString m_path;
    std::unique_ptr<ZipArchive> m_zip;
    FileIdentity m_identity;
    struct Override
    {
        QString folded;
        QString type;
        qint64 begin;
        qint64 end;
    };
    QVector<Override> m_overrides;
    QVector<QPair<QString, QString>> m_defaults; // folded extension, type
};

// Reads the text of an attribute (references resolved).
QString attributeText(const XmlAttribute *a);

// "xl/worksheets/sheet1.xml: " + message: the prefix of every error that
// concerns one part.
QString partError(const QString &partName, const QString &message);

} // namespace Xlsx
} // namespace Excel
