#pragma once

// A BIFF8 workbook held in memory: the compound file, its Workbook stream
// as records, the globals the engine needs (sheets, formats, cell styles,
// shared strings) and the sheets. build() lays out a new Workbook stream
// from the edits and fixes every offset that depends on the layout.

#include "xls/records/biffrecords.h"
#include "xls/book/biffsheet.h"
#include "xls/cfb/compoundfile.h"
#include "xls/formula/formulanames.h"
#include "xls/records/sharedstrings.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>
#include <vector>

namespace Excel {
namespace Biff {

// What a save wrote into a new compound file: its tree with the content of
// the Workbook stream left out, and that stream's size and hash. A book read
// from the new file must match it (Book::matches).
struct WrittenFile
{
    CfbNode tree;
    QByteArray streamName;
    int streamSize = 0;
    size_t streamHash = 0;
};

class Book
{
public:
    Book() = default;
    Book(const Book &) = delete;
    Book &operator=(const Book &) = delete;

    // Opens a whole compound file: refuses encrypted, Excel 5/95 and
    // damaged ones with a reason.
    // The file's bytes are let go of once the container is read.
    bool openFile(QByteArray file, QString *error);
    // Reads a Workbook stream on its own (the container stays empty).
    bool openStream(const QByteArray &stream, QString *error);

    int sheetCount() const { return int(m_sheets.size()); }
    Sheet *sheet(int i) { return m_sheets[size_t(i)].get(); }
    int activeSheet() const { return m_activeSheet; }
    bool isChanged() const;

    // The new Workbook stream. When releasing, the book lets go of what the
    // rest of the stream does not need as it goes: the shared strings once
    // the globals are laid out, each sheet's cells once its substream is.
    QByteArray buildStream(bool releasing = false);
    // The new compound file: the new Workbook stream with every other
    // stream and storage as it was. The book lets go of its cells as soon
    // as the new stream holds them (releaseCells), so that a save never
    // holds two copies of the cells; written tells what a book read back
    // from the file must match. False with the reason; the cells are gone
    // then too.
    bool buildFile(QByteArray *file, WrittenFile *written, QString *error);
    // Whether this book, read from a file a save wrote, holds what it wrote.
    bool matches(const WrittenFile &written, QString *difference) const;

    // Lets go of the Workbook stream, the shared strings and every sheet's
    // cells. What is left tells only the sheets' names, kinds and used
    // areas; an edit is refused.
    void releaseCells();
    bool cellsReleased() const { return m_released; }

    // For the sheets.
    const QByteArray &stream() const { return m_stream; }
    const StreamIndex &index() const { return m_index; }
    bool xfIsLocked(int xf) const;
    bool xfHidesNumber(int xf) const; // date, time or percentage format
    bool xfIsText(int xf) const;
    SharedStrings &strings() { return m_sst; }
    // Every LABELSST reference to shared string i is counted here.
    quint32 stringRefs(int i) const { return i < m_sstRefs.size() ? m_sstRefs[i] : 0; }
    void addStringRef(int i, int delta);
    // What formula tokens refer to: sheets, reference table, names.
    FormulaNames &formulaNames() { return m_formulaNames; }
    const FormulaNames &formulaNames() const { return m_formulaNames; }
    // A formula changed: the workbook is marked to recalculate on opening.
    void noteFormulaChanged() { m_formulaChanged = true; }

private:
    bool parseGlobals(QString *error);
    bool parseXf(const Record &r, QString *error);

    CfbNode m_root;
    QByteArray m_streamName = "Workbook"; // the stream the workbook was read from
    FormulaNames m_formulaNames;
    bool m_formulaChanged = false;
    bool m_released = false;
    QByteArray m_stream;
    StreamIndex m_index;
    std::vector<std::unique_ptr<Sheet>> m_sheets;
    int m_activeSheet = 0;

    SharedStrings m_sst;
    int m_sstRecord = -1;
    int m_extSstRecord = -1;
    int m_newSstBefore = -1;  // where a new SST goes when there is none
    QVector<quint32> m_sstRefs;
    qint64 m_labelSstCount = 0;
    qint64 m_originalLabelSstCount = 0;

    struct XfInfo
    {
        bool locked = true;
        quint8 numberClass = 0; // 0 plain, 1 date/time/percentage, 2 text
    };
    QVector<XfInfo> m_xfs;
};

} // namespace Biff
} // namespace Excel
