#include "xls/cfb/libgsf.h" // first: see there

#include "xls/cfb/compoundfile.h"

#include "littleendian.h"

#include <QCoreApplication>
#include <QDebug>

#include <algorithm>
#include <cstring>

namespace Excel {
namespace Biff {

namespace {

constexpr quint32 NoStream = 0xFFFFFFFFu;
constexpr quint32 EndOfChain = 0xFFFFFFFEu;
constexpr quint32 MaxRegularSector = 0xFFFFFFFAu;

QString damaged(const QString &why)
{
    return QCoreApplication::translate("Xls", "damaged compound file: ") + why;
}

// Sector ownership while checking: every sector belongs to at most one chain.
class SectorMap
{
public:
    explicit SectorMap(quint32 count) : m_used(count, false) {}
    quint32 count() const { return quint32(m_used.size()); }
    bool claim(quint32 s, const QString &what, QString *error)
    {
        if (s >= m_used.size()) {
            *error = damaged(QCoreApplication::translate("Xls", "%1 points to sector %2 outside the file").arg(what).arg(s));
            return false;
        }
        if (m_used[s]) {
            *error = damaged(QCoreApplication::translate("Xls", "sector %1 of %2 is also used elsewhere").arg(s).arg(what));
            return false;
        }
        m_used[s] = true;
        return true;
    }

private:
    std::vector<bool> m_used;
};

struct DirEntry
{
    quint8 type = 0;
    quint32 left = NoStream, right = NoStream, child = NoStream;
    quint32 start = 0;
    quint64 size = 0;
};

// Follows a chain in fat from start, claiming each sector; it must hold at
// least minSectors sectors.
bool walkChain(const std::vector<quint32> &fat, SectorMap &map, quint32 start, quint64 minSectors,
               const QString &what, std::vector<quint32> *sectors, QString *error)
{
    quint64 n = 0;
    quint32 s = start;
    while (s != EndOfChain) {
        if (s > MaxRegularSector || s >= fat.size()) {
            *error = damaged(QCoreApplication::translate("Xls", "the chain of %1 is broken").arg(what));
            return false;
        }
        if (!map.claim(s, what, error))
            return false;
        if (sectors)
            sectors->push_back(s);
        ++n;
        s = fat[s];
    }
    if (n < minSectors) {
        *error = damaged(QCoreApplication::translate("Xls", "the chain of %1 is shorter than its size").arg(what));
        return false;
    }
    return true;
}

} // namespace

bool checkCompoundFile(const QByteArray &file, QString *error)
{
    const char *d = file.constData();
    const quint64 size = quint64(file.size());
    if (size < 512 || std::memcmp(d, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) != 0) {
        *error = damaged(QCoreApplication::translate("Xls", "no compound file header"));
        return false;
    }
    const quint16 major = qFromLittleEndian<quint16>(d + 0x1A);
    const quint16 shift = qFromLittleEndian<quint16>(d + 0x1E);
    if (qFromLittleEndian<quint16>(d + 0x1C) != 0xFFFE || !((major == 3 && shift == 9) || (major == 4 && shift == 12))
        || qFromLittleEndian<quint16>(d + 0x20) != 6 || qFromLittleEndian<quint32>(d + 0x38) != 4096) {
        *error = damaged(QCoreApplication::translate("Xls", "unsupported header values"));
        return false;
    }
    const quint32 ss = 1u << shift;
    if (size < ss) {
        *error = damaged(QCoreApplication::translate("Xls", "the file is shorter than its header"));
        return false;
    }
    SectorMap map(quint32((size - ss + ss - 1) / ss));
    const auto sectorData = [&](quint32 s) { return d + ss + quint64(s) * ss; };
    const auto sectorComplete = [&](quint32 s) { return ss + (quint64(s) + 1) * ss <= size; };

    // The FAT sectors: 109 in the header, the rest in the DIFAT chain.
    const quint32 numFat = qFromLittleEndian<quint32>(d + 0x2C);
    if (numFat == 0 || numFat > map.count()) {
        *error = damaged(QCoreApplication::translate("Xls", "impossible FAT size"));
        return false;
    }
    std::vector<quint32> fatSectors;
    for (int i = 0; i < 109 && fatSectors.size() < numFat; ++i)
        fatSectors.push_back(qFromLittleEndian<quint32>(d + 0x4C + 4 * i));
    quint32 difat = qFromLittleEndian<quint32>(d + 0x44);
    const quint32 numDifat = qFromLittleEndian<quint32>(d + 0x48);
    for (quint32 k = 0; k < numDifat && fatSectors.size() < numFat; ++k) {
        if (!map.claim(difat, QCoreApplication::translate("Xls", "the DIFAT"), error))
            return false;
        if (!sectorComplete(difat)) {
            *error = damaged(QCoreApplication::translate("Xls", "a DIFAT sector is cut off"));
            return false;
        }
        const char *p = sectorData(difat);
        for (quint32 i = 0; i + 1 < ss / 4 && fatSectors.size() < numFat; ++i)
            fatSectors.push_back(qFromLittleEndian<quint32>(p + 4 * i));
        difat = qFromLittleEndian<quint32>(p + ss - 4);
    }
    if (fatSectors.size() < numFat) {
        *error = damaged(QCoreApplication::translate("Xls", "the DIFAT lists fewer FAT sectors than the header"));
        return false;
    }
    std::vector<quint32> fat;
    fat.reserve(size_t(numFat) * (ss / 4));
    for (quint32 s : fatSectors) {
        if (!map.claim(s, QCoreApplication::translate("Xls", "the FAT"), error))
            return false;
        if (!sectorComplete(s)) {
            *error = damaged(QCoreApplication::translate("Xls", "a FAT sector is cut off"));
            return false;
        }
        const char *p = sectorData(s);
        for (quint32 i = 0; i < ss / 4; ++i)
            fat.push_back(qFromLittleEndian<quint32>(p + 4 * i));
    }

    // The directory.
    std::vector<quint32> dirSectors;
    if (!walkChain(fat, map, qFromLittleEndian<quint32>(d + 0x30), 1, QCoreApplication::translate("Xls", "the directory"), &dirSectors, error))
        return false;
    std::vector<DirEntry> entries;
    for (quint32 s : dirSectors) {
        if (!sectorComplete(s)) {
            *error = damaged(QCoreApplication::translate("Xls", "a directory sector is cut off"));
            return false;
        }
        for (quint32 off = 0; off < ss; off += 128) {
            const char *e = sectorData(s) + off;
            DirEntry de;
            de.type = quint8(e[66]);
            de.left = qFromLittleEndian<quint32>(e + 68);
            de.right = qFromLittleEndian<quint32>(e + 72);
            de.child = qFromLittleEndian<quint32>(e + 76);
            de.start = qFromLittleEndian<quint32>(e + 116);
            de.size = major == 3 ? qFromLittleEndian<quint32>(e + 120) : (quint64(qFromLittleEndian<quint32>(e + 120)) | (quint64(qFromLittleEndian<quint32>(e + 124)) << 32));
            entries.push_back(de);
        }
    }
    if (entries.empty() || entries[0].type != 5) {
        *error = damaged(QCoreApplication::translate("Xls", "no root entry"));
        return false;
    }
    // The root has children but no siblings; libgsf would follow them.
    if (entries[0].left != NoStream || entries[0].right != NoStream) {
        *error = damaged(QCoreApplication::translate("Xls", "the root entry has siblings"));
        return false;
    }
    if (entries[0].size > size) {
        *error = damaged(QCoreApplication::translate("Xls", "the mini stream is larger than the file"));
        return false;
    }
    // Mini FAT and mini stream.
    std::vector<quint32> miniFatSectors;
    const quint32 numMiniFat = qFromLittleEndian<quint32>(d + 0x40);
    if (numMiniFat > 0 && !walkChain(fat, map, qFromLittleEndian<quint32>(d + 0x3C), numMiniFat, QCoreApplication::translate("Xls", "the mini FAT"),
                                     &miniFatSectors, error))
        return false;
    std::vector<quint32> miniFat;
    for (quint32 s : miniFatSectors) {
        if (!sectorComplete(s)) {
            *error = damaged(QCoreApplication::translate("Xls", "a mini FAT sector is cut off"));
            return false;
        }
        for (quint32 i = 0; i < ss / 4; ++i)
            miniFat.push_back(qFromLittleEndian<quint32>(sectorData(s) + 4 * i));
    }
    // A mini stream whose chain ends before the size the root entry gives
    // is read as far as it goes (xlrd and libgsf read such files too): each
    // stream in it must still find its whole chain there.
    quint64 miniSize = entries[0].size;
    std::vector<quint32> miniSectors;
    if (miniSize > 0
        && !walkChain(fat, map, entries[0].start, 1, QCoreApplication::translate("Xls", "the mini stream"), &miniSectors, error))
        return false;
    miniSize = std::min<quint64>(miniSize, quint64(miniSectors.size()) * ss);
    SectorMap miniMap(quint32(miniSize / 64));

    // Walk the tree from the root; every entry is reached at most once.
    std::vector<bool> seen(entries.size(), false);
    std::vector<quint32> stack;
    seen[0] = true;
    if (entries[0].child != NoStream)
        stack.push_back(entries[0].child);
    while (!stack.empty()) {
        const quint32 id = stack.back();
        stack.pop_back();
        if (id >= entries.size() || seen[id]) {
            *error = damaged(QCoreApplication::translate("Xls", "the directory tree is broken"));
            return false;
        }
        seen[id] = true;
        const DirEntry &e = entries[id];
        if (e.type != 1 && e.type != 2) {
            *error = damaged(QCoreApplication::translate("Xls", "the directory tree is broken"));
            return false;
        }
        for (quint32 next : {e.left, e.right, e.type == 1 ? e.child : NoStream})
            if (next != NoStream)
                stack.push_back(next);
        if (e.type != 2 || e.size == 0)
            continue;
        if (e.size > size) {
            *error = damaged(QCoreApplication::translate("Xls", "stream %1 is larger than the file").arg(id));
            return false;
        }
        const QString what = QCoreApplication::translate("Xls", "stream %1").arg(id);
        if (e.size >= 4096) {
            if (!walkChain(fat, map, e.start, (e.size + ss - 1) / ss, what, nullptr, error))
                return false;
        } else {
            if (!walkChain(miniFat, miniMap, e.start, (e.size + 63) / 64, what, nullptr, error))
                return false;
        }
    }
    return true;
}

const CfbNode *CfbNode::findStream(const char *wanted) const
{
    for (const CfbNode &c : children)
        if (!c.storage && c.name.compare(wanted, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

CfbNode *CfbNode::findStream(const char *wanted)
{
    return const_cast<CfbNode *>(static_cast<const CfbNode *>(this)->findStream(wanted));
}

namespace {

void readTimes(const LibGsf &g, GsfInput *in, CfbNode *node)
{
    GDateTime *t = g.gsf_input_get_modtime(in);
    if (t) {
        node->hasModTime = true;
        node->modTimeUs = qint64(g.g_date_time_to_unix(t)) * 1000000 + g.g_date_time_get_microsecond(t);
    }
}

bool readChildren(const LibGsf &g, GsfInfile *dir, CfbNode *node, int depth, QString *error)
{
    if (depth > 64) {
        *error = damaged(QCoreApplication::translate("Xls", "storages nested too deeply"));
        return false;
    }
    const int n = g.gsf_infile_num_children(dir);
    for (int i = 0; i < n; ++i) {
        GsfInput *child = g.gsf_infile_child_by_index(dir, i);
        if (!child) {
            *error = damaged(QCoreApplication::translate("Xls", "entry %1 cannot be opened").arg(i));
            return false;
        }
        CfbNode c;
        const char *name = g.gsf_infile_name_by_index(dir, i);
        c.name = QByteArray(name ? name : "");
        readTimes(g, child, &c);
        // A child of an MSOle storage is an MSOle storage or stream.
        GsfInfile *storage = reinterpret_cast<GsfInfile *>(child);
        const int grandChildren = g.gsf_infile_num_children(storage);
        bool ok = true;
        if (grandChildren >= 0) {
            c.storage = true;
            c.hasClassId = g.gsf_infile_msole_get_class_id(reinterpret_cast<GsfInfileMSOle *>(child), c.classId);
            ok = readChildren(g, storage, &c, depth + 1, error);
        } else {
            const gsf_off_t size = g.gsf_input_size(child);
            if (size < 0 || size > 0x7FFFFFF0) {
                *error = damaged(QCoreApplication::translate("Xls", "stream %1 has an impossible size").arg(QString::fromUtf8(c.name)));
                ok = false;
            } else if (size > 0) {
                c.data.resize(int(size));
                gsf_off_t done = 0;
                while (ok && done < size) {
                    const size_t chunk = size_t(std::min<gsf_off_t>(size - done, 1 << 20));
                    if (!g.gsf_input_read(child, chunk, reinterpret_cast<guint8 *>(c.data.data()) + done)) {
                        *error = damaged(QCoreApplication::translate("Xls", "stream %1 cannot be read").arg(QString::fromUtf8(c.name)));
                        ok = false;
                    }
                    done += gsf_off_t(chunk);
                }
            }
        }
        g.g_object_unref(child);
        if (!ok)
            return false;
        node->children.push_back(std::move(c));
    }
    return true;
}

GDateTime *makeTime(const LibGsf &g, qint64 us)
{
    GDateTime *base = g.g_date_time_new_from_unix_utc(us / 1000000);
    if (!base)
        return nullptr;
    GDateTime *t = g.g_date_time_add(base, us % 1000000);
    g.g_date_time_unref(base);
    return t;
}

bool writeChildren(const LibGsf &g, GsfOutfile *dir, const CfbNode &node, QString *error)
{
    for (const CfbNode &c : node.children) {
        GsfOutput *out = g.gsf_outfile_new_child(dir, c.name.constData(), c.storage);
        if (!out) {
            *error = QCoreApplication::translate("Xls", "cannot create entry %1 in the new file").arg(QString::fromUtf8(c.name));
            return false;
        }
        bool ok = true;
        if (c.hasModTime) {
            if (GDateTime *t = makeTime(g, c.modTimeUs)) {
                g.gsf_output_set_modtime(out, t);
                g.g_date_time_unref(t);
            }
        }
        if (c.storage) {
            if (c.hasClassId)
                g.gsf_outfile_msole_set_class_id(reinterpret_cast<GsfOutfileMSOle *>(out), c.classId);
            ok = writeChildren(g, reinterpret_cast<GsfOutfile *>(out), c, error);
        } else if (!c.data.isEmpty()) {
            ok = g.gsf_output_write(out, size_t(c.data.size()), reinterpret_cast<const guint8 *>(c.data.constData()));
            if (!ok)
                *error = QCoreApplication::translate("Xls", "cannot write stream %1").arg(QString::fromUtf8(c.name));
        }
        if (!g.gsf_output_close(out) && ok) {
            *error = QCoreApplication::translate("Xls", "cannot finish entry %1").arg(QString::fromUtf8(c.name));
            ok = false;
        }
        g.g_object_unref(out);
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

bool loadCompoundFileLibrary(QString *error)
{
    return libGsf(error) != nullptr;
}

bool readCompoundFile(const QByteArray &file, CfbNode *root, QString *error)
{
    if (!checkCompoundFile(file, error))
        return false;
    const LibGsf *gsf = libGsf(error);
    if (!gsf)
        return false;
    const LibGsf &g = *gsf;
    GsfInput *src = g.gsf_input_memory_new(reinterpret_cast<const guint8 *>(file.constData()), file.size(), FALSE);
    if (!src) {
        *error = damaged(QCoreApplication::translate("Xls", "cannot be read"));
        return false;
    }
    GError *err = nullptr;
    GsfInfile *ole = g.gsf_infile_msole_new(src, &err);
    g.g_object_unref(src);
    if (!ole) {
        *error = damaged(err ? QString::fromUtf8(err->message) : QCoreApplication::translate("Xls", "cannot be read"));
        if (err)
            g.g_error_free(err);
        return false;
    }
    *root = CfbNode();
    root->storage = true;
    root->hasClassId = g.gsf_infile_msole_get_class_id(reinterpret_cast<GsfInfileMSOle *>(ole), root->classId);
    readTimes(g, reinterpret_cast<GsfInput *>(ole), root);
    const bool ok = readChildren(g, ole, root, 0, error);
    g.g_object_unref(ole);
    return ok;
}

bool writeCompoundFile(const CfbNode &root, QByteArray *file, QString *error)
{
    const LibGsf *gsf = libGsf(error);
    if (!gsf)
        return false;
    const LibGsf &g = *gsf;
    GsfOutput *sink = g.gsf_output_memory_new();
    GsfOutfile *ole = g.gsf_outfile_msole_new_full(sink, 512, 64);
    if (!ole) {
        g.g_object_unref(sink);
        *error = QCoreApplication::translate("Xls", "cannot create the compound file");
        return false;
    }
    if (root.hasClassId)
        g.gsf_outfile_msole_set_class_id(reinterpret_cast<GsfOutfileMSOle *>(ole), root.classId);
    bool ok = writeChildren(g, ole, root, error);
    if (!g.gsf_output_close(reinterpret_cast<GsfOutput *>(ole)) && ok) {
        *error = QCoreApplication::translate("Xls", "cannot finish the compound file");
        ok = false;
    }
    if (ok) {
        const guint8 *bytes = g.gsf_output_memory_get_bytes(reinterpret_cast<GsfOutputMemory *>(sink));
        const gsf_off_t size = g.gsf_output_size(sink);
        if (!bytes || size <= 0) {
            *error = QCoreApplication::translate("Xls", "the new compound file is empty");
            ok = false;
        } else {
            *file = QByteArray(reinterpret_cast<const char *>(bytes), int(size));
        }
    }
    g.g_object_unref(ole);
    g.g_object_unref(sink);
    return ok;
}

bool sameTree(const CfbNode &a, const CfbNode &b, QString *difference)
{
    if (a.name != b.name || a.storage != b.storage || a.children.size() != b.children.size()) {
        *difference = QCoreApplication::translate("Xls", "entry %1 differs").arg(QString::fromUtf8(a.name));
        return false;
    }
    if (a.storage && a.hasClassId && (!b.hasClassId || std::memcmp(a.classId, b.classId, 16) != 0)) {
        *difference = QCoreApplication::translate("Xls", "class id of %1 differs").arg(QString::fromUtf8(a.name));
        return false;
    }
    if (a.data != b.data) {
        *difference = QCoreApplication::translate("Xls", "content of %1 differs").arg(QString::fromUtf8(a.name));
        return false;
    }
    for (size_t i = 0; i < a.children.size(); ++i)
        if (!sameTree(a.children[i], b.children[i], difference))
            return false;
    return true;
}

} // namespace Biff
} // namespace Excel
