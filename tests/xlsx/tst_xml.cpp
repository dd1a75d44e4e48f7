#include "xlsx/package/opcpackage.h"
#include "xlsx/cells/partprescan.h"
#include "xlsx/xml/plaintextbytes.h"
#include "xlsx/xml/xmltext.h"
#include "xlsx/xml/xmltokenizer.h"
#include "xlsx/zip/ziparchive.h"

#include <QDir>
#include <QXmlStreamReader>
#include <QtTest>

using namespace Excel::Xlsx;

class TestXml : public QObject
{
    Q_OBJECT

    // One line per token: kind, then what identifies it, then the exact
    // bytes the token's offsets cover.
    static QString trace(const QByteArray &doc, QString *error = nullptr)
    {
        XmlTokenizer t(doc);
        QStringList out;
        for (;;) {
            const auto tok = t.next();
            if (tok == XmlTokenizer::EndOfDocument)
                break;
            if (tok == XmlTokenizer::Invalid) {
                if (error)
                    *error = t.errorString();
                return QString();
            }
            const QString bytes = QString::fromUtf8(doc.mid(int(t.tokenBegin()), int(t.tokenEnd() - t.tokenBegin())));
            QString line;
            switch (tok) {
            case XmlTokenizer::StartElement: {
                line = QStringLiteral("S %1:%2").arg(t.namespaceId()).arg(QString::fromUtf8(t.localName().data(), int(t.localName().size())));
                for (const XmlAttribute &a : t.attributes())
                    line += QStringLiteral(" %1:%2=%3").arg(a.ns).arg(QString::fromUtf8(a.localName.data(), int(a.localName.size())),
                                                                      decodeAttribute(a.rawValue));
                break;
            }
            case XmlTokenizer::EndElement:
                line = QStringLiteral("E %1:%2").arg(t.namespaceId()).arg(QString::fromUtf8(t.localName().data(), int(t.localName().size())));
                break;
            case XmlTokenizer::Characters:
                line = QStringLiteral("T ") + decodeCharacters(t.text());
                break;
            case XmlTokenizer::CData:
                line = QStringLiteral("D ") + decodeCData(t.text());
                break;
            case XmlTokenizer::Comment:
                line = QStringLiteral("C");
                break;
            case XmlTokenizer::ProcessingInstruction:
                line = QStringLiteral("P");
                break;
            default:
                break;
            }
            out << line + QStringLiteral(" [") + bytes + QStringLiteral("]");
        }
        return out.join(QLatin1Char('\n'));
    }

private slots:
    void tokens_data()
    {
        QTest::addColumn<QByteArray>("doc");
        QTest::addColumn<QString>("expected");
        const int m = NsMainTransitional, r = NsRelationshipsTransitional;
        QTest::newRow("cell with offsets")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<sheetData xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                          "<c r=\"A1\" t='s'><v>12</v></c><c r=\"B1\"/></sheetData>")
            << QString("S %1:sheetData 2:xmlns=http://schemas.openxmlformats.org/spreadsheetml/2006/main [<sheetData xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">]\n"
                       "S %1:c 0:r=A1 0:t=s [<c r=\"A1\" t='s'>]\nS %1:v [<v>]\nT 12 [12]\nE %1:v [</v>]\nE %1:c [</c>]\n"
                       "S %1:c 0:r=B1 [<c r=\"B1\"/>]\nE %1:c []\nE %1:sheetData [</sheetData>]").arg(m);
        QTest::newRow("prefixes, redeclared and shadowed")
            << QByteArray("<x:a xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><x:b xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" r:id=\"rId1\"/>"
                          "<x:c xmlns:x=\"urn:other\"><x:d/></x:c><x:e/></x:a>")
            << QString("S %1:a 2:x=http://schemas.openxmlformats.org/spreadsheetml/2006/main [<x:a xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">]\n"
                       "S %1:b 2:r=http://schemas.openxmlformats.org/officeDocument/2006/relationships %2:id=rId1 [<x:b xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" r:id=\"rId1\"/>]\n"
                       "E %1:b []\nS %3:c 2:x=urn:other [<x:c xmlns:x=\"urn:other\">]\nS %3:d [<x:d/>]\nE %3:d []\nE %3:c [</x:c>]\n"
                       "S %1:e [<x:e/>]\nE %1:e []\nE %1:a [</x:a>]").arg(m).arg(r).arg(int(NsOther));
        QTest::newRow("references, line ends, CDATA, comment, PI")
            << QByteArray("<a t=\"x&amp;y&#10;\tz\">&lt;&#x4E2D;&#20013;\r\n\r<![CDATA[a<b\r\n]]><!-- note --><?pi data?></a>")
            << QString::fromUtf8("S 0:a 0:t=x&y\n z [<a t=\"x&amp;y&#10;\tz\">]\nT <中中\n\n [&lt;&#x4E2D;&#20013;\r\n\r]\n"
                                 "D a<b\n [<![CDATA[a<b\r\n]]>]\nC [<!-- note -->]\nP [<?pi data?>]\nE 0:a [</a>]");
        QTest::newRow("BOM and multibyte offsets")
            << QByteArray("\xEF\xBB\xBF<a>\xE4\xB8\xAD<b/></a>")
            << QString::fromUtf8("S 0:a [<a>]\nT 中 [中]\nS 0:b [<b/>]\nE 0:b []\nE 0:a [</a>]");
    }
    void tokens()
    {
        QFETCH(QByteArray, doc);
        QFETCH(QString, expected);
        QString error;
        const QString got = trace(doc, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(got, expected);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("doc");
        QTest::addColumn<QString>("reason");
        QTest::newRow("DTD") << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>") << "DTD";
        QTest::newRow("billion laughs")
            << QByteArray("<!DOCTYPE l [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><l>&b;</l>") << "DTD";
        QTest::newRow("undeclared entity") << QByteArray("<a>&nbsp;</a>") << "undeclared entity";
        QTest::newRow("entity in attribute") << QByteArray("<a b=\"&e;\"/>") << "undeclared entity";
        QTest::newRow("stray ampersand") << QByteArray("<a>fish & chips</a>") << "stray";
        QTest::newRow("null character reference") << QByteArray("<a>&#0;</a>") << "not allowed";
        QTest::newRow("surrogate reference") << QByteArray("<a>&#xD800;</a>") << "not allowed";
        QTest::newRow("unclosed") << QByteArray("<a><b></b>") << "not closed";
        QTest::newRow("mismatched") << QByteArray("<a><b></a></b>") << "does not close";
        QTest::newRow("invalid UTF-8") << QByteArray("<a>\xC3\x28</a>") << "UTF-8";
        QTest::newRow("overlong UTF-8") << QByteArray("<a>\xC0\xBC</a>") << "not allowed";
        QTest::newRow("encoded surrogate") << QByteArray("<a>\xED\xA0\x80</a>") << "not allowed";
        QTest::newRow("control character") << QByteArray("<a>\x01</a>") << "control character";
        QTest::newRow("U+FFFE") << QByteArray("<a>\xEF\xBF\xBE</a>") << "not allowed";
        QTest::newRow("UTF-16 BOM") << QByteArray("\xFF\xFE<\0a\0/\0>\0", 10) << "UTF-16";
        QTest::newRow("UTF-16 declared") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>") << "UTF-16";
        QTest::newRow("other encoding") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>") << "encoding";
        QTest::newRow("late declaration") << QByteArray("<a><?xml version=\"1.0\"?></a>") << "misplaced";
        QTest::newRow("nesting") << QByteArray("<a>").repeated(MaxXmlDepth + 1) << "nested too deeply";
        QTest::newRow("duplicate attribute") << QByteArray("<a b=\"1\" b=\"2\"/>") << "twice";
        QTest::newRow("duplicate expanded name")
            << QByteArray("<a xmlns:p=\"urn:x\" xmlns:q=\"urn:x\" p:b=\"1\" q:b=\"2\"/>") << "twice";
        QTest::newRow("many duplicate attributes")
            << QByteArray("<a ") + QByteArray("k=\"1\" ").repeated(20) + "/>" << "twice";
        QTest::newRow("undeclared prefix") << QByteArray("<x:a/>") << "undeclared namespace prefix";
        QTest::newRow("undeclared attribute prefix") << QByteArray("<a r:id=\"1\"/>") << "undeclared namespace prefix";
        QTest::newRow("text outside root") << QByteArray("junk<a/>") << "outside the root";
        QTest::newRow("two roots") << QByteArray("<a/><b/>") << "second root";
        QTest::newRow("lt in attribute") << QByteArray("<a b=\"<\"/>") << "'<'";
        QTest::newRow("unquoted attribute") << QByteArray("<a b=1/>") << "not quoted";
        QTest::newRow("attributes not separated") << QByteArray("<a b=\"1\"c=\"2\"/>") << "separated";
        QTest::newRow("unterminated comment") << QByteArray("<a><!-- x </a>") << "unterminated comment";
        QTest::newRow("CDATA outside root") << QByteArray("<![CDATA[x]]><a/>") << "CDATA";
        QTest::newRow("empty") << QByteArray() << "no root";
        QTest::newRow("truncated tag") << QByteArray("<a><b attr=\"x") << "unterminated";
    }
    void refused()
    {
        QFETCH(QByteArray, doc);
        QFETCH(QString, reason);
        QString error;
        const QString got = trace(doc, &error);
        QVERIFY2(!error.isEmpty(), qPrintable(got));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    // Every XML part of the real workbooks gives the same elements,
    // attributes and text as Qt's own reader.
    void agreesWithQtOnRealParts()
    {
        int parts = 0;
        for (const QString &f : QDir(KORRIN_CORPUS "/xlsx").entryList({"*.xlsx"})) {
            QString error;
            auto zip = ZipArchive::open(KORRIN_CORPUS "/xlsx/" + f, &error);
            QVERIFY(zip);
            for (int i = 0; i < int(zip->entries().size()); ++i) {
                const QString name = zip->entries()[size_t(i)].name;
                if (!name.endsWith(".xml") && !name.endsWith(".rels") && !name.endsWith(".vml"))
                    continue;
                QByteArray data;
                QVERIFY(zip->read(i, &data, &error));
                QStringList ours, qt;
                XmlTokenizer t(data);
                QString text;
                while (t.next() != XmlTokenizer::EndOfDocument) {
                    QVERIFY2(t.token() != XmlTokenizer::Invalid, qPrintable(f + ":" + name + ": " + t.errorString()));
                    if (t.token() == XmlTokenizer::Characters)
                        text += decodeCharacters(t.text());
                    else if (t.token() == XmlTokenizer::CData)
                        text += decodeCData(t.text());
                    if (t.token() != XmlTokenizer::StartElement && t.token() != XmlTokenizer::EndElement)
                        continue;
                    if (!text.trimmed().isEmpty())
                        ours << "T" + text;
                    text.clear();
                    QString line = (t.token() == XmlTokenizer::StartElement ? "S" : "E")
                                   + QString::fromUtf8(t.localName().data(), int(t.localName().size()));
                    for (const XmlAttribute &a : t.attributes())
                        if (a.ns != NsXmlns)
                            line += " " + QString::fromUtf8(a.localName.data(), int(a.localName.size())) + "="
                                    + decodeAttribute(a.rawValue);
                    ours << line;
                }
                QXmlStreamReader r(data);
                while (!r.atEnd()) {
                    r.readNext();
                    if (r.isCharacters()) {
                        text += r.text();
                        continue;
                    }
                    if (!r.isStartElement() && !r.isEndElement())
                        continue;
                    if (!text.trimmed().isEmpty())
                        qt << "T" + text;
                    text.clear();
                    QString line = (r.isStartElement() ? "S" : "E") + r.name().toString();
                    for (const QXmlStreamAttribute &a : r.attributes())
                        line += " " + a.name().toString() + "=" + a.value().toString();
                    qt << line;
                }
                QVERIFY(!r.hasError());
                QCOMPARE(ours, qt);
                ++parts;
            }
        }
        QVERIFY(parts > 100);
    }

    void fragmentInScope()
    {
        const QByteArray doc("<x:worksheet xmlns:x=\"http://purl.oclc.org/ooxml/spreadsheetml/main\"><x:sheetData>"
                             "<x:c r=\"A1\"><x:v>7</x:v></x:c></x:sheetData></x:worksheet>");
        XmlTokenizer t(doc);
        XmlScope scope;
        qint64 begin = -1, end = -1;
        while (t.next() != XmlTokenizer::EndOfDocument) {
            QVERIFY(t.token() != XmlTokenizer::Invalid);
            if (t.token() == XmlTokenizer::StartElement && t.localName() == "c") {
                scope = t.scope();
                begin = t.tokenBegin();
            }
            if (t.token() == XmlTokenizer::EndElement && t.localName() == "c")
                end = t.tokenEnd();
        }
        XmlTokenizer f(doc.constData() + begin, end - begin, XmlTokenizer::Fragment, &scope);
        QCOMPARE(f.next(), XmlTokenizer::StartElement);
        QVERIFY(f.is(NsMainStrict, "c"));
        QCOMPARE(f.next(), XmlTokenizer::StartElement);
        QVERIFY(f.is(NsMainStrict, "v"));
        QCOMPARE(f.next(), XmlTokenizer::Characters);
        QCOMPARE(QByteArray(f.text().data(), int(f.text().size())), QByteArray("7"));
        QCOMPARE(f.next(), XmlTokenizer::EndElement);
        QCOMPARE(f.next(), XmlTokenizer::EndElement);
        QCOMPARE(f.next(), XmlTokenizer::EndOfDocument);
    }

    void excelEscapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("plain") << QString::fromUtf8("a b 中") << QByteArray("a b \xE4\xB8\xAD");
        QTest::newRow("markup") << "a<b>&c" << QByteArray("a&lt;b&gt;&amp;c");
        QTest::newRow("carriage return") << "a\r\nb" << QByteArray("a_x000D_\nb");
        QTest::newRow("tab and line feed stay") << "a\tb\nc" << QByteArray("a\tb\nc");
        QTest::newRow("controls") << QString("a") + QChar(1) + QChar(0x1F) << QByteArray("a_x0001__x001F_");
        QTest::newRow("non-characters") << QString(QChar(0xFFFE)) + QChar(0xFFFF) << QByteArray("_xFFFE__xFFFF_");
        QTest::newRow("literal escape") << "see _x0041_ here" << QByteArray("see _x005F_x0041_ here");
        QTest::newRow("literal lower-case escape") << "_x00ab_" << QByteArray("_x005F_x00ab_");
        QTest::newRow("not an escape") << "_x12_ _xGGGG_" << QByteArray("_x12_ _xGGGG_");
        QTest::newRow("surrogate pair kept") << QString::fromUtf8("😀") << QByteArray("\xF0\x9F\x98\x80");
    }
    void excelEscapes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, written);
        QByteArray out;
        appendEscapedText(&out, text);
        QCOMPARE(out, written);
        // Reading back what we wrote gives the text again.
        QCOMPARE(decodeExcelEscapes(decodeCharacters(std::string_view(out.constData(), size_t(out.size())))), text);
    }

    // Bytes taken as their own text must be what decoding them gives.
    void bytesThatReadAsThemselves_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<bool>("itself");
        QTest::newRow("ascii") << QByteArray("alpha omega 12") << true;
        QTest::newRow("two to four bytes") << QByteArray("\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80") << true;
        QTest::newRow("underscore alone") << QByteArray("a_b_") << true;
        QTest::newRow("reference") << QByteArray("a&amp;b") << false;
        QTest::newRow("carriage return") << QByteArray("a\rb") << false;
        QTest::newRow("escape") << QByteArray("_x0041_") << false;
        QTest::newRow("cut off") << QByteArray("a\xE4\xB8") << false;
        QTest::newRow("overlong") << QByteArray("\xC0\x80 \xE0\x80\x80") << false;
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false;
        QTest::newRow("beyond U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << false;
        QTest::newRow("lone continuation") << QByteArray("\x80") << false;
        QTest::newRow("leading byte order marks") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF" "ee") << true;
        QTest::newRow("inner byte order mark") << QByteArray("e\xEF\xBB\xBF" "e") << true;
    }
    void bytesThatReadAsThemselves()
    {
        QFETCH(QByteArray, raw);
        QFETCH(bool, itself);
        const std::string_view view(raw.constData(), size_t(raw.size()));
        QCOMPARE(readsAsItself(view), itself);
        if (itself)
            QCOMPARE(decodeExcelEscapes(decodeCharacters(view)).toUtf8(), raw);
    }

    void loneSurrogatesAreDropped()
    {
        QByteArray out;
        appendEscapedText(&out, QString("a") + QChar(0xD800) + "b" + QChar(0xDC00));
        QCOMPARE(out, QByteArray("ab"));
    }

    void decodesExcelEscapesOnce()
    {
        QCOMPARE(decodeExcelEscapes("_x0041__x005F_x0042_ _x000d_"), QString("A_x0042_ \r"));
    }

    void preserve()
    {
        QVERIFY(needsSpacePreserve(" a"));
        QVERIFY(needsSpacePreserve("a\n"));
        QVERIFY(!needsSpacePreserve("a b"));
        QVERIFY(!needsSpacePreserve(""));
    }

    // Relationship targets become part names, relative to the part that
    // holds them, in one normal form.
    void partNamesOfTargets_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("name");
        QTest::newRow("beside") << "/xl/workbook.xml" << "worksheets/sheet1.xml" << "/xl/worksheets/sheet1.xml";
        QTest::newRow("up") << "/xl/worksheets/sheet1.xml" << "../drawings/drawing1.xml" << "/xl/drawings/drawing1.xml";
        QTest::newRow("dot") << "/xl/workbook.xml" << "./styles.xml" << "/xl/styles.xml";
        QTest::newRow("absolute") << "/xl/workbook.xml" << "/xl/./theme//theme1.xml" << "/xl/theme/theme1.xml";
        QTest::newRow("fragment") << "/xl/workbook.xml" << "sheet.xml#A1" << "/xl/sheet.xml";
        QTest::newRow("above the root") << "/xl/workbook.xml" << "../../x.xml" << "/x.xml";
        QTest::newRow("from the root") << "" << "xl/workbook.xml/" << "/xl/workbook.xml";
    }
    void partNamesOfTargets()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QString, name);
        QCOMPARE(resolvePartName(source, target), name);
    }

    // The byte prescan may rule a part out only when no cell text in it can
    // match: every way a text can be written other than as its plain bytes
    // must keep the part in.
    void prescanRulesOutOnlyWhatCannotMatch_data()
    {
        QTest::addColumn<QByteArray>("text"); // inside <sheetData>
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("excluded");
        const QByteArray inl = "<c r=\"A1\" t=\"inlineStr\"><is>";
        QTest::newRow("no match") << inl + "<t>beta</t></is></c>" << "alpha" << false << true;
        QTest::newRow("plain match") << inl + "<t>an alpha</t></is></c>" << "alpha" << false << false;
        QTest::newRow("other case") << inl + "<t>ALPHA</t></is></c>" << "alpha" << false << false;
        QTest::newRow("case kept") << inl + "<t>ALPHA</t></is></c>" << "alpha" << true << true;
        QTest::newRow("wildcards") << inl + "<t>al-pha</t></is></c>" << "al?ph*" << false << false;
        QTest::newRow("run boundary") << inl + "<r><t>al</t></r>\n  <r><rPr><b/></rPr><t xml:space=\"preserve\">pha</t></r></is></c>"
                                      << "alpha" << false << false;
        QTest::newRow("quoted > in a tag") << inl + "<r><t>al</t></r><r x=\">\"><t>pha</t></r></is></c>" << "alpha" << false << false;
        QTest::newRow("character reference") << inl + "<t>&#97;lpha</t></is></c>" << "alpha" << false << false;
        QTest::newRow("hex reference") << inl + "<t>alp&#x68;a</t></is></c>" << "alpha" << true << false;
        QTest::newRow("entity") << inl + "<t>&lt;tag&gt;</t></is></c>" << "<tag>" << false << false;
        QTest::newRow("escape") << inl + "<t>_x0061_lpha</t></is></c>" << "alpha" << false << false;
        QTest::newRow("kelvin sign") << inl + "<t>\xE2\x84\xAAilo</t></is></c>" << "kilo" << false << false;
        QTest::newRow("comment") << inl + "<t>al<!-- x -->pha</t></is></c>" << "alpha" << false << false;
        QTest::newRow("CDATA") << inl + "<t><![CDATA[alpha]]></t></is></c>" << "alpha" << false << false;
        QTest::newRow("CDATA, split") << inl + "<t><![CDATA[al]]>pha</t></is></c>" << "alpha" << false << false;
        QTest::newRow("late declaration") << inl + "<t>beta</t><?xml version=\"1.0\"?></is></c>" << "alpha" << false << false;
        QTest::newRow("phonetic run") << inl + "<r><t>al</t></r><rPh sb=\"0\" eb=\"1\"><t>x</t></rPh><r><t>pha</t></r></is></c>"
                                      << "alpha" << false << false;
        QTest::newRow("shared formula") << QByteArray("<c r=\"B7\"><f t=\"shared\" si=\"0\"/><v>1</v></c>") << "=A7*2" << false << false;
        QTest::newRow("number text") << QByteArray("<c r=\"A1\"><v>0.30000000000000004</v></c>") << "0.3" << false << false;
        QTest::newRow("boolean text") << QByteArray("<c r=\"A1\" t=\"b\"><v>1</v></c>") << "TRUE" << false << false;
        QTest::newRow("formula") << QByteArray("<c r=\"A1\"><f>SUM(Sheet2!A1)</f></c>") << "=sum(sheet2" << false << false;
        QTest::newRow("prefixed function") << QByteArray("<c r=\"A1\"><f>1+_xlfn.XLOOKUP(A1,B1,C1)</f></c>") << "+XLOOKUP(" << false << false;
        QTest::newRow("prefix split by markup") << QByteArray("<c r=\"A1\"><f>1+_xlf<x/>n.XLOOKUP(A1,B1,C1)</f></c>") << "+XLOOKUP(" << false << false;
        // Left to the reader, which refuses it; the search from "a" stops at
        // the second '<' rather than running on through the part.
        QTest::newRow("'<' within markup") << QByteArray("<c r=\"A1\" t=\"inlineStr\" x=\"a<b\"><is><t>x</t></is></c>") << "ab" << false << false;
        QTest::newRow("forbidden byte") << inl + "<t>beta\x01</t></is></c>" << "alpha" << false << false;
        QTest::newRow("stray byte after a character") << inl + "<t>caf\xC3\xA9\xA9</t></is></c>" << "alpha" << false << false;
        QTest::newRow("second letter in other case") << inl + "<t>aLPHA</t></is></c>" << "alpha" << false << false;
        QTest::newRow("one letter") << inl + "<t>beta</t></is></c>" << "j" << false << true;
        QTest::newRow("one letter, other case") << inl + "<t>J</t></is></c>" << "j" << false << false;
        QTest::newRow("not ASCII") << inl + "<t>un caf\xC3\xA9</t></is></c>" << QString::fromUtf8("caf\xC3\xA9") << true << false;
        QTest::newRow("not ASCII, no match") << inl + "<t>un cafe</t></is></c>" << QString::fromUtf8("caf\xC3\xA9") << true << true;
    }
    void prescanRulesOutOnlyWhatCannotMatch()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, what);
        QFETCH(bool, matchCase);
        QFETCH(bool, excluded);
        const PartPrescan scan(Excel::SearchPattern(what, false, matchCase));
        // At every offset within the sixteen bytes the scan takes at once.
        for (int pad = 0; pad < 17; ++pad) {
            const QByteArray part = "<?xml version=\"1.0\"?>\n<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                                    "<sheetData><row r=\"1\">" + QByteArray(pad, ' ') + text + "</row></sheetData></worksheet>\n";
            QCOMPARE(scan.excludes(part.constData(), size_t(part.size()), "worksheet"), excluded);
            // A part cut short is never ruled out.
            QVERIFY(!scan.excludes(part.constData(), size_t(part.size() - 3), "worksheet"));
        }
    }

    // A cell's raw text is passed over only when it cannot match as written:
    // escapes, references and markup keep it in, in a short text as in a
    // long one.
    void cellTextPrescanKeepsWhatMayMatch()
    {
        const PartPrescan scan(Excel::SearchPattern("alpha", false, false));
        for (const QByteArray &pad : {QByteArray(), QByteArray(70, 'x')}) {
            const auto mayHold = [&](const QByteArray &text) {
                const QByteArray raw = pad + text;
                return scan.mayHold(raw.constData(), size_t(raw.size()));
            };
            QVERIFY(!mayHold("beta alp"));
            QVERIFY(mayHold("an ALPHA"));
            QVERIFY(mayHold("_x0061_lpha"));
            QVERIFY(mayHold("&#97;lpha"));
            QVERIFY(mayHold("al<x/>pha"));
        }
    }
};

QTEST_GUILESS_MAIN(TestXml)
#include "tst_xml.moc"
