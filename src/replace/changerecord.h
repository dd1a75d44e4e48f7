#pragma once

// The record of a run's changes: one row per changed cell (file, sheet,
// cell, text before and after), kept in an unnamed temporary file rather
// than in memory, so that a run changing millions of cells stays small.
// Each job collects its rows through a Writer on its own thread; only the
// rows of a file that succeeded join the record, when its report comes in.
// The record reads back by row number, rows ordered by file (in the run's
// order) and within a file by sheet and position, for an export or a table
// over it; reading one row costs one read of the file, reading many in a
// row reads them in large pieces.

#include "cellchanges.h"

#include <QMutex>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

struct ChangeRow
{
    int file = -1; // the file's index in the run
    QString sheet;
    int row = 0; // 1-based
    int column = 0;
    QString before;
    QString after;

    // "B7".
    QString cell() const;
};

// A row as it is stored: its texts in UTF-8, valid during the visit only.
struct RawChangeRow
{
    int file = -1;
    int row = 0;
    int column = 0;
    std::string_view sheet;
    std::string_view before;
    std::string_view after;

    // The cell's name ("B7") into buffer (of at least 16 bytes); its length.
    int cell(char *buffer) const;
};

class ChangeRecord
{
    struct Chunk
    {
        qint64 offset = 0; // in the temporary file
        qint64 firstRow = 0; // within its file's rows
        std::vector<quint32> rowStarts; // from offset
        quint32 size = 0;
    };

public:
    ChangeRecord();
    ~ChangeRecord();
    ChangeRecord(const ChangeRecord &) = delete;
    ChangeRecord &operator=(const ChangeRecord &) = delete;

    // Creates the temporary file in folder (empty: the system's folder for
    // temporary files); false with the reason.
    bool open(QString *error, const QString &folder = QString());

    // The rows of one job, as its workbook reports them; used on the job's
    // thread. Full pieces go to the record's file at once, so a writer
    // holds at most one piece in memory.
    class Writer : public Excel::CellChangeSink
    {
    public:
        bool cellChanged(const QString &sheet, int row, int column, const QString &before, const QString &after,
                         QString *error) override;
        bool takesUtf8() const override { return true; }
        bool cellChangedUtf8(const QString &sheet, int row, int column, std::string_view before,
                             std::string_view after, QString *error) override;
        // Writes out what it holds; false with the reason.
        bool finish(QString *error);
        qint64 rows() const { return m_rows; }

    private:
        friend class ChangeRecord;
        explicit Writer(ChangeRecord *record) : m_record(record) {}
        bool flush(QString *error);
        void setSheet(const QString &sheet);
        // A row's header and sheet name at the end of the buffer; where the
        // row starts. endRow() fills in the header once its texts follow.
        int beginRow();
        bool endRow(int at, int row, int column, int afterAt, QString *error);

        ChangeRecord *m_record;
        QString m_sheet; // the last sheet's name, and in UTF-8
        QByteArray m_sheetUtf8;
        QByteArray m_buffer;
        std::vector<quint32> m_starts;
        std::vector<Chunk> m_chunks;
        qint64 m_rows = 0;
    };
    std::unique_ptr<Writer> writer();

    // On the thread that reads the record: the rows of a finished writer
    // become those of file (its index in the run, and its path). A file's
    // rows are kept once; a writer not kept is simply dropped.
    void keep(int file, const QString &path, std::unique_ptr<Writer> writer);

    qint64 rowCount() const { return m_rowCount; }
    qint64 rowCount(int file) const;
    // The row number of a file's first row; -1 for a file without rows.
    qint64 firstRow(int file) const;
    // The path given with keep().
    QString filePath(int file) const;

    bool row(qint64 index, ChangeRow *row, QString *error) const;
    // Reads count rows from first in order; visit returning false stops
    // early (a success). False with the reason when the file cannot be read.
    bool read(qint64 first, qint64 count, const std::function<bool(qint64 index, const ChangeRow &row)> &visit,
              QString *error) const;
    // The same without decoding the texts, for what writes them out.
    bool readRaw(qint64 first, qint64 count,
                 const std::function<bool(qint64 index, const RawChangeRow &row)> &visit, QString *error) const;

private:
    struct Segment
    {
        QString path;
        qint64 rows = 0;
        std::vector<Chunk> chunks;
    };
    // Where a chunk of size bytes goes; on any thread.
    qint64 reserve(qint64 size);
    bool writeAt(qint64 offset, const QByteArray &data, QString *error);
    // The file and the row within it of a row number; false past the end.
    bool locate(qint64 index, std::map<int, Segment>::const_iterator *segment, qint64 *within) const;
    void refreshFirstRows() const;

    int m_fd = -1;
    QMutex m_mutex; // over m_end
    qint64 m_end = 0;
    std::map<int, Segment> m_files;
    qint64 m_rowCount = 0;
    // The first row number of each file with rows, rebuilt after a keep().
    mutable std::vector<std::pair<qint64, int>> m_firstRows;
    mutable bool m_firstRowsStale = false;
};
