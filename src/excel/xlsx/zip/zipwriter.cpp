#include "xlsx/zip/zipwriter.h"

#include "systemerror.h"
#include "xlsx/zip/ziparchive.h"
#include "xlsx/zip/zipformat.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <algorithm>
#include <vector>
#include <deque>
#include <future>
#include <libdeflate.h>
#include <memory>
#include <zlib.h>

namespace Excel {
namespace Xlsx {

namespace {

QString systemError()
{
    return Excel::systemErrorText(errno);
}

// Buffered writes to a file descriptor, with the position tracked so that
// header fields can be patched afterwards. The buffer is sized for the
// expected output (a small archive goes out in one write) up to its limit.
class FileOutput : public ByteSink
{
public:
    FileOutput(int fd, quint64 expectedSize) : m_fd(fd)
    {
        m_buffer.reserve(int(std::min<quint64>(BufferSize, expectedSize + expectedSize / 8 + 4096)));
    }

    bool write(const char *data, size_t length) override
    {
        if (m_failed)
            return false;
        if (m_buffer.size() + length > BufferSize && !flush())
            return false;
        if (length >= BufferSize)
            return writeAll(data, length);
        m_buffer.append(data, int(length));
        return true;
    }
    using ByteSink::write;

    bool flush()
    {
        if (m_buffer.isEmpty())
            return !m_failed;
        const bool ok = writeAll(m_buffer.constData(), size_t(m_buffer.size()));
        m_buffer.resize(0); // keeps the reserved capacity, where clear() would free it
        return ok;
    }

    quint64 position() const { return m_written + quint64(m_buffer.size()); }

    bool patch(quint64 offset, const char *data, size_t length)
    {
        if (m_failed)
            return false;
        if (offset >= m_written && offset + length <= position()) {
            // Still buffered (a small archive is written in one piece).
            std::memcpy(m_buffer.data() + (offset - m_written), data, length);
            return true;
        }
        if (!flush())
            return false;
        while (length > 0) {
            const ssize_t n = ::pwrite(m_fd, data, length, off_t(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return fail();
            data += n;
            offset += quint64(n);
            length -= size_t(n);
        }
        return true;
    }

    QString error() const { return m_error; }

private:
    static constexpr size_t BufferSize = 1 << 20;

    bool writeAll(const char *data, size_t length)
    {
        while (length > 0) {
            const ssize_t n = ::write(m_fd, data, length);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return fail();
            data += n;
            length -= size_t(n);
            m_written += quint64(n);
        }
        return true;
    }
    bool fail()
    {
        if (!m_failed)
            m_error = QCoreApplication::translate("Xlsx", "cannot write the new file: %1").arg(systemError());
        m_failed = true;
        return false;
    }

    int m_fd;
    QByteArray m_buffer;
    quint64 m_written = 0;
    bool m_failed = false;
    QString m_error;
};

// Per thread, kept from one part to the next: libdeflate's compressor and
// the buffers of a part's input and output.
struct DeflateState
{
    libdeflate_compressor *compressor = nullptr;
    std::vector<char> input, output;

    ~DeflateState()
    {
        if (compressor)
            libdeflate_free_compressor(compressor);
    }
    libdeflate_compressor *get()
    {
        if (!compressor)
            compressor = libdeflate_alloc_compressor(ChangedEntryLibdeflateLevel);
        return compressor;
    }
};

DeflateState &threadDeflateState()
{
    thread_local DeflateState state;
    return state;
}

// A part at most this large is deflated in one piece by libdeflate; a
// larger one in pieces of this size, two at a time on their own threads.
constexpr size_t WholePartLimit = size_t(8) << 20;
constexpr size_t PieceSize = size_t(4) << 20;
constexpr size_t Window = 32768;

// One piece of a large part as a raw deflate stream that the next piece
// continues (pigz style): primed with the 32 KB before it, ended with a
// sync flush (the last piece with the end of the stream).
struct Piece
{
    std::vector<char> input;
    std::vector<char> dictionary;
    bool last = false;
    std::vector<char> output;
    bool ok = false;

    void deflatePiece()
    {
        z_stream zs;
        std::memset(&zs, 0, sizeof zs);
        if (deflateInit2(&zs, ChangedEntryDeflateLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return;
        if (!dictionary.empty())
            deflateSetDictionary(&zs, reinterpret_cast<const Bytef *>(dictionary.data()), uInt(dictionary.size()));
        output.resize(deflateBound(&zs, uLong(input.size())) + 64);
        zs.next_in = reinterpret_cast<Bytef *>(input.data());
        zs.avail_in = uInt(input.size());
        zs.next_out = reinterpret_cast<Bytef *>(output.data());
        zs.avail_out = uInt(output.size());
        const int rc = deflate(&zs, last ? Z_FINISH : Z_SYNC_FLUSH);
        ok = last ? rc == Z_STREAM_END : (rc == Z_OK && zs.avail_in == 0);
        output.resize(output.size() - zs.avail_out);
        deflateEnd(&zs);
    }
};

// Deflates what it is given into the output, counting sizes and the CRC:
// a small part gathered and deflated at once, a large one in pieces
// deflated in parallel while the rest is still being produced.
class DeflatingSink : public ByteSink
{
public:
    explicit DeflatingSink(FileOutput *out) : m_out(out), m_state(threadDeflateState()) { m_state.input.clear(); }
    ~DeflatingSink() override
    {
        for (auto &f : m_running)
            f.wait();
    }

    bool write(const char *data, size_t length) override
    {
        if (m_failed)
            return false;
        m_inputSize += length;
        std::vector<char> &in = m_state.input;
        while (length > 0) {
            const size_t room = (m_pieces ? PieceSize : WholePartLimit) - in.size();
            if (room == 0) {
                if (!startPiece(false))
                    return false;
                continue;
            }
            const size_t n = std::min(room, length);
            in.insert(in.end(), data, data + n);
            data += n;
            length -= n;
        }
        return true;
    }
    using ByteSink::write;

    bool finish()
    {
        if (m_failed)
            return false;
        if (m_pieces)
            return startPiece(true) && drain(0);
        std::vector<char> &in = m_state.input, &out = m_state.output;
        libdeflate_compressor *c = m_state.get();
        if (!c)
            return false;
        m_crc = libdeflate_crc32(m_crc, in.data(), in.size());
        out.resize(libdeflate_deflate_compress_bound(c, in.size()));
        const size_t n = libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size());
        in.clear();
        if (n == 0 || !m_out->write(out.data(), n))
            return false;
        m_outputSize = n;
        return true;
    }

    quint32 crc() const { return m_crc; }
    quint64 inputSize() const { return m_inputSize; }
    quint64 outputSize() const { return m_outputSize; }

private:
    // Hands the gathered input over as the next piece.
    bool startPiece(bool last)
    {
        auto piece = std::make_shared<Piece>();
        m_crc = libdeflate_crc32(m_crc, m_state.input.data(), m_state.input.size());
        piece->input.swap(m_state.input);
        piece->dictionary = std::move(m_window);
        piece->last = last;
        const std::vector<char> &in = piece->input;
        m_window.assign(in.end() - std::ptrdiff_t(std::min(in.size(), Window)), in.end());
        m_state.input.clear();
        m_state.input.reserve(PieceSize);
        m_pieces = true;
        if (!drain(1))
            return false;
        m_running.push_back(std::async(std::launch::async, [piece] {
            piece->deflatePiece();
            return piece;
        }));
        return true;
    }

    // Writes out the finished pieces, in order, until at most keep are
    // still running.
    bool drain(size_t keep)
    {
        while (m_running.size() > keep) {
            std::shared_ptr<Piece> done = m_running.front().get();
            m_running.pop_front();
            if (!done->ok || !m_out->write(done->output.data(), done->output.size())) {
                m_failed = true;
                return false;
            }
            m_outputSize += done->output.size();
        }
        return true;
    }

    FileOutput *m_out;
    DeflateState &m_state;
    bool m_pieces = false;
    bool m_failed = false;
    std::vector<char> m_window;
    std::deque<std::future<std::shared_ptr<Piece>>> m_running;
    quint32 m_crc = 0;
    quint64 m_inputSize = 0;
    quint64 m_outputSize = 0;
};

struct WrittenEntry
{
    int index;
    quint64 offset;
    bool changed;
    quint32 crc;
    quint64 compressedSize;
    quint64 uncompressedSize;
};

bool copyRaw(const ZipArchive &source, quint64 offset, quint64 length, FileOutput *out, QString *error)
{
    QByteArray buffer(int(std::min<quint64>(length, 1 << 20)), Qt::Uninitialized);
    while (length > 0) {
        const quint64 n = std::min<quint64>(length, quint64(buffer.size()));
        if (!source.readRaw(offset, n, buffer.data())) {
            *error = QCoreApplication::translate("Xlsx", "cannot read the original file");
            return false;
        }
        if (!out->write(buffer.constData(), size_t(n))) {
            *error = out->error();
            return false;
        }
        offset += n;
        length -= n;
    }
    return true;
}

bool writeChangedEntry(const ZipEntry &e, const EntryProducer &produce, FileOutput *out, WrittenEntry *w,
                       QString *error)
{
    const QByteArray extra = Zip::withoutZip64Extra(e.localExtra);
    QByteArray h;
    h.reserve(int(Zip::LocalHeaderSize) + e.rawName.size() + extra.size());
    appendU32(h, Zip::LocalHeaderSignature);
    appendU16(h, e.versionNeeded);
    appendU16(h, quint16(e.flags & ~(Zip::FlagDataDescriptor | Zip::FlagDeflateLevelBits)));
    appendU16(h, Zip::MethodDeflate);
    appendU16(h, e.modTime);
    appendU16(h, e.modDate);
    appendU32(h, 0); // CRC and sizes are patched in once known
    appendU32(h, 0);
    appendU32(h, 0);
    appendU16(h, quint16(e.rawName.size()));
    appendU16(h, quint16(extra.size()));
    h.append(e.rawName);
    h.append(extra);
    w->offset = out->position();
    if (!out->write(h)) {
        *error = out->error();
        return false;
    }
    DeflatingSink sink(out);
    if (!produce(&sink, error)) {
        if (error->isEmpty())
            *error = out->error().isEmpty() ? QCoreApplication::translate("Xlsx", "cannot write %1").arg(e.name) : out->error();
        return false;
    }
    if (!sink.finish()) {
        *error = out->error().isEmpty() ? QCoreApplication::translate("Xlsx", "cannot compress %1").arg(e.name) : out->error();
        return false;
    }
    if (sink.inputSize() >= 0xFFFFFFFFu || sink.outputSize() >= 0xFFFFFFFFu) {
        *error = QCoreApplication::translate("Xlsx", "%1 would be larger than 4 GB").arg(e.name);
        return false;
    }
    char fields[12];
    qToLittleEndian<quint32>(sink.crc(), fields);
    qToLittleEndian<quint32>(quint32(sink.outputSize()), fields + 4);
    qToLittleEndian<quint32>(quint32(sink.inputSize()), fields + 8);
    if (!out->patch(w->offset + 14, fields, sizeof fields)) {
        *error = out->error();
        return false;
    }
    w->changed = true;
    w->crc = sink.crc();
    w->compressedSize = sink.outputSize();
    w->uncompressedSize = sink.inputSize();
    return true;
}

// The central record of an entry as written: the original record with its
// offset (and for a changed entry its method, flags, CRC and sizes) updated.
// Values that do not fit 32 bits go into a ZIP64 extra; a record that
// needs none and had none keeps every other byte.
QByteArray centralRecord(const ZipArchive &source, const ZipEntry &e, const WrittenEntry &w)
{
    const QByteArray r = source.centralDirectory().mid(e.centralRecordOffset, e.centralRecordLength);
    char h[Zip::CentralRecordSize];
    if (r.size() < int(sizeof h))
        return r; // cannot happen: the reader checked every record
    std::memcpy(h, r.constData(), sizeof h);
    const int nameLen = qFromLittleEndian<quint16>(h + 28), extraLen = qFromLittleEndian<quint16>(h + 30);
    const QByteArray name = r.mid(int(sizeof h), nameLen);
    const QByteArray extra = r.mid(int(sizeof h) + nameLen, extraLen);
    const QByteArray comment = r.mid(int(sizeof h) + nameLen + extraLen);
    const quint64 usize = w.changed ? w.uncompressedSize : e.uncompressedSize;
    const quint64 csize = w.changed ? w.compressedSize : e.compressedSize;
    const bool hadZip64 = Zip::hasZip64Extra(extra.constData(), extra.size());
    const bool needU = usize >= 0xFFFFFFFFu, needC = csize >= 0xFFFFFFFFu, needO = w.offset >= 0xFFFFFFFFu;
    if (w.changed) {
        qToLittleEndian<quint16>(quint16(e.flags & ~(Zip::FlagDataDescriptor | Zip::FlagDeflateLevelBits)), h + 8);
        qToLittleEndian<quint16>(Zip::MethodDeflate, h + 10);
        qToLittleEndian<quint32>(w.crc, h + 16);
    }
    QByteArray newExtra = extra;
    if (hadZip64 || needU || needC || needO) {
        QByteArray z;
        if (needU)
            appendU64(z, usize);
        if (needC)
            appendU64(z, csize);
        if (needO)
            appendU64(z, w.offset);
        newExtra = Zip::withoutZip64Extra(extra);
        if (!z.isEmpty()) {
            QByteArray block;
            appendU16(block, Zip::Zip64ExtraId);
            appendU16(block, quint16(z.size()));
            newExtra.prepend(block + z);
            if (qFromLittleEndian<quint16>(h + 6) < Zip::VersionZip64)
                qToLittleEndian<quint16>(Zip::VersionZip64, h + 6);
        }
        qToLittleEndian<quint16>(quint16(newExtra.size()), h + 30);
        qToLittleEndian<quint16>(0, h + 34);
    }
    qToLittleEndian<quint32>(needC ? 0xFFFFFFFFu : quint32(csize), h + 20);
    qToLittleEndian<quint32>(needU ? 0xFFFFFFFFu : quint32(usize), h + 24);
    qToLittleEndian<quint32>(needO ? 0xFFFFFFFFu : quint32(w.offset), h + 42);
    return QByteArray(h, int(sizeof h)) + name + newExtra + comment;
}

} // namespace

bool writeZipArchive(const ZipArchive &source, const ZipChanges &changes, int fd, QString *error)
{
    FileOutput out(fd, quint64(source.fileStatus().st_size));
    const auto &entries = source.entries();
    // Entries go out in the order of their data in the file, which is not
    // always the order of the central directory; the directory keeps its own.
    std::vector<int> physical;
    for (size_t i = 0; i < entries.size(); ++i)
        if (!changes.removed.count(int(i)))
            physical.push_back(int(i));
    std::sort(physical.begin(), physical.end(), [&](int a, int b) {
        return entries[size_t(a)].localHeaderOffset < entries[size_t(b)].localHeaderOffset;
    });
    std::vector<WrittenEntry> written(entries.size());
    for (int index : physical) {
        const ZipEntry &e = entries[size_t(index)];
        WrittenEntry w{index, out.position(), false, e.crc, e.compressedSize, e.uncompressedSize};
        auto it = changes.replaced.find(index);
        if (it != changes.replaced.end()) {
            if (!writeChangedEntry(e, it->second, &out, &w, error))
                return false;
        } else if (!copyRaw(source, e.localHeaderOffset, e.spanEnd - e.localHeaderOffset, &out, error)) {
            return false;
        }
        written[size_t(index)] = w;
    }

    const quint64 cdOffset = out.position();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (changes.removed.count(int(i)))
            continue;
        const WrittenEntry &w = written[i];
        const ZipEntry &e = entries[i];
        if (!out.write(centralRecord(source, e, w))) {
            *error = out.error();
            return false;
        }
    }
    const quint64 cdSize = out.position() - cdOffset;
    const quint64 count = physical.size();
    QByteArray tail;
    const bool zip64 = count >= 0xFFFF || cdOffset >= 0xFFFFFFFFu || cdSize >= 0xFFFFFFFFu;
    if (zip64) {
        const quint64 recordOffset = out.position();
        appendU32(tail, Zip::Zip64EndRecordSignature);
        appendU64(tail, Zip::Zip64EndRecordSize - 12);
        appendU16(tail, Zip::VersionZip64);
        appendU16(tail, Zip::VersionZip64);
        appendU32(tail, 0);
        appendU32(tail, 0);
        appendU64(tail, count);
        appendU64(tail, count);
        appendU64(tail, cdSize);
        appendU64(tail, cdOffset);
        appendU32(tail, Zip::Zip64LocatorSignature);
        appendU32(tail, 0);
        appendU64(tail, recordOffset);
        appendU32(tail, 1);
    }
    appendU32(tail, Zip::EndRecordSignature);
    appendU16(tail, 0);
    appendU16(tail, 0);
    appendU16(tail, quint16(std::min<quint64>(count, 0xFFFF)));
    appendU16(tail, quint16(std::min<quint64>(count, 0xFFFF)));
    appendU32(tail, quint32(std::min<quint64>(cdSize, 0xFFFFFFFFu)));
    appendU32(tail, quint32(std::min<quint64>(cdOffset, 0xFFFFFFFFu)));
    appendU16(tail, quint16(source.comment().size()));
    tail.append(source.comment());
    if (!out.write(tail) || !out.flush()) {
        *error = out.error();
        return false;
    }
    return true;
}

} // namespace Xlsx
} // namespace Excel
