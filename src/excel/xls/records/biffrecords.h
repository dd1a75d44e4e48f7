#pragma once

// The Workbook stream of a BIFF8 file as a list of records, grouped into
// substreams (each from a BOF to its matching EOF). Everything is bounds
// checked: a record that runs past the stream or is longer than BIFF8
// allows makes the index fail with a reason.

#include "littleendian.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

namespace Excel {
namespace Biff {

namespace Rt {
enum : quint16 {
    Formula = 0x0006,
    Eof = 0x000A,
    Protect = 0x0012,
    FilePass = 0x002F,
    Continue = 0x003C,
    Window1 = 0x003D,
    DefColWidth = 0x0055,
    ColInfo = 0x007D,
    WsBool = 0x0081,
    BoundSheet8 = 0x0085,
    MulRk = 0x00BD,
    MulBlank = 0x00BE,
    RString = 0x00D6,
    DbCell = 0x00D7,
    Xf = 0x00E0,
    MsoDrawingGroup = 0x00EB,
    Sst = 0x00FC,
    LabelSst = 0x00FD,
    ExtSst = 0x00FF,
    Blank = 0x0201,
    Number = 0x0203,
    Label = 0x0204,
    BoolErr = 0x0205,
    String = 0x0207,
    Row = 0x0208,
    Index = 0x020B,
    Array = 0x0221,
    Table = 0x0236,
    Rk = 0x027E,
    Format = 0x041E,
    ShrFmla = 0x04BC,
    Bof = 0x0809,
};
}

// Largest record data BIFF8 allows; more goes into CONTINUE records.
constexpr int MaxRecordData = 8224;

struct Record
{
    quint32 offset = 0; // of the 4-byte header, from the start of the stream
    quint16 type = 0;
    quint16 size = 0;   // data bytes after the header

    quint32 dataOffset() const { return offset + 4; }
    quint32 end() const { return offset + 4 + size; }
};

struct Substream
{
    int firstRecord = 0;  // its BOF
    int recordCount = 0;  // up to and including its EOF
    quint32 start = 0;
    quint32 end = 0;
    quint16 bofVersion = 0;
    quint16 bofType = 0;  // BOF dt: 0x0005 globals, 0x0010 sheet, 0x0020 chart, 0x0040 macro
};

struct StreamIndex
{
    std::vector<Record> records;
    std::vector<Substream> substreams; // complete ones, in stream order
    quint32 usedEnd = 0;               // bytes from here on are kept as they are
    // Nesting depth of each record: 1 for the records of a substream
    // itself, 2 and more inside embedded substreams (charts in a sheet).
    std::vector<quint8> depth;
};

// Splits the stream into records and substreams. The first substream must
// be complete; after each EOF that closes a substream another one follows
// only if a BOF record starts there. A later substream that is cut off is
// treated as trailing bytes (the caller decides whether a sheet needs it).
bool indexStream(const QByteArray &stream, StreamIndex *index, QString *error);

// One record, its header and its data, appended to a stream being written.
inline void appendRecord(QByteArray &out, quint16 type, const char *data, int size)
{
    appendU16(out, type);
    appendU16(out, quint16(size));
    out.append(data, size);
}
inline void appendRecord(QByteArray &out, quint16 type, const QByteArray &data)
{
    appendRecord(out, type, data.constData(), int(data.size()));
}

} // namespace Biff
} // namespace Excel
