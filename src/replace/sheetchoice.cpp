#include "sheetchoice.h"

#include <QStringList>

QVector<int> chooseSheets(const QString &sheetIndex, int count, bool *activeOnly)
{
    *activeOnly = false;
    QVector<int> list;
    if (sheetIndex == QStringLiteral("默认页")) {
        *activeOnly = true;
    } else if (sheetIndex == QStringLiteral("首表")) {
        list << 1;
    } else if (sheetIndex == QStringLiteral("尾表")) {
        list << count;
    } else if (sheetIndex == QStringLiteral("所有表")) {
        for (int i = 1; i <= count; ++i)
            list << i;
    } else {
        for (const QString &part : sheetIndex.split(QLatin1Char(','), Qt::KeepEmptyParts)) {
            const int v = part.toInt(nullptr, 10);
            if (v >= 1 && v <= count)
                list << v;
        }
    }
    return list;
}
