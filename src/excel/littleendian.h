#pragma once

// Little-endian fields of the binary records of both file formats (zip
// headers, BIFF records, compound-file sectors). Reads and in-place writes
// are Qt's qFromLittleEndian<T>(p) and qToLittleEndian<T>(v, p), which take
// unaligned bytes; what Qt lacks, appending a field to a byte array, is
// here. Callers check bounds before reading.

#include <QByteArray>
#include <QtEndian>

namespace Excel {

template <typename T>
inline void appendLittleEndian(QByteArray &out, T v)
{
    char b[sizeof(T)];
    qToLittleEndian<T>(v, b);
    out.append(b, int(sizeof(T)));
}

inline void appendU16(QByteArray &out, quint16 v) { appendLittleEndian<quint16>(out, v); }
inline void appendU32(QByteArray &out, quint32 v) { appendLittleEndian<quint32>(out, v); }
inline void appendU64(QByteArray &out, quint64 v) { appendLittleEndian<quint64>(out, v); }
inline void appendDouble(QByteArray &out, double d) { appendLittleEndian<double>(out, d); }

} // namespace Excel
