#pragma once

// Read access to a zip archive as an OPC package stores it. The whole
// structure is checked when the archive is opened: the end record (and its
// ZIP64 forms), every central directory record, and every entry's local
// header against its central record, so that an archive is either sound or
// refused. Entries are read one at a time, inflated under size and ratio
// bounds, and checked against their CRC.
//
// The file stays open until the archive is destroyed, so that a save can
// copy the raw bytes of the entries it does not change. A file of at most
// WholeFileReadLimit bytes is read into memory in one go when it is opened,
// and all later reads are served from there: a small workbook then costs
// one read instead of several per entry.

#include <QByteArray>
#include <QString>

#include "openedfile.h"

#include <memory>
#include <vector>

namespace Excel {
namespace Xlsx {

// Most bytes one entry may inflate to. A sheet of a million cells is about
// 51 MB of XML; this leaves room for sheets ten times that size while a
// hostile entry is stopped long before it exhausts memory.
constexpr quint64 MaxInflatedEntrySize = quint64(512) << 20;

// Beyond this many inflated bytes an entry must also keep within
// MaxInflateRatio. Below it the size alone is harmless.
constexpr quint64 InflateRatioGrace = quint64(8) << 20;

// Inflated bytes per compressed byte that an entry may reach once past the
// grace size. Parts of real workbooks measure up to about 15:1, and even a
// sheet of a million identical formulas or empty styled cells stays near
// 22:1 at the usual compression levels; deflate itself can reach about
// 1032:1, which is what a zip bomb aims at.
constexpr quint64 MaxInflateRatio = 200;

// Files up to this size are read whole when opened.
constexpr quint64 WholeFileReadLimit = quint64(16) << 20;

struct ZipEntry
{
    QByteArray rawName;  // the name as stored
    QString name;        // decoded (UTF-8, or Latin-1 when it is not UTF-8)
    quint16 versionNeeded = 0;
    quint16 flags = 0;
    quint16 method = 0;
    quint16 modTime = 0;
    quint16 modDate = 0;
    quint32 crc = 0;
    quint64 compressedSize = 0;
    quint64 uncompressedSize = 0;
    quint64 localHeaderOffset = 0;
    quint64 dataOffset = 0;      // first byte of the compressed data
    quint64 spanEnd = 0;         // just past the data descriptor, if any
    QByteArray localExtra;       // the local header's extra field
    int centralRecordOffset = 0; // into centralDirectory()
    int centralRecordLength = 0;

};

class ZipArchive
{
public:
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    // Opens and checks the archive; none with a reason when it is not a
    // zip archive, is truncated or damaged, has encrypted entries, methods
    // other than store and deflate, overlapping entries, or two names that
    // differ only in letter case.
    // wholeFileLimit: the largest file that is read into memory at once.
    static std::unique_ptr<ZipArchive> open(const QString &path, QString *error,
                                            quint64 wholeFileLimit = WholeFileReadLimit);
    // The same for the file open in *opened, whose descriptor it takes.
    static std::unique_ptr<ZipArchive> open(OpenedFile *opened, QString *error,
                                            quint64 wholeFileLimit = WholeFileReadLimit);

    const std::vector<ZipEntry> &entries() const { return m_entries; }

    // The entry of that name (compared without case); -1 when absent.
    int find(const QString &name) const;

    // Inflates the entry into *data, checking its size, ratio and CRC.
    bool read(int index, QByteArray *data, QString *error) const;

    // Reads raw bytes of the file; false when the file is shorter.
    bool readRaw(quint64 offset, quint64 length, char *buffer) const;

    const QByteArray &centralDirectory() const { return m_central; }
    const QByteArray &comment() const { return m_comment; }
    int fileDescriptor() const { return m_fd; }
    // What fstat told of the file when it was opened, before it was read.
    const struct stat &fileStatus() const { return m_status; }

private:
    ZipArchive() = default;
    bool load(quint64 wholeFileLimit, QString *error);
    bool loadStatus(quint64 wholeFileLimit, QString *error);
    bool readCentralDirectory(quint64 offset, quint64 size, quint64 count, QString *error);
    bool checkLocalHeader(ZipEntry *entry, QString *error);

    bool inflateEntry(const ZipEntry &e, QByteArray *out, QString *error) const;

    int m_fd = -1;
    struct stat m_status = {};
    quint64 m_fileSize = 0;
    QByteArray m_image; // the whole file, when it is small enough
    bool m_inMemory = false;
    QByteArray m_central;
    QByteArray m_comment;
    std::vector<ZipEntry> m_entries;
    std::vector<std::pair<QString, int>> m_byFoldedName; // sorted
};

} // namespace Xlsx
} // namespace Excel
