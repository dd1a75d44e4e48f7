#include "changeexportzip.h"

#include "atomicsave.h"
#include "littleendian.h"
#include "systemerror.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <libdeflate.h>
#include <unistd.h>
#include <zlib.h>

using Excel::appendU16;
using Excel::appendU32;
using Excel::appendU64;

namespace {

constexpr quint32 LocalHeaderSignature = 0x04034b50;
constexpr quint32 CentralRecordSignature = 0x02014b50;
constexpr quint32 EndRecordSignature = 0x06054b50;
constexpr quint32 Zip64EndRecordSignature = 0x06064b50;
constexpr quint32 Zip64LocatorSignature = 0x07064b50;
constexpr quint16 MethodDeflate = 8;
constexpr quint16 VersionDeflate = 20;
constexpr quint16 VersionZip64 = 45;
constexpr quint16 FlagUtf8Name = 0x0800;
constexpr quint64 Max32 = 0xFFFFFFFFu;

// Input of one piece. Larger pieces mean fewer hand-overs and a slightly
// better ratio; smaller ones keep the few buffers in flight, used again
// from piece to piece, small enough to stay in memory the allocator holds
// already rather than fresh pages each time.
constexpr size_t PieceSize = size_t(256) << 10;
// The output is written in blocks of this size.
constexpr int BufferSize = 1 << 20;
// zlib's fastest level: the record's XML is repetitive, and at level 1 it
// still shrinks to less than a tenth, in a fraction of the time of level 6;
// a smaller hash table than zlib's default is a little faster still, with
// the same ratio.
constexpr int DeflateLevel = 1;
constexpr int DeflateMemoryLevel = 6;
// libdeflate's fastest level, for the last piece.
constexpr int LastPieceLevel = 1;

QString systemError()
{
    return Excel::systemErrorText(errno);
}

} // namespace

// What compresses pieces, kept from one piece to the next so that its
// memory is not asked for again each time: a zlib stream for the pieces
// that the next one continues, libdeflate for the last.
struct ZipStreamWriter::Compressor
{
    z_stream zs;
    bool zlibReady = false;
    libdeflate_compressor *last = nullptr;

    Compressor() { std::memset(&zs, 0, sizeof zs); }
    ~Compressor()
    {
        if (zlibReady)
            deflateEnd(&zs);
        if (last)
            libdeflate_free_compressor(last);
    }
    z_stream *zlib()
    {
        if (!zlibReady) {
            zlibReady = deflateInit2(&zs, DeflateLevel, Z_DEFLATED, -MAX_WBITS, DeflateMemoryLevel, Z_DEFAULT_STRATEGY)
                == Z_OK;
        } else if (deflateReset(&zs) != Z_OK) {
            return nullptr;
        }
        return zlibReady ? &zs : nullptr;
    }
    libdeflate_compressor *libdeflate()
    {
        if (!last)
            last = libdeflate_alloc_compressor(LastPieceLevel);
        return last;
    }
};

struct ZipStreamWriter::Piece
{
    std::vector<char> input;
    bool last = false;
    // Only grows: a piece is used again. Left uninitialized, as the
    // compressor writes what is read of it.
    std::unique_ptr<char[]> output;
    size_t outputRoom = 0;
    size_t outputSize = 0;
    size_t inputSize = 0;
    quint32 crc = 0;
    bool ok = false;
    bool done = false; // under the pool's mutex

    // A raw deflate stream of its own, ended with a sync flush (an empty
    // stored block, so that the next piece starts on a byte boundary). The
    // last piece ends the stream; libdeflate, faster than zlib, can write
    // it, as it writes only whole streams.
    void deflatePiece(Compressor *c)
    {
        inputSize = input.size();
        // libdeflate's CRC is several times faster than zlib's, and the same sum.
        crc = quint32(libdeflate_crc32(0, input.data(), input.size()));
        ok = last ? deflateLast(c->libdeflate()) : deflateMiddle(c->zlib());
        input.clear();
    }

private:
    void reserveOutput(size_t bound)
    {
        if (outputRoom < bound) {
            output.reset(new char[bound]);
            outputRoom = bound;
        }
    }
    bool deflateMiddle(z_stream *zs)
    {
        if (!zs)
            return false;
        reserveOutput(deflateBound(zs, uLong(input.size())) + 16);
        zs->next_in = reinterpret_cast<Bytef *>(input.data());
        zs->avail_in = uInt(input.size());
        zs->next_out = reinterpret_cast<Bytef *>(output.get());
        zs->avail_out = uInt(outputRoom);
        const int rc = deflate(zs, Z_SYNC_FLUSH);
        outputSize = outputRoom - zs->avail_out;
        return rc == Z_OK && zs->avail_in == 0;
    }
    bool deflateLast(libdeflate_compressor *c)
    {
        if (!c)
            return false;
        reserveOutput(libdeflate_deflate_compress_bound(c, input.size()));
        outputSize = libdeflate_deflate_compress(c, input.data(), input.size(), output.get(), outputRoom);
        return outputSize > 0;
    }
};

ZipStreamWriter::ZipStreamWriter(int fd)
    : m_fd(fd)
    , m_parallel(size_t(std::max(1, QThread::idealThreadCount())))
    , m_compressor(std::make_unique<Compressor>())
{
    m_buffer.reserve(BufferSize);
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    m_date = quint16(((std::max(d.year(), 1980) - 1980) << 9) | (d.month() << 5) | d.day());
    m_time = quint16((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2));
}

ZipStreamWriter::~ZipStreamWriter()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread &t : m_workers)
        t.join();
}

void ZipStreamWriter::work()
{
    Compressor compressor;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stopping || !m_todo.empty(); });
        if (m_todo.empty())
            return;
        const std::shared_ptr<Piece> piece = m_todo.front();
        m_todo.pop_front();
        lock.unlock();
        piece->deflatePiece(&compressor);
        lock.lock();
        piece->done = true;
        m_finished.notify_all();
    }
}

bool ZipStreamWriter::addEntry(const QByteArray &name, const QByteArray &content, QString *error)
{
    return beginEntry(name, error) && write(content.constData(), size_t(content.size()), error) && endEntry(error);
}

bool ZipStreamWriter::beginEntry(const QByteArray &name, QString *error)
{
    Entry e;
    e.name = name;
    e.offset = m_position;
    QByteArray h;
    appendU32(h, LocalHeaderSignature);
    appendU16(h, VersionDeflate);
    appendU16(h, FlagUtf8Name);
    appendU16(h, MethodDeflate);
    appendU16(h, m_time);
    appendU16(h, m_date);
    appendU32(h, 0); // the CRC and the sizes are filled in at the end
    appendU32(h, 0);
    appendU32(h, 0);
    appendU16(h, quint16(name.size()));
    appendU16(h, 0);
    h += name;
    m_entries.push_back(e);
    m_inEntry = true;
    m_entrySize = 0;
    m_piece.clear();
    return output(h.constData(), size_t(h.size()), error);
}

bool ZipStreamWriter::write(const char *data, size_t length, QString *error)
{
    m_entrySize += length;
    while (length > 0) {
        if (m_piece.capacity() < PieceSize)
            m_piece.reserve(PieceSize);
        const size_t n = std::min(length, PieceSize - m_piece.size());
        m_piece.insert(m_piece.end(), data, data + n);
        data += n;
        length -= n;
        if (m_piece.size() == PieceSize && !submit(false, error))
            return false;
    }
    return true;
}

bool ZipStreamWriter::submit(bool last, QString *error)
{
    std::shared_ptr<Piece> piece;
    if (m_free.empty()) {
        piece = std::make_shared<Piece>();
    } else {
        piece = std::move(m_free.back());
        m_free.pop_back();
    }
    piece->input.swap(m_piece); // the next piece fills the room of an old one
    m_piece.clear();
    piece->last = last;
    piece->done = false;
    if (last && m_running.empty()) {
        // A small entry, or the end of a large one: no thread for it.
        piece->deflatePiece(m_compressor.get());
        piece->done = true;
        m_running.push_back(piece);
        return true;
    }
    if (!drain(m_parallel, error))
        return false;
    if (m_workers.size() < m_parallel)
        m_workers.emplace_back(&ZipStreamWriter::work, this);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_todo.push_back(piece);
    }
    m_running.push_back(piece);
    m_wake.notify_one();
    return true;
}

bool ZipStreamWriter::drain(size_t keep, QString *error)
{
    Entry &e = m_entries.back();
    while (m_running.size() > keep) {
        const std::shared_ptr<Piece> done = m_running.front();
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_finished.wait(lock, [&] { return done->done; });
        }
        m_running.pop_front();
        if (!done->ok) {
            *error = QCoreApplication::translate("Run", "cannot compress %1").arg(QString::fromUtf8(e.name));
            return false;
        }
        if (!output(done->output.get(), done->outputSize, error))
            return false;
        e.crc = quint32(crc32_combine(e.crc, done->crc, z_off_t(done->inputSize)));
        e.compressedSize += done->outputSize;
        m_free.push_back(done);
    }
    return true;
}

bool ZipStreamWriter::endEntry(QString *error)
{
    if (!m_inEntry)
        return true;
    m_inEntry = false;
    if (!submit(true, error) || !drain(0, error))
        return false;
    Entry &e = m_entries.back();
    e.size = m_entrySize;
    if (e.size >= Max32 || e.compressedSize >= Max32) {
        *error = QCoreApplication::translate("Run", "%1 would be larger than 4 GB").arg(QString::fromUtf8(e.name));
        return false;
    }
    char fields[12];
    qToLittleEndian<quint32>(e.crc, fields);
    qToLittleEndian<quint32>(quint32(e.compressedSize), fields + 4);
    qToLittleEndian<quint32>(quint32(e.size), fields + 8);
    return patch(e.offset + 14, fields, sizeof fields, error);
}

bool ZipStreamWriter::finish(QString *error)
{
    if (!endEntry(error))
        return false;
    const quint64 directory = m_position;
    for (const Entry &e : m_entries) {
        const bool far = e.offset >= Max32;
        QByteArray r;
        appendU32(r, CentralRecordSignature);
        appendU16(r, far ? VersionZip64 : VersionDeflate); // made by: MS-DOS
        appendU16(r, far ? VersionZip64 : VersionDeflate);
        appendU16(r, FlagUtf8Name);
        appendU16(r, MethodDeflate);
        appendU16(r, m_time);
        appendU16(r, m_date);
        appendU32(r, e.crc);
        appendU32(r, quint32(e.compressedSize));
        appendU32(r, quint32(e.size));
        appendU16(r, quint16(e.name.size()));
        appendU16(r, far ? 12 : 0);
        appendU16(r, 0); // comment
        appendU16(r, 0); // disk
        appendU16(r, 0); // internal attributes
        appendU32(r, 0); // external attributes
        appendU32(r, far ? quint32(Max32) : quint32(e.offset));
        r += e.name;
        if (far) {
            appendU16(r, 0x0001);
            appendU16(r, 8);
            appendU64(r, e.offset);
        }
        if (!output(r.constData(), size_t(r.size()), error))
            return false;
    }
    const quint64 directorySize = m_position - directory;
    const quint64 count = m_entries.size();
    QByteArray tail;
    if (count >= 0xFFFF || directory >= Max32 || directorySize >= Max32) {
        const quint64 record = m_position;
        appendU32(tail, Zip64EndRecordSignature);
        appendU64(tail, 44);
        appendU16(tail, VersionZip64);
        appendU16(tail, VersionZip64);
        appendU32(tail, 0);
        appendU32(tail, 0);
        appendU64(tail, count);
        appendU64(tail, count);
        appendU64(tail, directorySize);
        appendU64(tail, directory);
        appendU32(tail, Zip64LocatorSignature);
        appendU32(tail, 0);
        appendU64(tail, record);
        appendU32(tail, 1);
    }
    appendU32(tail, EndRecordSignature);
    appendU16(tail, 0);
    appendU16(tail, 0);
    appendU16(tail, quint16(std::min<quint64>(count, 0xFFFF)));
    appendU16(tail, quint16(std::min<quint64>(count, 0xFFFF)));
    appendU32(tail, quint32(std::min(directorySize, Max32)));
    appendU32(tail, quint32(std::min(directory, Max32)));
    appendU16(tail, 0);
    return output(tail.constData(), size_t(tail.size()), error) && flush(error);
}

bool ZipStreamWriter::output(const char *data, size_t length, QString *error)
{
    m_position += length;
    if (m_buffer.size() + qint64(length) > BufferSize && !flush(error))
        return false;
    if (length < size_t(BufferSize)) {
        m_buffer.append(data, int(length));
        return true;
    }
    return Excel::writeAll(m_fd, QByteArray::fromRawData(data, int(length)), error);
}

bool ZipStreamWriter::flush(QString *error)
{
    const bool ok = m_buffer.isEmpty() || Excel::writeAll(m_fd, m_buffer, error);
    m_buffer.resize(0);
    return ok;
}

bool ZipStreamWriter::patch(quint64 offset, const char *data, size_t length, QString *error)
{
    const quint64 buffered = m_position - quint64(m_buffer.size());
    if (offset >= buffered) {
        std::memcpy(m_buffer.data() + (offset - buffered), data, length);
        return true;
    }
    while (length > 0) {
        const ssize_t n = ::pwrite(m_fd, data, length, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = QCoreApplication::translate("Run", "cannot write the record of changes: %1").arg(systemError());
            return false;
        }
        data += n;
        offset += quint64(n);
        length -= size_t(n);
    }
    return true;
}
