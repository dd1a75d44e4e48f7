#pragma once

// RK numbers: a double or a 30-bit integer in 32 bits, optionally divided
// by 100, as BIFF stores compact numbers.

#include <QtGlobal>

#include <cmath>
#include <cstring>

namespace Excel {
namespace Biff {

inline double decodeRk(quint32 rk)
{
    double d;
    if (rk & 0x02) {
        d = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&d, &bits, sizeof d);
    }
    if (rk & 0x01)
        d /= 100;
    return d;
}

// The RK form of v when one holds it exactly.
inline bool encodeRk(double v, quint32 *rk)
{
    if (!std::isfinite(v))
        return false;
    const auto asInteger = [](double x, quint32 *out) {
        if (x != std::floor(x) || x < -536870912.0 || x > 536870911.0)
            return false;
        *out = (quint32(qint32(x)) << 2) | 0x02;
        return true;
    };
    const auto asFloat = [](double x, quint32 *out) {
        quint64 bits;
        std::memcpy(&bits, &x, sizeof bits);
        if (bits & 0x3FFFFFFFFull)
            return false;
        *out = quint32(bits >> 32);
        return true;
    };
    quint32 r;
    if (asInteger(v, &r) && !(v == 0 && std::signbit(v))) {
        *rk = r;
        return true;
    }
    if (asFloat(v, &r)) {
        *rk = r;
        return true;
    }
    const double h = v * 100;
    if (asInteger(h, &r) && decodeRk(r | 0x01) == v) {
        *rk = r | 0x01;
        return true;
    }
    if (asFloat(h, &r) && decodeRk(r | 0x01) == v) {
        *rk = r | 0x01;
        return true;
    }
    return false;
}

} // namespace Biff
} // namespace Excel
