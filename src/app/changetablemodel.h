#pragma once

// The rows of a record of changes (changerecord.h) as a table of five
// columns: file, sheet, cell, text before, text after. The rows stay in the
// record's file: the model reads the ones a view shows, a block at a time,
// and keeps a few blocks, so a record of millions of rows opens at once.
// A filter keeps the rows whose texts hold a given text; it is worked out
// on a worker thread, and the table shows every row until it is done.

#include "changerecord.h"

#include <QAbstractTableModel>
#include <QFutureWatcher>
#include <QHash>
#include <QVector>

#include <atomic>
#include <memory>
#include <vector>

class ChangeTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // The record must be complete: no rows join it any more.
    explicit ChangeTableModel(std::shared_ptr<const ChangeRecord> record, QObject *parent = nullptr);
    ~ChangeTableModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Keeps the rows where the file, sheet, cell, before or after text
    // holds text (ignoring case); an empty text shows every row. A filter
    // still being worked out is dropped for the new one.
    void setFilter(const QString &text);
    QString filter() const { return m_filter; }
    // A filter is being worked out: the table does not show it yet.
    bool filtering() const { return m_pending; }

    // The record row that table row shows.
    qint64 recordRow(int row) const;

    const std::shared_ptr<const ChangeRecord> &record() const { return m_record; }

signals:
    // The filter's rows are in the table (also for an empty filter).
    void filterApplied();
    // A block of rows could not be read back.
    void readFailed(const QString &reason);

private:
    struct Filtered
    {
        std::vector<qint64> rows;
        QString error;
        bool cancelled = false;
    };
    static Filtered filterRows(std::shared_ptr<const ChangeRecord> record, QString text,
                               std::shared_ptr<std::atomic<bool>> cancel);
    void takeFilterResult();
    const ChangeRow *rowAt(qint64 recordRow) const;

    std::shared_ptr<const ChangeRecord> m_record;
    QString m_filter;
    bool m_filtered = false;
    bool m_pending = false;
    std::vector<qint64> m_rows; // the record rows shown, with a filter
    std::shared_ptr<std::atomic<bool>> m_cancel;
    QFutureWatcher<Filtered> m_watcher;

    // Blocks of rows read, by block number, oldest dropped first.
    mutable QHash<qint64, QVector<ChangeRow>> m_blocks;
    mutable QVector<qint64> m_blockOrder;
    mutable bool m_failed = false;
};
