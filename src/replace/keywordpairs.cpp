#include "keywordpairs.h"

#include <QVector>

QStringList splitKeywords(const QString &text, const QString &separator)
{
    QStringList parts;
    if (separator.isEmpty()) {
        // One keyword per character; a surrogate pair is one character.
        const QVector<uint> cps = text.toUcs4();
        for (uint cp : cps)
            parts << QString::fromUcs4(&cp, 1);
        return parts;
    }
    const QStringList raw = text.split(separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
    for (const QString &part : raw)
        if (!part.isEmpty())
            parts << part;
    return parts;
}

void appendPairs(KeyPairs *pairs, const QString &keywordText, const QString &replacement,
                 const QString &separator)
{
    for (const QString &keyword : splitKeywords(keywordText, separator))
        pairs->append(KeyPair(keyword, replacement));
}
