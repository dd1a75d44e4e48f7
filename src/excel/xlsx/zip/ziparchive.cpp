#include "xlsx/zip/ziparchive.h"

#include "prefault.h"
#include "systemerror.h"
#include "xlsx/zip/zipformat.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <libdeflate.h>
#include <zlib.h>

namespace Excel {
namespace Xlsx {

namespace {

QString foldName(const QString &name)
{
    return name.toCaseFolded();
}

QString decodeName(const QByteArray &raw)
{
    const QString s = QString::fromUtf8(raw);
    if (!s.contains(QChar::ReplacementCharacter))
        return s;
    return QString::fromLatin1(raw);
}

// libdeflate's decompressor, one per thread, kept from one entry to the
// next.
libdeflate_decompressor *threadDecompressor()
{
    struct Holder
    {
        libdeflate_decompressor *d = libdeflate_alloc_decompressor();
        ~Holder()
        {
            if (d)
                libdeflate_free_decompressor(d);
        }
    };
    thread_local Holder holder;
    return holder.d;
}

} // namespace

ZipArchive::~ZipArchive()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::unique_ptr<ZipArchive> ZipArchive::open(const QString &path, QString *error, quint64 wholeFileLimit)
{
    std::unique_ptr<ZipArchive> zip(new ZipArchive);
    zip->m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (zip->m_fd < 0) {
        *error = QCoreApplication::translate("Xlsx", "cannot read the file: %1").arg(Excel::systemErrorText(errno));
        return nullptr;
    }
    if (!zip->load(wholeFileLimit, error))
        return nullptr;
    return zip;
}

std::unique_ptr<ZipArchive> ZipArchive::open(OpenedFile *opened, QString *error, quint64 wholeFileLimit)
{
    std::unique_ptr<ZipArchive> zip(new ZipArchive);
    zip->m_status = opened->status;
    if (opened->isWhole() && quint64(opened->head.size()) <= wholeFileLimit)
        zip->m_image = std::move(opened->head);
    zip->m_fd = opened->take();
    if (zip->m_fd < 0) {
        *error = QCoreApplication::translate("Xlsx", "cannot read the file");
        return nullptr;
    }
    if (!zip->loadStatus(wholeFileLimit, error))
        return nullptr;
    return zip;
}

bool ZipArchive::readRaw(quint64 offset, quint64 length, char *buffer) const
{
    if (offset > m_fileSize || length > m_fileSize - offset)
        return false;
    if (m_inMemory) {
        std::memcpy(buffer, m_image.constData() + offset, size_t(length));
        return true;
    }
    while (length > 0) {
        const ssize_t n = ::pread(m_fd, buffer, size_t(std::min<quint64>(length, 1 << 30)), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buffer += n;
        offset += quint64(n);
        length -= quint64(n);
    }
    return true;
}

bool ZipArchive::load(quint64 wholeFileLimit, QString *error)
{
    if (::fstat(m_fd, &m_status) != 0) {
        *error = QCoreApplication::translate("Xlsx", "not a regular file");
        return false;
    }
    return loadStatus(wholeFileLimit, error);
}

bool ZipArchive::loadStatus(quint64 wholeFileLimit, QString *error)
{
    if (!S_ISREG(m_status.st_mode)) {
        *error = QCoreApplication::translate("Xlsx", "not a regular file");
        return false;
    }
    m_fileSize = quint64(m_status.st_size);
    if (quint64(m_image.size()) == m_fileSize && m_fileSize > 0) {
        m_inMemory = true; // read whole already
    } else if (m_fileSize <= wholeFileLimit) {
        QByteArray image(int(m_fileSize), Qt::Uninitialized);
        if (!readRaw(0, m_fileSize, image.data())) {
            *error = QCoreApplication::translate("Xlsx", "cannot read the file");
            return false;
        }
        m_image = std::move(image);
        m_inMemory = true;
    }
    const QString truncated = QCoreApplication::translate("Xlsx", "not a zip archive, or a truncated one (no end of central directory)");
    if (m_fileSize < Zip::EndRecordSize) {
        *error = truncated;
        return false;
    }

    // The end record sits in the last 22 + 65535 bytes; the archive comment
    // must reach exactly to the end of the file.
    const quint64 tailSize = std::min<quint64>(m_fileSize, Zip::EndRecordSize + 0xFFFF);
    QByteArray tail(int(tailSize), Qt::Uninitialized);
    if (!readRaw(m_fileSize - tailSize, tailSize, tail.data())) {
        *error = QCoreApplication::translate("Xlsx", "cannot read the file");
        return false;
    }
    int endPos = -1;
    for (int p = int(tailSize) - int(Zip::EndRecordSize); p >= 0; --p) {
        const char *q = tail.constData() + p;
        if (qFromLittleEndian<quint32>(q) != Zip::EndRecordSignature)
            continue;
        if (quint64(p) + Zip::EndRecordSize + qFromLittleEndian<quint16>(q + 20) == tailSize) {
            endPos = p;
            break;
        }
    }
    if (endPos < 0) {
        *error = truncated;
        return false;
    }
    const char *end = tail.constData() + endPos;
    const quint64 endOffset = m_fileSize - tailSize + quint64(endPos);
    m_comment = tail.mid(endPos + int(Zip::EndRecordSize));
    quint64 diskNumber = qFromLittleEndian<quint16>(end + 4);
    quint64 cdDisk = qFromLittleEndian<quint16>(end + 6);
    quint64 diskEntries = qFromLittleEndian<quint16>(end + 8);
    quint64 count = qFromLittleEndian<quint16>(end + 10);
    quint64 cdSize = qFromLittleEndian<quint32>(end + 12);
    quint64 cdOffset = qFromLittleEndian<quint32>(end + 16);
    quint64 cdLimit = endOffset; // the central directory ends before this

    // A ZIP64 locator directly before the end record leads to the ZIP64 end
    // record, whose fields then replace the plain ones.
    if (endOffset >= Zip::Zip64LocatorSize) {
        char loc[Zip::Zip64LocatorSize];
        if (readRaw(endOffset - Zip::Zip64LocatorSize, Zip::Zip64LocatorSize, loc)
            && qFromLittleEndian<quint32>(loc) == Zip::Zip64LocatorSignature) {
            const quint64 recOffset = qFromLittleEndian<quint64>(loc + 8);
            char rec[Zip::Zip64EndRecordSize];
            if (qFromLittleEndian<quint32>(loc + 4) != 0 || qFromLittleEndian<quint32>(loc + 16) > 1
                || recOffset > endOffset - Zip::Zip64LocatorSize - Zip::Zip64EndRecordSize
                || !readRaw(recOffset, Zip::Zip64EndRecordSize, rec)
                || qFromLittleEndian<quint32>(rec) != Zip::Zip64EndRecordSignature) {
                *error = QCoreApplication::translate("Xlsx", "damaged zip archive (bad ZIP64 end of central directory)");
                return false;
            }
            diskNumber = qFromLittleEndian<quint32>(rec + 16);
            cdDisk = qFromLittleEndian<quint32>(rec + 20);
            diskEntries = qFromLittleEndian<quint64>(rec + 24);
            count = qFromLittleEndian<quint64>(rec + 32);
            cdSize = qFromLittleEndian<quint64>(rec + 40);
            cdOffset = qFromLittleEndian<quint64>(rec + 48);
            cdLimit = recOffset;
        }
    }
    if (diskNumber != 0 || cdDisk != 0 || diskEntries != count) {
        *error = QCoreApplication::translate("Xlsx", "split (multi-volume) zip archives are not supported");
        return false;
    }
    if (cdOffset > cdLimit || cdSize > cdLimit - cdOffset || cdSize > quint64(INT_MAX)
        || count > cdSize / Zip::CentralRecordSize) {
        *error = QCoreApplication::translate("Xlsx", "damaged zip archive (central directory out of bounds)");
        return false;
    }
    if (!readCentralDirectory(cdOffset, cdSize, count, error))
        return false;

    // Every entry's bytes must lie before the central directory and apart
    // from every other entry's.
    std::vector<int> order(m_entries.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::sort(order.begin(), order.end(), [this](int a, int b) {
        return m_entries[size_t(a)].localHeaderOffset < m_entries[size_t(b)].localHeaderOffset;
    });
    for (size_t k = 0; k < order.size(); ++k) {
        const ZipEntry &e = m_entries[size_t(order[k])];
        const quint64 limit = k + 1 < order.size() ? m_entries[size_t(order[k + 1])].localHeaderOffset : cdOffset;
        if (e.spanEnd > limit) {
            *error = QCoreApplication::translate("Xlsx", "damaged zip archive (entries overlap): %1").arg(e.name);
            return false;
        }
    }
    return true;
}

bool ZipArchive::readCentralDirectory(quint64 offset, quint64 size, quint64 count, QString *error)
{
    m_central = QByteArray(int(size), Qt::Uninitialized);
    if (!readRaw(offset, size, m_central.data())) {
        *error = QCoreApplication::translate("Xlsx", "cannot read the central directory");
        return false;
    }
    const QString damaged = QCoreApplication::translate("Xlsx", "damaged zip archive (bad central directory record %1)");
    m_entries.reserve(size_t(count));
    const char *base = m_central.constData();
    quint64 pos = 0;
    for (quint64 i = 0; i < count; ++i) {
        if (size - pos < Zip::CentralRecordSize || qFromLittleEndian<quint32>(base + pos) != Zip::CentralRecordSignature) {
            *error = damaged.arg(i + 1);
            return false;
        }
        const char *r = base + pos;
        const quint64 nameLen = qFromLittleEndian<quint16>(r + 28), extraLen = qFromLittleEndian<quint16>(r + 30), commentLen = qFromLittleEndian<quint16>(r + 32);
        const quint64 recLen = Zip::CentralRecordSize + nameLen + extraLen + commentLen;
        if (recLen > size - pos) {
            *error = damaged.arg(i + 1);
            return false;
        }
        ZipEntry e;
        e.versionNeeded = qFromLittleEndian<quint16>(r + 6);
        e.flags = qFromLittleEndian<quint16>(r + 8);
        e.method = qFromLittleEndian<quint16>(r + 10);
        e.modTime = qFromLittleEndian<quint16>(r + 12);
        e.modDate = qFromLittleEndian<quint16>(r + 14);
        e.crc = qFromLittleEndian<quint32>(r + 16);
        e.compressedSize = qFromLittleEndian<quint32>(r + 20);
        e.uncompressedSize = qFromLittleEndian<quint32>(r + 24);
        const quint64 disk = qFromLittleEndian<quint16>(r + 34);
        e.localHeaderOffset = qFromLittleEndian<quint32>(r + 42);
        e.rawName = QByteArray(r + Zip::CentralRecordSize, int(nameLen));
        e.name = decodeName(e.rawName);
        e.centralRecordOffset = int(pos);
        e.centralRecordLength = int(recLen);
        Zip::Zip64Fields z64{e.uncompressedSize, e.compressedSize, e.localHeaderOffset, disk};
        if (!Zip::readZip64Extra(r + Zip::CentralRecordSize + nameLen, int(extraLen), &z64)) {
            *error = damaged.arg(i + 1);
            return false;
        }
        e.uncompressedSize = z64.uncompressedSize;
        e.compressedSize = z64.compressedSize;
        e.localHeaderOffset = z64.localHeaderOffset;
        if (z64.disk != 0) {
            *error = QCoreApplication::translate("Xlsx", "split (multi-volume) zip archives are not supported");
            return false;
        }
        if (e.flags & (Zip::FlagEncrypted | Zip::FlagStrongEncryption)) {
            *error = QCoreApplication::translate("Xlsx", "the package is encrypted (entry %1)").arg(e.name);
            return false;
        }
        if (e.method != Zip::MethodStore && e.method != Zip::MethodDeflate) {
            *error = QCoreApplication::translate("Xlsx", "entry %1 uses compression method %2, which is not supported").arg(e.name).arg(e.method);
            return false;
        }
        if (e.method == Zip::MethodStore && e.compressedSize != e.uncompressedSize) {
            *error = damaged.arg(i + 1);
            return false;
        }
        if (!checkLocalHeader(&e, error))
            return false;
        m_entries.push_back(std::move(e));
        pos += recLen;
    }

    m_byFoldedName.reserve(m_entries.size());
    for (size_t i = 0; i < m_entries.size(); ++i)
        m_byFoldedName.emplace_back(foldName(m_entries[i].name), int(i));
    std::sort(m_byFoldedName.begin(), m_byFoldedName.end());
    for (size_t i = 1; i < m_byFoldedName.size(); ++i) {
        if (m_byFoldedName[i].first == m_byFoldedName[i - 1].first) {
            *error = QCoreApplication::translate("Xlsx", "the package holds two entries named %1").arg(m_entries[size_t(m_byFoldedName[i].second)].name);
            return false;
        }
    }
    return true;
}

bool ZipArchive::checkLocalHeader(ZipEntry *e, QString *error)
{
    // Messages are made only when needed: this runs for every entry.
    const auto damaged = [e] { return QCoreApplication::translate("Xlsx", "damaged zip archive (local header of %1)").arg(e->name); };
    char h[Zip::LocalHeaderSize];
    if (!readRaw(e->localHeaderOffset, Zip::LocalHeaderSize, h) || qFromLittleEndian<quint32>(h) != Zip::LocalHeaderSignature) {
        *error = damaged();
        return false;
    }
    const quint16 flags = qFromLittleEndian<quint16>(h + 6);
    const quint16 method = qFromLittleEndian<quint16>(h + 8);
    const quint64 nameLen = qFromLittleEndian<quint16>(h + 26), extraLen = qFromLittleEndian<quint16>(h + 28);
    if (method != e->method || ((flags ^ e->flags) & (Zip::FlagEncrypted | Zip::FlagDataDescriptor))
        || nameLen != quint64(e->rawName.size())) {
        *error = damaged();
        return false;
    }
    QByteArray nameAndExtra(int(nameLen + extraLen), Qt::Uninitialized);
    if (!readRaw(e->localHeaderOffset + Zip::LocalHeaderSize, nameLen + extraLen, nameAndExtra.data())
        || std::memcmp(nameAndExtra.constData(), e->rawName.constData(), size_t(nameLen)) != 0) {
        *error = damaged();
        return false;
    }
    e->localExtra = nameAndExtra.mid(int(nameLen));
    e->dataOffset = e->localHeaderOffset + Zip::LocalHeaderSize + nameLen + extraLen;
    if (e->compressedSize > m_fileSize || e->dataOffset > m_fileSize - e->compressedSize) {
        *error = QCoreApplication::translate("Xlsx", "the archive is truncated (entry %1)").arg(e->name);
        return false;
    }
    const quint64 dataEnd = e->dataOffset + e->compressedSize;
    const bool localZip64 = Zip::hasZip64Extra(e->localExtra.constData(), e->localExtra.size());
    if (!(flags & Zip::FlagDataDescriptor)) {
        // A local ZIP64 extra holds both sizes whenever either is widened.
        Zip::Zip64Fields z64{qFromLittleEndian<quint32>(h + 22), qFromLittleEndian<quint32>(h + 18), 0, 0};
        if (z64.uncompressedSize == 0xFFFFFFFFu || z64.compressedSize == 0xFFFFFFFFu)
            z64.uncompressedSize = z64.compressedSize = 0xFFFFFFFFu;
        if (!Zip::readZip64Extra(e->localExtra.constData(), e->localExtra.size(), &z64)
            || qFromLittleEndian<quint32>(h + 14) != e->crc || z64.compressedSize != e->compressedSize
            || z64.uncompressedSize != e->uncompressedSize) {
            *error = damaged();
            return false;
        }
        e->spanEnd = dataEnd;
        return true;
    }
    // A data descriptor follows the data: an optional signature, the CRC and
    // both sizes (eight bytes each for ZIP64 entries).
    char d[24];
    const quint64 avail = std::min<quint64>(24, m_fileSize - dataEnd);
    std::memset(d, 0, sizeof d);
    if (!readRaw(dataEnd, avail, d)) {
        *error = damaged();
        return false;
    }
    const bool signature = avail >= 4 && qFromLittleEndian<quint32>(d) == Zip::DataDescriptorSignature;
    const int sizeWidth = localZip64 ? 8 : 4;
    const quint64 length = (signature ? 4 : 0) + 4 + 2 * sizeWidth;
    if (length > avail) {
        *error = QCoreApplication::translate("Xlsx", "the archive is truncated (entry %1)").arg(e->name);
        return false;
    }
    const char *p = d + (signature ? 4 : 0);
    const quint64 crc = qFromLittleEndian<quint32>(p);
    const quint64 csize = sizeWidth == 8 ? qFromLittleEndian<quint64>(p + 4) : qFromLittleEndian<quint32>(p + 4);
    const quint64 usize = sizeWidth == 8 ? qFromLittleEndian<quint64>(p + 12) : qFromLittleEndian<quint32>(p + 8);
    if (crc != e->crc || csize != e->compressedSize || usize != e->uncompressedSize) {
        *error = QCoreApplication::translate("Xlsx", "damaged zip archive (data descriptor of %1)").arg(e->name);
        return false;
    }
    e->spanEnd = dataEnd + length;
    return true;
}

int ZipArchive::find(const QString &name) const
{
    const QString key = foldName(name);
    auto it = std::lower_bound(m_byFoldedName.begin(), m_byFoldedName.end(), key,
                               [](const std::pair<QString, int> &a, const QString &k) { return a.first < k; });
    if (it == m_byFoldedName.end() || it->first != key)
        return -1;
    return it->second;
}

// Declared sizes up to this many times the compressed size have their
// buffer's pages taken at once: real parts stay near 22:1 (MaxInflateRatio).
constexpr quint64 PrefaultRatio = 64;

// Inflates a deflated entry, under the bounds of its declared size and of
// MaxInflateRatio. An archive held in memory is inflated in one call by
// libdeflate, into a buffer of the declared size (beyond PrefaultRatio its
// pages are only taken as they are written, so a lying size field costs
// address space, not memory); a large one is streamed through zlib as it
// is read.
bool ZipArchive::inflateEntry(const ZipEntry &e, QByteArray *result, QString *error) const
{
    // Messages are made only when needed: this runs for every entry.
    const auto bomb = [&e] { return QCoreApplication::translate("Xlsx", "%1 inflates far beyond its compressed size (a zip bomb?)").arg(e.name); };
    const auto corrupt = [&e] { return QCoreApplication::translate("Xlsx", "%1 is corrupt (deflate data)").arg(e.name); };
    const auto tooLarge = [&e] { return QCoreApplication::translate("Xlsx", "%1 inflates to more than its declared size").arg(e.name); };
    const auto sizeMismatch = [&e] { return QCoreApplication::translate("Xlsx", "%1 is truncated or corrupt (size mismatch)").arg(e.name); };
    if (m_inMemory) {
        libdeflate_decompressor *d = threadDecompressor();
        if (!d) {
            *error = QCoreApplication::translate("Xlsx", "cannot inflate %1").arg(e.name);
            return false;
        }
        // The declared size alone must keep within the ratio, so that no
        // more is written than the compressed bytes could honestly hold.
        if (e.uncompressedSize > InflateRatioGrace
            && e.uncompressedSize > MaxInflateRatio * std::max<quint64>(e.compressedSize, 1)) {
            *error = bomb();
            return false;
        }
        QByteArray out(int(e.uncompressedSize), Qt::Uninitialized);
        // Taken at once when the declared size is one that real parts
        // reach; a size that may be a lie keeps costing address space only.
        if (e.uncompressedSize <= PrefaultRatio * e.compressedSize)
            prefault(out.data(), size_t(out.size()));
        size_t in = 0, produced = 0;
        const libdeflate_result rc = libdeflate_deflate_decompress_ex(
            d, m_image.constData() + e.dataOffset, size_t(e.compressedSize), out.data(), size_t(out.size()), &in,
            &produced);
        if (rc == LIBDEFLATE_INSUFFICIENT_SPACE) {
            *error = tooLarge();
            return false;
        }
        if (rc != LIBDEFLATE_SUCCESS) {
            *error = corrupt();
            return false;
        }
        if (produced != e.uncompressedSize) {
            *error = sizeMismatch();
            return false;
        }
        if (produced > InflateRatioGrace && produced > MaxInflateRatio * std::max<quint64>(in, 1)) {
            *error = bomb();
            return false;
        }
        *result = std::move(out);
        return true;
    }

    QByteArray &out = *result;
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) {
        *error = QCoreApplication::translate("Xlsx", "cannot inflate %1").arg(e.name);
        return false;
    }
    // Grow the buffer as data arrives, so a lying size field costs nothing.
    out = QByteArray(int(std::min<quint64>(e.uncompressedSize, quint64(1) << 20)), Qt::Uninitialized);
    const quint64 chunk = 256 * 1024;
    QByteArray in(int(chunk), Qt::Uninitialized);
    quint64 consumed = 0, produced = 0;
    int rc = Z_OK;
    bool ok = true;
    while (ok && rc != Z_STREAM_END) {
        if (zs.avail_in == 0) {
            const quint64 n = std::min(chunk, e.compressedSize - consumed);
            if (n == 0) {
                *error = corrupt();
                ok = false;
                break;
            }
            if (!readRaw(e.dataOffset + consumed, n, in.data())) {
                *error = QCoreApplication::translate("Xlsx", "cannot read %1").arg(e.name);
                ok = false;
                break;
            }
            consumed += n;
            zs.next_in = reinterpret_cast<Bytef *>(in.data());
            zs.avail_in = uInt(n);
        }
        if (produced == quint64(out.size())) {
            // Room for one more byte than declared, to notice a liar.
            const quint64 want = std::min<quint64>(std::max<quint64>(produced * 2, 1 << 16),
                                                   e.uncompressedSize + 1);
            if (want <= produced) {
                *error = tooLarge();
                ok = false;
                break;
            }
            out.resize(int(want));
            prefault(out.data() + produced, size_t(quint64(out.size()) - produced)); // the room about to be written
        }
        zs.next_out = reinterpret_cast<Bytef *>(out.data()) + produced;
        zs.avail_out = uInt(quint64(out.size()) - produced);
        rc = inflate(&zs, Z_NO_FLUSH);
        produced = quint64(out.size()) - zs.avail_out;
        if (rc != Z_OK && rc != Z_STREAM_END) {
            *error = corrupt();
            ok = false;
            break;
        }
        if (produced > e.uncompressedSize) {
            *error = tooLarge();
            ok = false;
            break;
        }
        const quint64 input = consumed - zs.avail_in;
        if (produced > InflateRatioGrace && produced > MaxInflateRatio * std::max<quint64>(input, 1)) {
            *error = bomb();
            ok = false;
            break;
        }
    }
    inflateEnd(&zs);
    if (!ok)
        return false;
    if (produced != e.uncompressedSize) {
        *error = sizeMismatch();
        return false;
    }
    out.resize(int(produced));
    return true;
}

bool ZipArchive::read(int index, QByteArray *data, QString *error) const
{
    const ZipEntry &e = m_entries.at(size_t(index));
    if (e.uncompressedSize > MaxInflatedEntrySize) {
        *error = QCoreApplication::translate("Xlsx", "%1 is too large (%2 MB inflated)").arg(e.name).arg(e.uncompressedSize >> 20);
        return false;
    }
    QByteArray out;
    if (e.method == Zip::MethodStore) {
        out = QByteArray(int(e.uncompressedSize), Qt::Uninitialized);
        if (!readRaw(e.dataOffset, e.compressedSize, out.data())) {
            *error = QCoreApplication::translate("Xlsx", "cannot read %1").arg(e.name);
            return false;
        }
    } else if (!inflateEntry(e, &out, error)) {
        return false;
    }
    const quint32 crc = libdeflate_crc32(0, out.constData(), size_t(out.size()));
    if (crc != e.crc) {
        *error = QCoreApplication::translate("Xlsx", "%1 is corrupt (CRC mismatch)").arg(e.name);
        return false;
    }
    *data = std::move(out);
    return true;
}

} // namespace Xlsx
} // namespace Excel
