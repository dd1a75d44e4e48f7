#include "changeworkbook.h"

#include <charconv>

namespace {

// Data rows of a sheet: Excel's grid has 1,048,576 rows, one of them the
// header.
constexpr qint64 RowsPerSheet = 1048575;
// A sheet's XML part stays well below the 4 GB of a zip entry without
// ZIP64; a row is at most a few hundred KB.
constexpr quint64 SheetBytesLimit = quint64(3) << 30;
// XML is handed to the archive in blocks of about this size.
constexpr size_t RowBlock = 256 << 10;

const char XmlHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const char MainNamespace[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char RelationshipsNamespace[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char PackageRelationshipsNamespace[] = "http://schemas.openxmlformats.org/package/2006/relationships";
const char ContentTypePrefix[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.";

// What a byte of a text needs: 0 nothing, 1 a look (an escape, or the
// start of something that may need one).
struct ByteClasses
{
    unsigned char special[256] = {};
    ByteClasses()
    {
        for (int c = 0; c < 0x20; ++c)
            special[c] = 1;
        special[int('\t')] = special[int('\n')] = 0;
        special[int('&')] = special[int('<')] = special[int('>')] = special[int('_')] = 1;
        special[0xEF] = 1; // U+FFFE and U+FFFF begin with it
    }
};
const ByteClasses Classes;

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void appendEscape(std::string *out, unsigned code)
{
    static const char hex[] = "0123456789ABCDEF";
    const char e[] = {'_', 'x', hex[(code >> 12) & 15], hex[(code >> 8) & 15], hex[(code >> 4) & 15], hex[code & 15], '_'};
    out->append(e, sizeof e);
}

bool needsPreserve(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    return !text.empty() && (blank(text.front()) || blank(text.back()));
}

void appendNumber(std::string *out, qint64 n)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out->append(digits, size_t(end - digits));
}

std::string xmlText(const QString &text)
{
    std::string out;
    const QByteArray utf8 = text.toUtf8();
    appendCellXmlText(&out, std::string_view(utf8.constData(), size_t(utf8.size())));
    return out;
}

// A sheet's name inside a reference: in single quotes, its quotes doubled.
QString quotedSheetName(const QString &name)
{
    return QLatin1Char('\'') + QString(name).replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'');
}

QByteArray part(const std::string &body)
{
    return QByteArray(XmlHead) + QByteArray(body.data(), int(body.size()));
}

} // namespace

void appendCellXmlText(std::string *out, std::string_view text)
{
    const char *p = text.data();
    const char *end = p + text.size();
    while (p < end) {
        const char *run = p;
        while (p < end && !Classes.special[static_cast<unsigned char>(*p)])
            ++p;
        out->append(run, size_t(p - run));
        if (p == end)
            break;
        const unsigned char c = static_cast<unsigned char>(*p);
        switch (c) {
        case '&':
            out->append("&amp;", 5);
            break;
        case '<':
            out->append("&lt;", 4);
            break;
        case '>':
            out->append("&gt;", 4);
            break;
        case '\r':
            out->append("&#13;", 5);
            break;
        case '_':
            // "_x0041_" as it stands would be read as "A"; LibreOffice reads
            // fewer digits too ("_x00_").
            if (end - p >= 3 && p[1] == 'x' && isHex(p[2]))
                appendEscape(out, '_');
            else
                out->push_back('_');
            break;
        case 0xEF:
            if (end - p >= 3 && static_cast<unsigned char>(p[1]) == 0xBF
                && (static_cast<unsigned char>(p[2]) == 0xBE || static_cast<unsigned char>(p[2]) == 0xBF)) {
                appendEscape(out, static_cast<unsigned char>(p[2]) == 0xBE ? 0xFFFEu : 0xFFFFu);
                p += 3;
                continue;
            }
            out->push_back(char(c));
            break;
        default:
            appendEscape(out, c);
        }
        ++p;
    }
}

ChangeWorkbook::ChangeWorkbook(int fd, const QString &sheetName, const QStringList &headers)
    : m_zip(fd)
    , m_sheetName(sheetName)
    , m_headers(headers)
{
    m_rows.reserve(RowBlock + (64 << 10));
}

int ChangeWorkbook::shared(std::string_view text)
{
    ++m_sharedUses;
    const QByteArray key = QByteArray::fromRawData(text.data(), int(text.size()));
    const auto it = m_shared.constFind(key);
    if (it != m_shared.constEnd())
        return it.value();
    const int index = m_shared.size();
    m_shared.insert(QByteArray(text.data(), int(text.size())), index);
    m_sharedXml += needsPreserve(text) ? "<si><t xml:space=\"preserve\">" : "<si><t>";
    appendCellXmlText(&m_sharedXml, text);
    m_sharedXml += "</t></si>";
    return index;
}

void ChangeWorkbook::appendInlineCell(std::string_view text, const char *reference, const char *style)
{
    if (!reference && !style) {
        // The common cell, in fewer appends.
        m_rows += needsPreserve(text) ? "<c t=\"inlineStr\"><is><t xml:space=\"preserve\">" : "<c t=\"inlineStr\"><is><t>";
        appendCellXmlText(&m_rows, text);
        m_rows += "</t></is></c>";
        return;
    }
    m_rows += "<c";
    if (reference) {
        m_rows += " r=\"";
        m_rows += reference;
        m_rows += '"';
    }
    if (style) {
        m_rows += " s=\"";
        m_rows += style;
        m_rows += '"';
    }
    m_rows += needsPreserve(text) ? " t=\"inlineStr\"><is><t xml:space=\"preserve\">" : " t=\"inlineStr\"><is><t>";
    appendCellXmlText(&m_rows, text);
    m_rows += "</t></is></c>";
}

bool ChangeWorkbook::startSheet(QString *error)
{
    const int number = m_sheetNames.size() + 1;
    m_sheetNames << (number == 1 ? m_sheetName : QStringLiteral("%1 (%2)").arg(m_sheetName).arg(number));
    if (!m_zip.beginEntry(QByteArray("xl/worksheets/sheet") + QByteArray::number(number) + ".xml", error))
        return false;
    m_sheetRows = 0;
    m_rows += XmlHead;
    m_rows += "<worksheet xmlns=\"";
    m_rows += MainNamespace;
    m_rows += "\" xmlns:r=\"";
    m_rows += RelationshipsNamespace;
    m_rows += "\"><sheetViews><sheetView ";
    if (number == 1)
        m_rows += "tabSelected=\"1\" ";
    m_rows += "workbookViewId=\"0\"><pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"
              "<selection pane=\"bottomLeft\" activeCell=\"A2\" sqref=\"A2\"/></sheetView></sheetViews>"
              "<sheetFormatPr defaultRowHeight=\"15\"/><cols>"
              "<col min=\"1\" max=\"1\" width=\"60.7109375\" customWidth=\"1\"/>"
              "<col min=\"2\" max=\"2\" width=\"16.7109375\" customWidth=\"1\"/>"
              "<col min=\"3\" max=\"3\" width=\"10.7109375\" customWidth=\"1\"/>"
              "<col min=\"4\" max=\"5\" width=\"40.7109375\" customWidth=\"1\"/>"
              "</cols><sheetData><row r=\"1\">";
    char reference[4] = "A1";
    for (int c = 0; c < m_headers.size(); ++c) {
        reference[0] = char('A' + c);
        const QByteArray heading = m_headers[c].toUtf8();
        appendInlineCell(std::string_view(heading.constData(), size_t(heading.size())), reference, "1");
    }
    m_rows += "</row>";
    return true;
}

bool ChangeWorkbook::endSheet(QString *error)
{
    m_rows += "</sheetData><autoFilter ref=\"A1:";
    m_rows += char('A' + std::max(0, int(m_headers.size()) - 1));
    appendNumber(&m_rows, m_sheetRows + 1);
    m_rows += "\"/><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>"
              "</worksheet>";
    return flushRows(error) && m_zip.endEntry(error);
}

bool ChangeWorkbook::flushRows(QString *error)
{
    const bool ok = m_zip.write(m_rows.data(), m_rows.size(), error);
    m_rows.clear();
    return ok;
}

bool ChangeWorkbook::addRow(std::string_view file, std::string_view sheet, std::string_view cell,
                            std::string_view before, std::string_view after, QString *error)
{
    if (m_sheetNames.isEmpty() && !startSheet(error))
        return false;
    if (m_sheetRows == RowsPerSheet || m_zip.entrySize() + m_rows.size() > SheetBytesLimit) {
        if (!endSheet(error) || !startSheet(error))
            return false;
    }
    ++m_sheetRows;
    const qint64 row = m_sheetRows + 1;
    // Cells go without their names: each follows the one before it, unless
    // an empty text before it was left out.
    if (file != m_lastFile || m_lastFileIndex < 0) {
        m_lastFile.assign(file.data(), file.size());
        m_lastFileIndex = shared(file);
    } else {
        ++m_sharedUses;
    }
    if (sheet != m_lastSheet || m_lastSheetIndex < 0) {
        m_lastSheet.assign(sheet.data(), sheet.size());
        m_lastSheetIndex = shared(sheet);
    } else {
        ++m_sharedUses;
    }
    // Rows go without their numbers too: readers count rows and cells
    // without them on from the last one named.
    m_rows += "<row><c t=\"s\"><v>";
    appendNumber(&m_rows, m_lastFileIndex);
    m_rows += "</v></c><c t=\"s\"><v>";
    appendNumber(&m_rows, m_lastSheetIndex);
    m_rows += "</v></c>";
    appendInlineCell(cell);
    char reference[24];
    if (!before.empty())
        appendInlineCell(before);
    if (!after.empty()) {
        const char *name = nullptr;
        if (before.empty()) {
            reference[0] = 'E';
            *std::to_chars(reference + 1, reference + sizeof reference - 1, row).ptr = 0;
            name = reference;
        }
        appendInlineCell(after, name);
    }
    m_rows += "</row>";
    return m_rows.size() < RowBlock || flushRows(error);
}

bool ChangeWorkbook::finish(QString *error)
{
    if (m_sheetNames.isEmpty() && !startSheet(error))
        return false;
    if (!endSheet(error))
        return false;
    const int sheets = m_sheetNames.size();
    std::string types = "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>";
    const auto override = [&](const std::string &name, const char *type) {
        types += "<Override PartName=\"/" + name + "\" ContentType=\"" + ContentTypePrefix + type + "\"/>";
    };
    override("xl/workbook.xml", "sheet.main+xml");
    for (int s = 1; s <= sheets; ++s)
        override("xl/worksheets/sheet" + std::to_string(s) + ".xml", "worksheet+xml");
    override("xl/styles.xml", "styles+xml");
    override("xl/sharedStrings.xml", "sharedStrings+xml");
    types += "</Types>";

    const std::string packageRels = std::string("<Relationships xmlns=\"") + PackageRelationshipsNamespace + "\">"
        "<Relationship Id=\"rId1\" Type=\"" + RelationshipsNamespace + "/officeDocument\" Target=\"xl/workbook.xml\"/>"
        "</Relationships>";

    std::string workbook = std::string("<workbook xmlns=\"") + MainNamespace + "\" xmlns:r=\"" + RelationshipsNamespace
        + "\"><bookViews><workbookView/></bookViews><sheets>";
    std::string names = "<definedNames>";
    std::string rels = std::string("<Relationships xmlns=\"") + PackageRelationshipsNamespace + "\">";
    for (int s = 1; s <= sheets; ++s) {
        const std::string n = std::to_string(s);
        workbook += "<sheet name=\"" + xmlText(m_sheetNames[s - 1]) + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + RelationshipsNamespace + "/worksheet\" Target=\"worksheets/sheet"
            + n + ".xml\"/>";
        // The hidden name Excel keeps for a sheet's autofilter.
        const qint64 rows = s < sheets ? RowsPerSheet + 1 : m_sheetRows + 1;
        names += "<definedName name=\"_xlnm._FilterDatabase\" localSheetId=\"" + std::to_string(s - 1)
            + "\" hidden=\"1\">" + xmlText(quotedSheetName(m_sheetNames[s - 1])) + "!$A$1:$"
            + char('A' + std::max(0, int(m_headers.size()) - 1)) + "$" + std::to_string(rows) + "</definedName>";
    }
    workbook += "</sheets>" + names + "</definedNames></workbook>";
    rels += "<Relationship Id=\"rId" + std::to_string(sheets + 1) + "\" Type=\"" + RelationshipsNamespace
        + "/styles\" Target=\"styles.xml\"/><Relationship Id=\"rId" + std::to_string(sheets + 2) + "\" Type=\""
        + RelationshipsNamespace + "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>";

    const std::string styles = std::string("<styleSheet xmlns=\"") + MainNamespace + "\">"
        "<fonts count=\"2\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font>"
        "<font><b/><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts>"
        "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/></fill></fills>"
        "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
        "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
        "<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
        "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\"/></cellXfs>"
        "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles></styleSheet>";

    const std::string strings = std::string("<sst xmlns=\"") + MainNamespace + "\" count=\"" + std::to_string(m_sharedUses)
        + "\" uniqueCount=\"" + std::to_string(m_shared.size()) + "\">" + m_sharedXml + "</sst>";

    return m_zip.addEntry("xl/sharedStrings.xml", part(strings), error)
        && m_zip.addEntry("xl/styles.xml", part(styles), error) && m_zip.addEntry("xl/workbook.xml", part(workbook), error)
        && m_zip.addEntry("xl/_rels/workbook.xml.rels", part(rels), error)
        && m_zip.addEntry("_rels/.rels", part(packageRels), error)
        && m_zip.addEntry("[Content_Types].xml", part(types), error) && m_zip.finish(error);
}
