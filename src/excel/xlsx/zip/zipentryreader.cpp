#include "xlsx/zip/zipentryreader.h"

#include "xlsx/zip/zipformat.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>

#include <libdeflate.h>
#include <zlib.h>

namespace Excel {
namespace Xlsx {

struct ZipEntryReader::Inflater
{
    z_stream zs;
    bool ready = false;
    ~Inflater()
    {
        if (ready)
            inflateEnd(&zs);
    }
};

ZipEntryReader::ZipEntryReader(const ZipArchive &archive, int index, size_t pieceSize)
    : m_archive(archive)
    , m_entry(archive.entries().at(size_t(index)))
    , m_pieceSize(std::max<size_t>(pieceSize, 4096))
{
}

ZipEntryReader::~ZipEntryReader() = default;

bool ZipEntryReader::fail(const QString &why, QString *error)
{
    m_failed = true;
    *error = why;
    return false;
}

bool ZipEntryReader::next(QByteArray *piece, QString *error)
{
    piece->resize(int(m_pieceSize));
    size_t size = 0;
    if (!fill(piece->data(), &size, error)) {
        piece->clear();
        return false;
    }
    piece->resize(int(size));
    return true;
}

bool ZipEntryReader::fill(char *out, size_t *size, QString *error)
{
    *size = 0;
    const ZipEntry &e = m_entry;
    if (m_failed)
        return fail(QCoreApplication::translate("Xlsx", "cannot read %1").arg(e.name), error);
    if (m_done)
        return true;
    const auto corrupt = [&e] { return QCoreApplication::translate("Xlsx", "%1 is corrupt (deflate data)").arg(e.name); };
    const auto cannotRead = [&e] { return QCoreApplication::translate("Xlsx", "cannot read %1").arg(e.name); };
    auto finish = [&]() {
        if (m_produced != e.uncompressedSize)
            return fail(QCoreApplication::translate("Xlsx", "%1 is truncated or corrupt (size mismatch)").arg(e.name), error);
        if (m_crc != e.crc)
            return fail(QCoreApplication::translate("Xlsx", "%1 is corrupt (CRC mismatch)").arg(e.name), error);
        m_done = true;
        return true;
    };
    if (e.method == Zip::MethodStore) {
        const quint64 n = std::min<quint64>(m_pieceSize, e.compressedSize - m_consumed);
        if (n == 0)
            return finish();
        if (!m_archive.readRaw(e.dataOffset + m_consumed, n, out))
            return fail(cannotRead(), error);
        m_consumed += n;
        m_produced += n;
        m_crc = quint32(libdeflate_crc32(m_crc, out, size_t(n)));
        *size = size_t(n);
        return true;
    }

    if (!m_inflater) {
        m_inflater = std::make_unique<Inflater>();
        std::memset(&m_inflater->zs, 0, sizeof m_inflater->zs);
        if (inflateInit2(&m_inflater->zs, -MAX_WBITS) != Z_OK)
            return fail(QCoreApplication::translate("Xlsx", "cannot inflate %1").arg(e.name), error);
        m_inflater->ready = true;
        m_in = QByteArray(256 * 1024, Qt::Uninitialized);
    }
    if (m_streamEnded)
        return finish();
    z_stream &zs = m_inflater->zs;
    zs.next_out = reinterpret_cast<Bytef *>(out);
    zs.avail_out = uInt(m_pieceSize);
    while (zs.avail_out > 0) {
        if (zs.avail_in == 0) {
            const quint64 n = std::min<quint64>(quint64(m_in.size()), e.compressedSize - m_consumed);
            if (n == 0)
                return fail(corrupt(), error);
            if (!m_archive.readRaw(e.dataOffset + m_consumed, n, m_in.data()))
                return fail(cannotRead(), error);
            m_consumed += n;
            zs.next_in = reinterpret_cast<Bytef *>(m_in.data());
            zs.avail_in = uInt(n);
        }
        const int rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END)
            return fail(corrupt(), error);
        if (rc == Z_STREAM_END) {
            m_streamEnded = true;
            break;
        }
    }
    const size_t made = m_pieceSize - zs.avail_out;
    m_produced += made;
    if (m_produced > e.uncompressedSize)
        return fail(QCoreApplication::translate("Xlsx", "%1 inflates to more than its declared size").arg(e.name), error);
    const quint64 input = m_consumed - zs.avail_in;
    if (m_produced > InflateRatioGrace && m_produced > MaxInflateRatio * std::max<quint64>(input, 1))
        return fail(QCoreApplication::translate("Xlsx", "%1 inflates far beyond its compressed size (a zip bomb?)").arg(e.name), error);
    m_crc = quint32(libdeflate_crc32(m_crc, out, made));
    if (made == 0)
        return finish();
    *size = made;
    return true;
}

} // namespace Xlsx
} // namespace Excel
