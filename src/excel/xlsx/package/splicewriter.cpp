#include "xlsx/package/splicewriter.h"

#include "xlsx/package/opcpackage.h"

#include <algorithm>

#include <QCoreApplication>

namespace Excel {
namespace Xlsx {

bool writeSpliced(const QByteArray &xml, std::vector<Splice> splices, const QString &partName, ByteSink *sink,
                  QString *error)
{
    std::stable_sort(splices.begin(), splices.end(), [](const Splice &a, const Splice &b) {
        if (a.begin != b.begin)
            return a.begin < b.begin;
        return (a.end == a.begin) && (b.end != b.begin);
    });
    qint64 pos = 0;
    for (const Splice &s : splices) {
        if (s.begin < pos || s.end < s.begin || s.end > xml.size()) {
            *error = partError(partName, QCoreApplication::translate("Xlsx", "overlapping changes (internal error)"));
            return false;
        }
        if (!sink->write(xml.constData() + pos, size_t(s.begin - pos)) || !sink->write(s.text)) {
            *error = partError(partName, QCoreApplication::translate("Xlsx", "cannot write"));
            return false;
        }
        pos = s.end;
    }
    if (!sink->write(xml.constData() + pos, size_t(xml.size() - pos))) {
        *error = partError(partName, QCoreApplication::translate("Xlsx", "cannot write"));
        return false;
    }
    return true;
}

} // namespace Xlsx
} // namespace Excel
