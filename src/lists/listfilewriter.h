#pragma once

#include <QMap>
#include <QPair>
#include <QString>
#include <QVector>

// Writes a new .xlsx workbook of text cells, as the list export needs it:
// sheets in order, every cell a string with the default format. The file
// is replaced atomically, so a failed write leaves an existing file intact.
class ListFileWriter
{
public:
    struct Sheet
    {
        QString name;
        QMap<QPair<int, int>, QString> cells; // (row, column), 1-based
    };

    static bool write(const QString &path, const QVector<Sheet> &sheets, QString *error);
};
