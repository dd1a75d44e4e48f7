#pragma once

// Writing a part as its old bytes with some ranges replaced: the way every
// changed part is written, so that all the rest of it stays as it was.

#include "xlsx/zip/zipwriter.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace Excel {
namespace Xlsx {

struct Splice
{
    qint64 begin; // [begin, end) of the old bytes; begin == end inserts
    qint64 end;
    QByteArray text;
};

// Writes xml with the splices applied. Insertions at an offset go before a
// replacement that starts there, and insertions at one offset keep their
// order. Splices that overlap or leave the part are refused.
bool writeSpliced(const QByteArray &xml, std::vector<Splice> splices, const QString &partName, ByteSink *sink,
                  QString *error);

} // namespace Xlsx
} // namespace Excel
