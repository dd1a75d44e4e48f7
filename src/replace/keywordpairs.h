#pragma once

// What one run replaces: keyword pairs and the option record handed to every
// workbook job.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// (first, second): the keyword or cell position, and what it becomes. Both are
// taken exactly as typed: nothing trimmed, nothing unescaped.
using KeyPair = QPair<QString, QString>;
using KeyPairs = QList<KeyPair>;

struct RepPar
{
    QString sheetIndex;  // the sheet box text: "默认页", "首表", "尾表", "所有表" or a list such as "1,3"
    KeyPairs pairs;
    bool byKey = true;   // false: first names a cell whose value is set
    int lookAt = 2;      // 1 whole cell, 2 part of a cell
    int searchOrder = 1; // 1 by rows, 2 by columns
    bool matchCase = false;
};

inline bool operator==(const RepPar &a, const RepPar &b)
{
    return a.sheetIndex == b.sheetIndex && a.pairs == b.pairs && a.byKey == b.byKey && a.lookAt == b.lookAt
        && a.searchOrder == b.searchOrder && a.matchCase == b.matchCase;
}

// Splits a keyword text at every occurrence of separator and drops the empty
// parts. A multi-character separator splits only at the whole string; an
// empty separator makes every character a keyword of its own.
QStringList splitKeywords(const QString &text, const QString &separator);

// Appends (keyword, replacement) for every keyword of keywordText.
void appendPairs(KeyPairs *pairs, const QString &keywordText, const QString &replacement,
                 const QString &separator);
