#include "listedit.h"

#include <algorithm>

void removeListEntries(QStringList *list, const QSet<int> &positions)
{
    QList<int> sorted = positions.values();
    std::sort(sorted.begin(), sorted.end(), std::greater<int>());
    for (int p : sorted)
        if (p >= 0 && p < list->size())
            list->removeAt(p);
}

QString fileTip(const QStringList &list, int position)
{
    if (position < 0 || position >= list.size())
        return QString();
    return list.at(position) + QStringLiteral(" 【右键双击】可打开");
}

QString normaliseListedPath(const QString &path)
{
    QString p = path;
    p.replace(QLatin1String("\\\\"), QLatin1String("\\"));
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
}

CellEntry judgeCellEntry(const QString &text, int row, int rowCount, const QString &keywordAbove)
{
    if (text.isEmpty())
        return CellEntry::Ignore;
    if (row > 0 && keywordAbove.isEmpty())
        return CellEntry::Refuse;
    return row + 1 == rowCount ? CellEntry::AcceptAndGrow : CellEntry::Accept;
}
