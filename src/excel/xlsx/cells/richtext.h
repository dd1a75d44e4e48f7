#pragma once

// The text of a shared string (<si>) or an inline string (<is>): plain, or
// formatting runs whose properties are kept as the bytes they were, plus
// phonetic properties. Phonetic runs are not part of the text.

#include "xlsx/xml/xmltokenizer.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace Excel {
namespace Xlsx {

struct TextRun
{
    bool formatted = false;  // an <r> run, not the bare leading <t>
    QByteArray openTag;      // the run's start tag as it was ("<r>")
    QByteArray properties;   // the <rPr> element as it was, or empty
    QString text;
};

struct RichText
{
    QVector<TextRun> runs;
    QByteArray phoneticProperties; // the <phoneticPr> element as it was
    bool hadPhoneticRuns = false;

    QString plainText() const;
    bool isPlain() const { return runs.size() <= 1 && (runs.isEmpty() || !runs[0].formatted); }
    static RichText fromPlain(const QString &text);
};

// Reads a whole <si> or <is> element. mainNs: the SpreadsheetML namespace.
bool parseRichText(const char *data, qint64 size, const XmlScope *scope, int mainNs, RichText *out, QString *error);

// Writes text as <name>…</name> (name "si" or "is") with the prefix of the
// document ("x:" or empty): runs with their properties, empty runs left
// out, phonetic properties kept, phonetic runs dropped.
void writeRichText(QByteArray *out, const RichText &text, const QByteArray &prefix, const char *name);

// Appends <t> with its text, preserving surrounding white space.
void writeTextElement(QByteArray *out, const QByteArray &prefix, const QString &text);

} // namespace Xlsx
} // namespace Excel
