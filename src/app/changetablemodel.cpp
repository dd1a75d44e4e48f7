#include "changetablemodel.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

namespace {

constexpr qint64 BlockRows = 256;
constexpr int KeptBlocks = 16;

// Texts of many lines show their first one, marked as cut.
QString oneLine(const QString &text)
{
    const int end = text.indexOf(QLatin1Char('\n'));
    return end < 0 ? text : text.left(end) + QStringLiteral(" …");
}

} // namespace

ChangeTableModel::ChangeTableModel(std::shared_ptr<const ChangeRecord> record, QObject *parent)
    : QAbstractTableModel(parent)
    , m_record(std::move(record))
{
    // Its index of first rows is built here, before any worker reads it.
    m_record->firstRow(0);
    connect(&m_watcher, &QFutureWatcher<Filtered>::finished, this, &ChangeTableModel::takeFilterResult);
}

ChangeTableModel::~ChangeTableModel()
{
    if (m_cancel)
        *m_cancel = true;
    m_watcher.waitForFinished();
}

int ChangeTableModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    // A view takes int rows; a record beyond that shows its first ones.
    const qint64 n = m_filtered ? qint64(m_rows.size()) : m_record->rowCount();
    return int(qMin<qint64>(n, INT_MAX));
}

int ChangeTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 5;
}

qint64 ChangeTableModel::recordRow(int row) const
{
    if (!m_filtered)
        return row;
    return row >= 0 && size_t(row) < m_rows.size() ? m_rows[size_t(row)] : -1;
}

const ChangeRow *ChangeTableModel::rowAt(qint64 recordRow) const
{
    if (recordRow < 0 || recordRow >= m_record->rowCount())
        return nullptr;
    const qint64 block = recordRow / BlockRows;
    auto it = m_blocks.find(block);
    if (it == m_blocks.end()) {
        if (m_blockOrder.size() >= KeptBlocks)
            m_blocks.remove(m_blockOrder.takeFirst());
        QVector<ChangeRow> rows;
        rows.reserve(int(BlockRows));
        QString error;
        const bool ok = m_record->read(block * BlockRows, BlockRows, [&](qint64, const ChangeRow &r) {
            rows.append(r);
            return true;
        }, &error);
        if (!ok && !m_failed) {
            m_failed = true; // said once; the rows show empty
            emit const_cast<ChangeTableModel *>(this)->readFailed(error);
        }
        it = m_blocks.insert(block, rows);
        m_blockOrder.append(block);
    }
    const qint64 within = recordRow - block * BlockRows;
    return within < it->size() ? &it->at(int(within)) : nullptr;
}

QVariant ChangeTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QVariant();
    const ChangeRow *row = rowAt(recordRow(index.row()));
    if (!row)
        return QVariant();
    switch (index.column()) {
    case 0: {
        const QString path = m_record->filePath(row->file);
        return role == Qt::ToolTipRole ? path : QFileInfo(path).fileName();
    }
    case 1:
        return row->sheet;
    case 2:
        return row->cell();
    case 3:
        return role == Qt::ToolTipRole ? row->before : oneLine(row->before);
    case 4:
        return role == Qt::ToolTipRole ? row->after : oneLine(row->after);
    }
    return QVariant();
}

QVariant ChangeTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return qint64(section) + 1;
    static const char *const names[] = {"文件", "工作表", "单元格", "原内容", "替换为"};
    return section >= 0 && section < 5 ? QCoreApplication::translate("MainWindow", names[section]) : QVariant();
}

void ChangeTableModel::setFilter(const QString &text)
{
    if (m_cancel)
        *m_cancel = true;
    m_filter = text;
    m_pending = !text.isEmpty();
    if (text.isEmpty()) {
        m_watcher.setFuture(QFuture<Filtered>()); // a running filter is dropped
        beginResetModel();
        m_filtered = false;
        m_rows = std::vector<qint64>();
        endResetModel();
        emit filterApplied();
        return;
    }
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    m_watcher.setFuture(QtConcurrent::run(&ChangeTableModel::filterRows, m_record, text, m_cancel));
}

ChangeTableModel::Filtered ChangeTableModel::filterRows(std::shared_ptr<const ChangeRecord> record, QString text,
                                                        std::shared_ptr<std::atomic<bool>> cancel)
{
    Filtered result;
    QHash<int, bool> fileMatches;
    char cell[16];
    const QByteArray bytesOfText = text.toUtf8();
    const std::string_view needle(bytesOfText.constData(), size_t(bytesOfText.size()));
    // A text without letters of two cases (digits, Chinese) is found by
    // its bytes alone; only others need the texts decoded.
    const bool caseless = text.toLower() == text.toUpper();
    record->readRaw(0, record->rowCount(), [&](qint64 index, const RawChangeRow &row) {
        if ((index & 0xFFF) == 0 && *cancel) {
            result.cancelled = true;
            return false;
        }
        auto file = fileMatches.find(row.file);
        if (file == fileMatches.end())
            file = fileMatches.insert(row.file, record->filePath(row.file).contains(text, Qt::CaseInsensitive));
        const auto holds = [&](std::string_view bytes) {
            if (bytes.find(needle) != std::string_view::npos)
                return true;
            return !caseless && QString::fromUtf8(bytes.data(), int(bytes.size())).contains(text, Qt::CaseInsensitive);
        };
        if (*file || holds(row.sheet) || holds(std::string_view(cell, size_t(row.cell(cell)))) || holds(row.before)
            || holds(row.after))
            result.rows.push_back(index);
        return true;
    }, &result.error);
    return result;
}

void ChangeTableModel::takeFilterResult()
{
    if (m_watcher.future().resultCount() == 0)
        return;
    Filtered result = m_watcher.result();
    if (result.cancelled)
        return;
    m_pending = false;
    if (!result.error.isEmpty())
        emit readFailed(result.error);
    beginResetModel();
    m_filtered = true;
    m_rows = std::move(result.rows);
    endResetModel();
    emit filterApplied();
}
