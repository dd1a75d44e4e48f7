#pragma once

// Record layouts of the zip format (PKWARE APPNOTE), shared by the reader
// and the writer.

#include "littleendian.h"

#include <QByteArray>
#include <QtGlobal>

namespace Excel {
namespace Xlsx {
namespace Zip {

constexpr quint32 LocalHeaderSignature = 0x04034b50;
constexpr quint32 DataDescriptorSignature = 0x08074b50;
constexpr quint32 CentralRecordSignature = 0x02014b50;
constexpr quint32 EndRecordSignature = 0x06054b50;
constexpr quint32 Zip64EndRecordSignature = 0x06064b50;
constexpr quint32 Zip64LocatorSignature = 0x07064b50;

constexpr quint64 LocalHeaderSize = 30;
constexpr quint64 CentralRecordSize = 46;
constexpr quint64 EndRecordSize = 22;
constexpr quint64 Zip64EndRecordSize = 56;
constexpr quint64 Zip64LocatorSize = 20;

constexpr quint16 Zip64ExtraId = 0x0001;

constexpr quint16 FlagEncrypted = 0x0001;
constexpr quint16 FlagDeflateLevelBits = 0x0006;
constexpr quint16 FlagDataDescriptor = 0x0008;
constexpr quint16 FlagStrongEncryption = 0x0040;

constexpr quint16 MethodStore = 0;
constexpr quint16 MethodDeflate = 8;

constexpr quint16 VersionZip64 = 45;

// The values a ZIP64 extra field may widen. On input each holds the plain
// 32-bit (or 16-bit) value; a field at its maximum is read from the extra.
struct Zip64Fields
{
    quint64 uncompressedSize;
    quint64 compressedSize;
    quint64 localHeaderOffset;
    quint64 disk;
};

// Walks the extra field; false when it is malformed in a way that matters
// (a widened value missing from the ZIP64 extra).
inline bool readZip64Extra(const char *extra, int length, Zip64Fields *f)
{
    const bool needU = f->uncompressedSize == 0xFFFFFFFFu, needC = f->compressedSize == 0xFFFFFFFFu;
    const bool needO = f->localHeaderOffset == 0xFFFFFFFFu, needD = f->disk == 0xFFFF;
    if (!needU && !needC && !needO && !needD)
        return true;
    int pos = 0;
    while (pos + 4 <= length) {
        const quint16 id = qFromLittleEndian<quint16>(extra + pos), size = qFromLittleEndian<quint16>(extra + pos + 2);
        if (pos + 4 + size > length)
            return false;
        if (id == Zip64ExtraId) {
            const char *p = extra + pos + 4;
            int left = size;
            auto take = [&](quint64 *v, int width) {
                if (left < width)
                    return false;
                *v = width == 8 ? qFromLittleEndian<quint64>(p) : qFromLittleEndian<quint32>(p);
                p += width;
                left -= width;
                return true;
            };
            if (needU && !take(&f->uncompressedSize, 8))
                return false;
            if (needC && !take(&f->compressedSize, 8))
                return false;
            if (needO && !take(&f->localHeaderOffset, 8))
                return false;
            if (needD && !take(&f->disk, 4))
                return false;
            return true;
        }
        pos += 4 + size;
    }
    return false;
}

inline bool hasZip64Extra(const char *extra, int length)
{
    int pos = 0;
    while (pos + 4 <= length) {
        const quint16 id = qFromLittleEndian<quint16>(extra + pos), size = qFromLittleEndian<quint16>(extra + pos + 2);
        if (id == Zip64ExtraId)
            return true;
        pos += 4 + size;
    }
    return false;
}

// The extra field without its ZIP64 block (other blocks kept in order; a
// malformed tail is kept as it is).
inline QByteArray withoutZip64Extra(const QByteArray &extra)
{
    QByteArray out;
    int pos = 0;
    const int n = extra.size();
    while (pos + 4 <= n) {
        const quint16 id = qFromLittleEndian<quint16>(extra.constData() + pos), size = qFromLittleEndian<quint16>(extra.constData() + pos + 2);
        if (pos + 4 + size > n)
            break;
        if (id != Zip64ExtraId)
            out.append(extra.constData() + pos, 4 + size);
        pos += 4 + size;
    }
    if (pos < n)
        out.append(extra.constData() + pos, n - pos);
    return out;
}

} // namespace Zip
} // namespace Xlsx
} // namespace Excel
