#include "xlsx/book/ooxmlbook.h"

#include "xlsx/parts/sharedstringfold.h"

#include "atomicsave.h"
#include "xlsx/package/splicewriter.h"
#include "xlsx/xml/xmltext.h"
#include "xlsx/zip/zipwriter.h"

#include <QCoreApplication>
#include <QSet>

#include <algorithm>

namespace Excel {
namespace Xlsx {

namespace {

const QString officeDocumentTransitional =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument");
const QString officeDocumentStrict = QStringLiteral("http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument");

// Children of <workbook> that come before <calcPr>, in schema order.
bool precedesCalcPr(std::string_view local)
{
    static const char *const names[] = {"fileVersion", "fileSharing", "workbookPr", "workbookProtection", "bookViews",
                                        "sheets", "functionGroups", "externalReferences", "definedNames"};
    for (const char *n : names)
        if (local == n)
            return true;
    return false;
}

} // namespace

std::unique_ptr<OoxmlBook> OoxmlBook::open(const QString &path, QString *error, OpenedFile *opened)
{
    std::unique_ptr<OoxmlBook> book(new OoxmlBook);
    book->m_package = OpcPackage::open(path, error, opened);
    if (!book->m_package || !book->load(error))
        return nullptr;
    return book;
}

bool OoxmlBook::load(QString *error)
{
    m_context.package = m_package.get();
    m_context.styles = &m_styles;

    RelationshipSet root;
    if (!m_package->relationships(QStringLiteral("/"), &root, error))
        return false;
    const Relationship *office = nullptr;
    for (const Relationship &r : root.items) {
        if (r.external)
            continue;
        if (r.type == officeDocumentTransitional || r.type == officeDocumentStrict) {
            office = &r;
            break;
        }
    }
    if (!office) {
        *error = QCoreApplication::translate("Xlsx", "not a workbook package (no office document relationship)");
        return false;
    }
    m_context.family = office->type == officeDocumentStrict ? Conformance::Strict : Conformance::Transitional;
    const Conformance family = m_context.family;
    m_workbookPart = office->target;
    const QString type = m_package->contentType(m_workbookPart);
    if (type.contains(QLatin1String("binary")) || m_workbookPart.endsWith(QLatin1String(".bin"), Qt::CaseInsensitive)) {
        *error = QCoreApplication::translate("Xlsx", "binary workbooks (.xlsb) are not supported");
        return false;
    }
    if (!type.isEmpty() && !type.contains(QLatin1String("spreadsheetml")) && !type.contains(QLatin1String("ms-excel"))) {
        *error = QCoreApplication::translate("Xlsx", "not a spreadsheet (the package holds %1)").arg(type);
        return false;
    }
    if (!m_package->readPart(m_workbookPart, &m_workbookXml, error))
        return false;

    // The workbook part: sheets in tab order, the active tab, calcPr.
    const int ns = mainNamespace(family), rns = relationshipsNamespace(family);
    struct Listed
    {
        QString name, rid;
    };
    QVector<Listed> listed;
    bool firstView = true, inSheets = false;
    qint64 lastPreceding = -1;
    long long activeTab = 0;
    XmlTokenizer t(m_workbookXml);
    while (t.next() != XmlTokenizer::EndOfDocument) {
        if (t.token() == XmlTokenizer::Invalid) {
            *error = partError(m_workbookPart, t.errorString());
            return false;
        }
        const int d = t.depth();
        if (t.token() == XmlTokenizer::StartElement) {
            if (d == 1) {
                if (!t.is(ns, "workbook")) {
                    *error = partError(m_workbookPart, t.localName() == "workbook" && (t.namespaceId() == NsMainStrict || t.namespaceId() == NsMainTransitional)
                                                           ? QCoreApplication::translate("Xlsx", "mixes strict and transitional namespaces")
                                                           : QCoreApplication::translate("Xlsx", "not a workbook part"));
                    return false;
                }
                m_workbookPrefix = QByteArray(t.prefix().data(), int(t.prefix().size()));
                if (!m_workbookPrefix.isEmpty())
                    m_workbookPrefix += ':';
                m_calcPrInsertAt = t.tokenEnd();
                continue;
            }
            if (t.namespaceId() != ns)
                continue;
            if (d == 2 && t.localName() == "sheets") {
                inSheets = true;
            } else if (d == 3 && inSheets && t.localName() == "sheet") {
                listed.append({attributeText(t.attribute("name")), attributeText(t.attribute(rns, "id"))});
                if (listed.last().rid.isEmpty()) {
                    // A sheet whose r:id is in the other family's namespace.
                    const int other = family == Conformance::Strict ? NsRelationshipsTransitional : NsRelationshipsStrict;
                    *error = partError(m_workbookPart, t.attribute(other, "id") ? QCoreApplication::translate("Xlsx", "mixes strict and transitional namespaces")
                                                                                : QCoreApplication::translate("Xlsx", "a sheet without a relationship id"));
                    return false;
                }
            } else if (d == 3 && t.localName() == "workbookView" && firstView) {
                firstView = false;
                if (const XmlAttribute *a = t.attribute("activeTab")) {
                    bool ok = false;
                    activeTab = attributeText(a).toLongLong(&ok);
                    if (!ok)
                        activeTab = 0;
                }
            } else if (d == 2 && t.localName() == "calcPr") {
                m_calcPrBegin = t.tokenBegin();
                m_calcPrStartTagEnd = t.tokenEnd();
                m_calcPrSelfClosing = t.isSelfClosing();
                if (const XmlAttribute *a = t.attribute("fullCalcOnLoad")) {
                    m_fullCalcBegin = a->valueBegin;
                    m_fullCalcEnd = a->valueBegin + qint64(a->rawValue.size());
                }
            }
        } else if (t.token() == XmlTokenizer::EndElement) {
            if (d == 2 && t.namespaceId() == ns) {
                if (t.localName() == "sheets")
                    inSheets = false;
                if (precedesCalcPr(t.localName()))
                    lastPreceding = t.tokenEnd();
            }
        }
    }
    if (lastPreceding >= 0)
        m_calcPrInsertAt = lastPreceding;
    if (listed.isEmpty()) {
        *error = partError(m_workbookPart, QCoreApplication::translate("Xlsx", "the workbook has no sheets"));
        return false;
    }

    RelationshipSet rels;
    if (!m_package->relationships(m_workbookPart, &rels, error))
        return false;
    m_workbookRelsPart = rels.partName;
    for (const Relationship &r : rels.items) {
        if (!r.external && relationshipOfOtherFamily(r.type, family)) {
            *error = partError(rels.partName, QCoreApplication::translate("Xlsx", "mixes strict and transitional namespaces"));
            return false;
        }
    }
    for (const Listed &l : listed) {
        const Relationship *r = rels.byId(l.rid);
        if (!r || r->external) {
            *error = partError(m_workbookPart, QCoreApplication::translate("Xlsx", "sheet '%1' has no part").arg(l.name));
            return false;
        }
        SheetEntry e;
        e.name = l.name;
        e.partName = r->target;
        if (relationshipIs(r->type, family, QStringLiteral("worksheet")))
            e.kind = SheetKind::Worksheet;
        else if (relationshipIs(r->type, family, QStringLiteral("chartsheet")))
            e.kind = SheetKind::Chartsheet;
        else if (relationshipIs(r->type, family, QStringLiteral("dialogsheet")))
            e.kind = SheetKind::Dialogsheet;
        else if (relationshipIs(r->type, family, QStringLiteral("xlMacrosheet")))
            e.kind = SheetKind::Macrosheet;
        if (e.hasCells() && !m_package->hasPart(e.partName)) {
            *error = partError(m_workbookPart, QCoreApplication::translate("Xlsx", "sheet '%1': the package has no part %2").arg(l.name, e.partName.mid(1)));
            return false;
        }
        m_context.sheetNames.append(e.name);
        m_sheets.push_back(std::move(e));
    }
    m_activeSheet = activeTab >= 0 && activeTab < qint64(m_sheets.size()) ? int(activeTab) : 0;

    if (const Relationship *r = rels.firstOfKind(family, QStringLiteral("sharedStrings")))
        if (m_package->hasPart(r->target))
            m_sharedStringsPart = r->target;
    if (const Relationship *r = rels.firstOfKind(family, QStringLiteral("styles")))
        if (m_package->hasPart(r->target))
            m_stylesPart = r->target;
    m_hasRevisions = rels.firstOfKind(family, QStringLiteral("revisionHeaders")) != nullptr;
    if (const Relationship *r = rels.firstOfKind(family, QStringLiteral("calcChain"))) {
        m_calcChainPart = r->target;
        m_calcChainRelBegin = r->begin;
        m_calcChainRelEnd = r->end;
    }
    return true;
}

bool OoxmlBook::loadStyles(QString *error)
{
    if (m_stylesLoaded)
        return true;
    if (!m_stylesPart.isEmpty()) {
        QByteArray data;
        if (!m_package->readPart(m_stylesPart, &data, error) || !m_styles.parse(data, m_stylesPart, m_context.family, error))
            return false;
    }
    m_stylesLoaded = true;
    return true;
}

bool OoxmlBook::loadCellSupport(QString *error)
{
    if (m_cellSupportLoaded)
        return true;
    if (!loadStyles(error))
        return false;
    if (!m_sharedStringsPart.isEmpty()) {
        QByteArray data = std::move(m_sharedStringsBytes);
        m_sharedStringsBytes.clear();
        if (data.isEmpty() && !m_package->readPart(m_sharedStringsPart, &data, error))
            return false;
        auto table = std::make_unique<SharedStrings>();
        if (!table->parse(std::move(data), m_sharedStringsPart, m_context.family, error))
            return false;
        m_sharedStrings = std::move(table);
        m_context.sharedStrings = m_sharedStrings.get();
    }
    m_cellSupportLoaded = true;
    return true;
}


bool OoxmlBook::streams(int index) const
{
    const SheetEntry &e = m_sheets[size_t(index)];
    if (e.stream)
        return true;
    if (e.wholeOnly || e.part || !e.hasCells() || m_streamFrom == 0)
        return false;
    const int entry = m_package->entryOf(e.partName);
    if (entry < 0 || m_package->zip().entries()[size_t(entry)].uncompressedSize < m_streamFrom)
        return false;
    // A part that two sheets name is worked on whole.
    for (const SheetEntry &other : m_sheets)
        if (&other != &e && other.partName == e.partName)
            return false;
    return true;
}

bool OoxmlBook::flushStreams(int except, QString *error)
{
    for (int i = 0; i < sheetCount(); ++i) {
        SheetEntry &e = m_sheets[size_t(i)];
        if (i == except || !e.stream || e.stream->isFlushed())
            continue;
        QString why;
        if (e.stream->flush(&why))
            continue;
        if (m_streamedSheet != i) {
            *error = why;
            return false;
        }
        if (!takeWhole(i, error))
            return false;
    }
    return true;
}

bool OoxmlBook::finishWork(QString *error)
{
    if (m_streamError.isEmpty() && !flushStreams(-1, error))
        m_streamError = *error;
    *error = m_streamError;
    return m_streamError.isEmpty();
}

quint64 OoxmlBook::changedCells()
{
    QString error;
    finishWork(&error);
    return m_context.changedCells;
}

bool OoxmlBook::replace(int index, const QVector<CellArea> &areas, bool wholeSheet, const SearchPattern &pattern,
                        const QString &replacement, bool *changed, QString *error)
{
    *changed = false;
    error->clear();
    if (!flushStreams(index, error))
        return false;
    if (index >= 0 && index < sheetCount() && wholeSheet && streams(index)) {
        if (!loadCellSupport(error))
            return false;
        SheetEntry &e = m_sheets[size_t(index)];
        if (!e.stream) {
            m_beforeStream = m_context;
            if (m_sharedStrings)
                m_beforeStreamStrings = m_sharedStrings->mark();
            e.stream = std::make_unique<StreamedSheet>(&m_context, e.partName, m_windowBytes);
            m_streamedSheet = index;
        }
        QString why;
        if (e.stream->replace(pattern, replacement, changed, &why))
            return true;
        if (m_streamedSheet != index) {
            *error = why;
            return false;
        }
        // Not a sheet for windows after all: the whole part, from the start.
        WorksheetPart *part = takeWhole(index, error);
        return part && part->replace(everyCell(), pattern, replacement, changed, error);
    }
    WorksheetPart *part = worksheet(index, error);
    return part && part->replace(wholeSheet ? everyCell() : areas, pattern, replacement, changed, error);
}

WorksheetPart *OoxmlBook::takeWhole(int index, QString *error)
{
    SheetEntry &e = m_sheets[size_t(index)];
    if (m_streamedSheet != index) {
        *error = partError(e.partName, QCoreApplication::translate("Xlsx", "the sheet was worked on in parts before other sheets and cannot be read whole any more"));
        return nullptr;
    }
    const std::vector<StreamedSheet::Replace> replaces = e.stream->replaces();
    e.stream.reset();
    e.wholeOnly = true;
    m_streamedSheet = -1;
    m_context = m_beforeStream;
    if (m_sharedStrings)
        m_sharedStrings->backTo(m_beforeStreamStrings);
    WorksheetPart *part = worksheet(index, error);
    if (!part)
        return nullptr;
    for (const StreamedSheet::Replace &r : replaces) {
        bool changed;
        if (!part->replace(everyCell(), r.pattern, r.replacement, &changed, error))
            return nullptr;
    }
    return part;
}

WorksheetPart *OoxmlBook::worksheet(int index, QString *error)
{
    error->clear();
    if (index < 0 || index >= sheetCount())
        return nullptr;
    SheetEntry &e = m_sheets[size_t(index)];
    if (!e.hasCells())
        return nullptr;
    if (!flushStreams(index, error))
        return nullptr;
    if (e.stream)
        return takeWhole(index, error);
    if (index != m_streamedSheet)
        m_streamedSheet = -1;
    if (!loadCellSupport(error))
        return nullptr;
    if (m_loadedSheet >= 0 && m_loadedSheet != index && m_sheets[size_t(m_loadedSheet)].part) {
        // A changed sheet keeps its bytes for the save while those kept stay
        // small; any other is read again if it is used again.
        WorksheetPart *previous = m_sheets[size_t(m_loadedSheet)].part.get();
        if (previous->isChanged() && m_keptSheetBytes + previous->xmlSize() <= KeptSheetBytes)
            m_keptSheetBytes += previous->xmlSize();
        else
            previous->releaseXml();
    }
    if (!e.part)
        e.part = std::make_unique<WorksheetPart>(&m_context, e.partName);
    m_loadedSheet = index;
    bool loaded;
    if (m_prefetchedSheet == index && !e.part->isParsed()) {
        loaded = e.part->parseData(std::move(m_prefetched), error);
    } else {
        loaded = e.part->load(error);
    }
    m_prefetchedSheet = -1;
    m_prefetched.clear();
    if (!loaded) {
        if (!e.part->isParsed())
            e.part.reset();
        return nullptr;
    }
    return e.part.get();
}

bool OoxmlBook::reportChanges(CellChangeSink *sink, QString *error)
{
    if (!finishWork(error))
        return false;
    for (int i = 0; i < sheetCount(); ++i) {
        const SheetEntry &e = m_sheets[size_t(i)];
        if (e.stream) {
            if (e.stream->hasReportedChanges() && !e.stream->reportChanges(e.name, sink, error))
                return false;
            continue;
        }
        if (!e.part || !e.part->hasReportedChanges())
            continue;
        WorksheetPart *part = e.part.get();
        if (part->reportNeedsXml() && !(part = worksheet(i, error)))
            return false;
        if (!part->reportChanges(e.name, sink, error))
            return false;
    }
    return true;
}

bool OoxmlBook::sheetMayMatch(int index, const PartPrescan &scan)
{
    if (!scan.usable() || index < 0 || index >= sheetCount())
        return true;
    const SheetEntry &e = m_sheets[size_t(index)];
    if (!e.hasCells() || (e.part && e.part->isParsed()) || e.stream)
        return true;
    // Whatever cannot be read here is read again, and fails, when the
    // sheet is parsed.
    QString ignored;
    if (!m_sharedStringsPart.isEmpty()) {
        const QByteArray key = scan.needle() + char(scan.foldsCase());
        auto known = m_sharedStringsExcluded.constFind(key);
        if (known == m_sharedStringsExcluded.constEnd()) {
            if (!m_sharedStrings && m_sharedStringsBytes.isEmpty()
                && !m_package->readPart(m_sharedStringsPart, &m_sharedStringsBytes, &ignored))
                return true;
            const QByteArray &sst = m_sharedStrings ? m_sharedStrings->originalXml() : m_sharedStringsBytes;
            known = m_sharedStringsExcluded.insert(key, scan.excludes(sst.constData(), size_t(sst.size()), "sst"));
        }
        if (!known.value())
            return true;
    }
    const char *root = e.kind == SheetKind::Macrosheet ? "macrosheet" : "worksheet";
    if (streams(index)) {
        // A large sheet is looked at a window at a time, and not kept.
        return StreamedSheet(&m_context, e.partName, m_windowBytes).mayMatch(scan, root);
    }
    if (m_prefetchedSheet != index) {
        m_prefetchedSheet = -1;
        if (!m_package->readPart(e.partName, &m_prefetched, &ignored))
            return true;
        m_prefetchedSheet = index;
    }
    return !scan.excludes(m_prefetched.constData(), size_t(m_prefetched.size()), root);
}

bool OoxmlBook::needsCalcFlag() const
{
    if (!m_context.formulaChanged && !m_context.valueChanged)
        return false;
    if (m_fullCalcBegin >= 0) {
        const std::string_view v(m_workbookXml.constData() + m_fullCalcBegin, size_t(m_fullCalcEnd - m_fullCalcBegin));
        return v != "1" && v != "true";
    }
    return true;
}

bool OoxmlBook::mayFoldSharedStrings() const
{
    if (!m_sharedStrings || m_sharedStrings->size() == m_sharedStrings->sizeAsRead() || m_hasRevisions
        || m_context.sharedReferencesUnknown)
        return false;
    QSet<QString> parts;
    for (const SheetEntry &e : m_sheets) {
        if (!e.hasCells())
            continue;
        if ((!e.stream && (!e.part || !e.part->isParsed())) || parts.contains(e.partName))
            return false;
        parts.insert(e.partName);
    }
    return true;
}

bool OoxmlBook::isChanged() const
{
    return m_context.edits != m_savedEdits;
}

bool OoxmlBook::writeWorkbookPart(ByteSink *sink, QString *error) const
{
    // Full recalculation when the workbook is next opened.
    QByteArray before, insert;
    qint64 at, skip = 0;
    if (m_calcPrBegin >= 0 && m_fullCalcBegin >= 0) {
        at = m_fullCalcBegin;
        skip = m_fullCalcEnd - m_fullCalcBegin;
        insert = "1";
    } else if (m_calcPrBegin >= 0) {
        at = m_calcPrStartTagEnd - (m_calcPrSelfClosing ? 2 : 1);
        insert = " fullCalcOnLoad=\"1\"";
    } else {
        at = m_calcPrInsertAt;
        insert = "<" + m_workbookPrefix + "calcPr fullCalcOnLoad=\"1\"/>";
    }
    if (!sink->write(m_workbookXml.constData(), size_t(at)) || !sink->write(insert)
        || !sink->write(m_workbookXml.constData() + at + skip, size_t(m_workbookXml.size() - at - skip))) {
        *error = partError(m_workbookPart, QCoreApplication::translate("Xlsx", "cannot write"));
        return false;
    }
    return true;
}

bool OoxmlBook::writeWithout(const QString &partName, qint64 begin, qint64 end, ByteSink *sink, QString *error) const
{
    QByteArray data;
    if (!m_package->readPart(partName, &data, error))
        return false;
    if (begin < 0 || end > data.size() || begin > end) {
        *error = partError(partName, QCoreApplication::translate("Xlsx", "changed since it was read"));
        return false;
    }
    return writeSpliced(data, {{begin, end, QByteArray()}}, partName, sink, error);
}

bool OoxmlBook::save(QString *error)
{
    std::unique_ptr<PendingSave> pending;
    return prepareSave(&pending, error) && (!pending || pending->commit(error));
}

bool OoxmlBook::prepareSave(std::unique_ptr<PendingSave> *pending, QString *error)
{
    pending->reset();
    if (!finishWork(error))
        return false;
    if (!isChanged())
        return true;
    ZipChanges changes;
    std::vector<size_t> changedSheets;
    std::vector<const WorksheetPart *> parts;
    for (size_t i = 0; i < m_sheets.size(); ++i) {
        if (m_sheets[i].part && m_sheets[i].part->isParsed())
            parts.push_back(m_sheets[i].part.get());
        if (m_sheets[i].part && m_sheets[i].part->isChanged())
            changedSheets.push_back(i);
    }
    std::vector<const GatheredMoves *> gathered;
    std::vector<size_t> streamed;
    for (size_t i = 0; i < m_sheets.size(); ++i) {
        if (m_sheets[i].stream) {
            gathered.push_back(&m_sheets[i].stream->moves());
            streamed.push_back(i);
        }
    }
    auto fold = std::make_shared<SharedStringFold>();
    if (mayFoldSharedStrings())
        *fold = foldSharedStrings(parts, m_context, gathered);
    for (size_t k = 0; k < streamed.size(); ++k) {
        const StreamedSheet *sheet = m_sheets[streamed[k]].stream.get();
        if (!sheet->isChanged() || (k < fold->gatheredAsRead.size() && fold->gatheredAsRead[k]))
            continue;
        changes.replaced[m_package->entryOf(sheet->partName())] = [sheet, fold](ByteSink *sink, QString *why) {
            return sheet->write(sink, *fold, why);
        };
    }
    for (const size_t i : changedSheets) {
        SheetEntry &e = m_sheets[i];
        const size_t k = size_t(std::find(parts.begin(), parts.end(), e.part.get()) - parts.begin());
        std::vector<quint32> asRead;
        if (k < fold->cellsAsRead.size()) {
            if (fold->partAsRead[k])
                continue; // its only changes went into the shared strings
            asRead = std::move(fold->cellsAsRead[k]);
        }
        const int entry = m_package->entryOf(e.partName);
        const int index = int(i);
        changes.replaced[entry] = [this, index, asRead](ByteSink *sink, QString *why) {
            WorksheetPart *part = worksheet(index, why);
            if (!part)
                return false;
            const bool ok = part->write(sink, why, asRead);
            part->releaseXml();
            return ok;
        };
    }
    if (m_sharedStrings && m_sharedStrings->isChanged()) {
        const SharedStrings *table = m_sharedStrings.get();
        changes.replaced[m_package->entryOf(table->partName())] = [table, inPlace = fold->table](ByteSink *sink,
                                                                                            QString *why) {
            return table->write(sink, why, inPlace);
        };
    }
    if (needsCalcFlag())
        changes.replaced[m_package->entryOf(m_workbookPart)] = [this](ByteSink *sink, QString *why) {
            return writeWorkbookPart(sink, why);
        };
    if (m_context.formulaRemoved && !m_calcChainPart.isEmpty()) {
        // The chain would name cells that no longer hold formulas: it goes,
        // with its relationship and its content type.
        const int chain = m_package->entryOf(m_calcChainPart);
        if (chain >= 0)
            changes.removed.insert(chain);
        const QString rels = m_workbookRelsPart;
        const qint64 rb = m_calcChainRelBegin, re = m_calcChainRelEnd;
        changes.replaced[m_package->entryOf(rels)] = [this, rels, rb, re](ByteSink *sink, QString *why) {
            return writeWithout(rels, rb, re, sink, why);
        };
        qint64 ob, oe;
        if (m_package->overrideElement(m_calcChainPart, &ob, &oe)) {
            const QString types = m_package->contentTypesPartName();
            changes.replaced[m_package->entryOf(types)] = [this, types, ob, oe](ByteSink *sink, QString *why) {
                return writeWithout(types, ob, oe, sink, why);
            };
        }
    }

    auto out = std::make_unique<AtomicSave>();
    const FileIdentity expected = m_package->identity();
    if (!out->begin(m_package->path(), &expected, error))
        return false;
    if (!writeZipArchive(m_package->zip(), changes, out->fd(), error))
        return false;
    const quint64 edits = m_context.edits;
    *pending = std::make_unique<PendingSave>(std::move(out), [this, edits](const FileIdentity &written) {
        m_package->setIdentity(written);
        m_savedEdits = edits;
    });
    return true;
}

} // namespace Xlsx
} // namespace Excel
