#pragma once

// One entry of an archive read in pieces: its bytes come inflated a piece
// at a time, under the same ratio bound as a whole read, and the size and
// the CRC are checked once the last piece is out. A reader that consumes
// pieces before the end must treat what it made of them as provisional
// until next() says the entry is complete.

#include "xlsx/zip/ziparchive.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace Excel {
namespace Xlsx {

class ZipEntryReader
{
public:
    // Pieces of at most pieceSize bytes.
    ZipEntryReader(const ZipArchive &archive, int index, size_t pieceSize = size_t(1) << 20);
    ~ZipEntryReader();
    ZipEntryReader(const ZipEntryReader &) = delete;
    ZipEntryReader &operator=(const ZipEntryReader &) = delete;

    // The next piece; empty once the entry is complete and checked. False
    // with the reason on a damaged, truncated or oversized entry.
    bool next(QByteArray *piece, QString *error);

    quint64 declaredSize() const { return m_entry.uncompressedSize; }

private:
    struct Inflater;
    bool fail(const QString &why, QString *error);
    // Fills out (at most m_pieceSize bytes); *size 0 once complete.
    bool fill(char *out, size_t *size, QString *error);

    const ZipArchive &m_archive;
    const ZipEntry &m_entry;
    size_t m_pieceSize;
    QByteArray m_in;
    quint64 m_consumed = 0, m_produced = 0;
    quint32 m_crc = 0;
    bool m_done = false, m_failed = false, m_streamEnded = false;
    std::unique_ptr<Inflater> m_inflater;
};

} // namespace Xlsx
} // namespace Excel
