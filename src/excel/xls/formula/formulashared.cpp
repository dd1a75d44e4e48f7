// Turning the tokens of a shared formula into the tokens of one of its
// cells, for when the group is dissolved: relative references stored as
// offsets become positions. Every other token is copied as it is.

#include "xls/formula/formulatokens.h"

#include "littleendian.h"

namespace Excel {
namespace Biff {

int formulaTokenSize(const QByteArray &rgce, int pos)
{
    const int n = rgce.size() - pos;
    if (n < 1)
        return -1;
    const char *d = rgce.constData() + pos;
    const int t = quint8(d[0]);
    int size = -1;
    if (t >= 0x03 && t <= 0x16)
        size = 1;
    else if (t == 0x01 || t == 0x02)
        size = 5;
    else if (t == 0x17)
        size = n >= 3 ? 3 + quint8(d[1]) * ((d[2] & 1) ? 2 : 1) : -1;
    else if (t == 0x19) {
        if (n >= 4)
            size = quint8(d[1]) == 0x04 ? 4 + 2 * (qFromLittleEndian<quint16>(d + 2) + 1) : 4;
    } else if (t == 0x1C || t == 0x1D)
        size = 2;
    else if (t == 0x1E)
        size = 3;
    else if (t == 0x1F)
        size = 9;
    else if (t >= 0x20 && t <= 0x7F) {
        static const int sizes[32] = {8, 3, 4, 5, 5, 9, 7, 7, 7, 3, 5, 9, 5, 9, -1, -1,
                                      -1, -1, -1, -1, -1, -1, -1, -1, -1, 7, 7, 11, 7, 11, -1, -1};
        size = sizes[t & 0x1F];
    }
    return size > 0 && size <= n ? size : -1;
}

bool sharedToCellTokens(const FormulaTokens &shared, int row, int col, FormulaTokens *out)
{
    out->rgce = shared.rgce;
    out->extra = shared.extra;
    char *d = out->rgce.data();
    // A row field and its column field, which holds the relative flags: 0x4000
    // for the column, 0x8000 for the row.
    const auto fix = [&](int rowAt, int colAt) {
        const quint16 colField = qFromLittleEndian<quint16>(d + colAt);
        quint16 r = qFromLittleEndian<quint16>(d + rowAt), c = colField & 0x00FF;
        if (colField & 0x8000)
            r = quint16((row + qint16(r)) & 0xFFFF);
        if (colField & 0x4000)
            c = quint16((col + qint8(quint8(c))) & 0xFF);
        qToLittleEndian<quint16>(r, d + rowAt);
        qToLittleEndian<quint16>(quint16((colField & 0xC000) | c), d + colAt);
    };
    for (int pos = 0; pos < out->rgce.size();) {
        const int size = formulaTokenSize(out->rgce, pos);
        if (size < 0)
            return false;
        const int t = quint8(d[pos]);
        const int base = t >= 0x20 ? ((t & 0x1F) | 0x20) : t;
        const quint8 cls = quint8(t & 0x60);
        switch (base) {
        case 0x2C: // RefN
            d[pos] = char(0x04 | cls);
            fix(pos + 1, pos + 3);
            break;
        case 0x2D: // AreaN: rows at +1 and +3, columns at +5 and +7
            d[pos] = char(0x05 | cls);
            fix(pos + 1, pos + 5);
            fix(pos + 3, pos + 7);
            break;
        case 0x3A: // Ref3d and Area3d keep offsets after the sheet entry
            fix(pos + 3, pos + 5);
            break;
        case 0x3B:
            fix(pos + 3, pos + 7);
            fix(pos + 5, pos + 9);
            break;
        case 0x01:
        case 0x02:
            return false;
        default:
            break;
        }
        pos += size;
    }
    return true;
}

} // namespace Biff
} // namespace Excel
