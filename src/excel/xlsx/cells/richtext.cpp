#include "xlsx/cells/richtext.h"

#include "xlsx/xml/xmltext.h"

namespace Excel {
namespace Xlsx {

QString RichText::plainText() const
{
    QString s;
    for (const TextRun &r : runs)
        s += r.text;
    return s;
}

RichText RichText::fromPlain(const QString &text)
{
    RichText r;
    TextRun run;
    run.text = text;
    r.runs.append(run);
    return r;
}

bool parseRichText(const char *data, qint64 size, const XmlScope *scope, int ns, RichText *out, QString *error)
{
    *out = RichText();
    XmlTokenizer t(data, size, XmlTokenizer::Fragment, scope);
    bool inRun = false, inPhonetic = false, inText = false;
    qint64 captureFrom = -1; // start of an rPr or phoneticPr element
    QString text;
    auto bytes = [&](qint64 from, qint64 to) { return QByteArray(data + from, int(to - from)); };
    while (t.next() != XmlTokenizer::EndOfDocument) {
        switch (t.token()) {
        case XmlTokenizer::Invalid:
            *error = t.errorString();
            return false;
        case XmlTokenizer::Characters:
            if (inText)
                text += decodeCharacters(t.text());
            break;
        case XmlTokenizer::CData:
            if (inText)
                text += decodeCData(t.text());
            break;
        case XmlTokenizer::StartElement:
            if (t.namespaceId() != ns || inPhonetic)
                break;
            if (t.depth() == 2 && t.localName() == "t") {
                out->runs.append(TextRun());
                inText = true;
                text.clear();
            } else if (t.depth() == 2 && t.localName() == "r") {
                TextRun r;
                r.formatted = true;
                r.openTag = bytes(t.tokenBegin(), t.tokenEnd());
                if (t.isSelfClosing())
                    r.openTag.replace("/>", ">");
                out->runs.append(r);
                inRun = true;
            } else if (t.depth() == 2 && t.localName() == "rPh") {
                out->hadPhoneticRuns = true;
                inPhonetic = true;
            } else if ((t.depth() == 2 && t.localName() == "phoneticPr") || (inRun && t.depth() == 3 && t.localName() == "rPr")) {
                captureFrom = t.tokenBegin();
            } else if (inRun && t.depth() == 3 && t.localName() == "t") {
                inText = true;
                text.clear();
            }
            break;
        case XmlTokenizer::EndElement:
            if (t.namespaceId() != ns)
                break;
            if (t.depth() == 2 && t.localName() == "rPh") {
                inPhonetic = false;
            } else if (inPhonetic) {
                break;
            } else if (inText && t.localName() == "t") {
                out->runs.last().text += decodeExcelEscapes(text);
                inText = false;
            } else if (captureFrom >= 0 && t.depth() == 2 && t.localName() == "phoneticPr") {
                out->phoneticProperties = bytes(captureFrom, t.tokenEnd());
                captureFrom = -1;
            } else if (captureFrom >= 0 && t.depth() == 3 && t.localName() == "rPr") {
                out->runs.last().properties = bytes(captureFrom, t.tokenEnd());
                captureFrom = -1;
            } else if (t.depth() == 2 && t.localName() == "r") {
                inRun = false;
            }
            break;
        default:
            break;
        }
    }
    return true;
}

void writeTextElement(QByteArray *out, const QByteArray &prefix, const QString &text)
{
    out->append('<');
    out->append(prefix);
    out->append('t');
    if (needsSpacePreserve(text))
        out->append(" xml:space=\"preserve\"");
    out->append('>');
    appendEscapedText(out, text);
    out->append("</");
    out->append(prefix);
    out->append("t>");
}

void writeRichText(QByteArray *out, const RichText &text, const QByteArray &prefix, const char *name)
{
    out->append('<');
    out->append(prefix);
    out->append(name);
    out->append('>');
    bool any = false;
    for (const TextRun &r : text.runs) {
        if (r.text.isEmpty())
            continue;
        any = true;
        if (!r.formatted) {
            writeTextElement(out, prefix, r.text);
            continue;
        }
        out->append(r.openTag.isEmpty() ? QByteArray("<" + prefix + "r>") : r.openTag);
        out->append(r.properties);
        writeTextElement(out, prefix, r.text);
        out->append("</");
        out->append(prefix);
        out->append("r>");
    }
    if (!any)
        writeTextElement(out, prefix, QString());
    out->append(text.phoneticProperties);
    out->append("</");
    out->append(prefix);
    out->append(name);
    out->append('>');
}

} // namespace Xlsx
} // namespace Excel
