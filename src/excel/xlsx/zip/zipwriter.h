#pragma once

// Writes a new archive from an existing one: entries in their original
// order, unchanged ones copied byte for byte (local header, data and data
// descriptor), changed ones deflated at level 6 under their old name,
// timestamp and extra fields, removed ones left out; the central directory
// copied record by record with offsets fixed, ZIP64 records only where a
// value needs them, and the archive comment kept.

#include <QString>

#include <functional>
#include <map>
#include <set>

namespace Excel {
namespace Xlsx {

class ZipArchive;

class ByteSink
{
public:
    virtual ~ByteSink() = default;
    virtual bool write(const char *data, size_t length) = 0;
    bool write(const QByteArray &b) { return write(b.constData(), size_t(b.size())); }
};

// Streams the new content of one entry into the sink.
using EntryProducer = std::function<bool(ByteSink *sink, QString *error)>;

struct ZipChanges
{
    std::map<int, EntryProducer> replaced; // by entry index
    std::set<int> removed;

    bool isEmpty() const { return replaced.empty() && removed.empty(); }
};

// zlib's level for the pieces of a large changed part.
constexpr int ChangedEntryDeflateLevel = 6;
// libdeflate's level for the other changed parts: its levels are not
// zlib's, and at 5 it writes workbook XML a little smaller than zlib at 6
// does, in 60 to 80% of the time its own level 6 takes.
constexpr int ChangedEntryLibdeflateLevel = 5;

// Writes to fd (positioned at its start). False with a reason on any
// failure, including a producer's.
bool writeZipArchive(const ZipArchive &source, const ZipChanges &changes, int fd, QString *error);

} // namespace Xlsx
} // namespace Excel
