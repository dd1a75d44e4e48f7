#pragma once

// What the engine needs of the styles part: for each cell format (xf), how
// its number format affects searching and typing, and whether it locks the
// cell on a protected sheet.

#include "xlsx/package/opcpackage.h"

#include <QString>
#include <vector>

namespace Excel {
namespace Xlsx {

class StylesPart
{
public:
    // No styles part: every cell is General and locked.
    StylesPart() = default;

    bool parse(const QByteArray &data, const QString &partName, Conformance family, QString *error);

    // Numbers in this format are shown as dates, times or percentages.
    bool hidesNumberText(quint32 xf) const { return flags(xf) & NotSearched; }
    bool isTextFormat(quint32 xf) const { return flags(xf) & TextFormat; }
    bool isLocked(quint32 xf) const { return !(flags(xf) & Unlocked); }

private:
    enum : quint8 { NotSearched = 1, TextFormat = 2, Unlocked = 4 };
    quint8 flags(quint32 xf) const { return xf < m_xfFlags.size() ? m_xfFlags[xf] : 0; }

    std::vector<quint8> m_xfFlags;
};

} // namespace Xlsx
} // namespace Excel
