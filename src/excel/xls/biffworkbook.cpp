// The object model over a BIFF8 workbook: Workbook, Sheets, Worksheet and
// Range on top of Biff::Book.

#include "biffbook.h"
#include "atomicsave.h"
#include "formats.h"

#include "cellrules/celladdress.h"
#include "cellrules/searchpattern.h"

#include <QFile>
#include <QFileInfo>

namespace Excel {

namespace {

class BiffWorkbook;
class BiffWorksheet;

class BiffRange : public Excel::Range
{
public:
    // sheet null: a sheet without cells. The range reaches its cells
    // through the worksheet, which stays valid when a save reloads the book.
    BiffRange(BiffWorkbook *book, BiffWorksheet *sheet, QVector<CellArea> areas, bool whole)
        : m_book(book), m_sheet(sheet), m_areas(std::move(areas)), m_whole(whole) {}

    bool Replace(const QString &what, const QString &replacement, int lookAt, int searchOrder,
                 bool matchCase) override;
    void setValue(const QString &value) override;

private:
    BiffWorkbook *m_book;
    BiffWorksheet *m_sheet;
    QVector<CellArea> m_areas;
    bool m_whole;         // the used range: every cell of the sheet
};

class BiffWorksheet : public Excel::Worksheet
{
public:
    BiffWorksheet(BiffWorkbook *book, Biff::Sheet *sheet) : m_book(book), m_sheet(sheet) {}

    QString Name() const override { return m_sheet->name(); }
    Biff::Sheet *cells() const { return m_sheet; }
    std::unique_ptr<Excel::Range> UsedRange() override;
    std::unique_ptr<Excel::Range> Range(const QString &cell1) override;

private:
    BiffWorkbook *m_book;
    Biff::Sheet *m_sheet;
};

class BiffSheets : public Excel::Sheets
{
public:
    explicit BiffSheets(std::vector<std::unique_ptr<BiffWorksheet>> *sheets) : m_sheets(sheets) {}
    int Count() const override { return int(m_sheets->size()); }
    Worksheet *Item(int index) override
    {
        if (index < 1 || index > Count())
            return nullptr;
        return (*m_sheets)[size_t(index - 1)].get();
    }

private:
    std::vector<std::unique_ptr<BiffWorksheet>> *m_sheets;
};

class BiffWorkbook : public Excel::Workbook
{
public:
    BiffWorkbook(const QString &path, const FileIdentity &identity, std::unique_ptr<Biff::Book> book)
        : m_path(path), m_identity(identity), m_sheetsView(&m_sheets)
    {
        adopt(std::move(book));
    }

    QString Path() const override { return QFileInfo(m_path).absolutePath(); }
    Excel::Sheets *Sheets() override { return &m_sheetsView; }
    Worksheet *ActiveSheet() override
    {
        const int i = m_book->activeSheet();
        return i >= 0 && i < int(m_sheets.size()) ? m_sheets[size_t(i)].get() : nullptr;
    }
    bool Save() override;
    bool prepareSave(std::unique_ptr<PendingSave> *pending) override;
    QString lastError() const override { return m_lastError; }
    qint64 changedCells() const override
    {
        qint64 n = m_changedBeforeSave;
        for (int i = 0; i < m_book->sheetCount(); ++i)
            n += m_book->sheet(i)->changedCells();
        return n;
    }

    bool failed() const { return m_failed; }
    void failWith(const QString &why)
    {
        if (!m_failed) {
            m_failed = true;
            m_lastError = why;
        }
    }
    void noteError(const QString &why) { m_lastError = why; }

private:
    void adopt(std::unique_ptr<Biff::Book> book)
    {
        m_book = std::move(book);
        // Sheet objects stay valid for callers that hold them across a save.
        for (int i = 0; i < m_book->sheetCount(); ++i) {
            if (i < int(m_sheets.size()))
                *m_sheets[size_t(i)] = BiffWorksheet(this, m_book->sheet(i));
            else
                m_sheets.push_back(std::make_unique<BiffWorksheet>(this, m_book->sheet(i)));
        }
    }

    QString m_path;
    FileIdentity m_identity; // of the file as read or last saved
    std::unique_ptr<Biff::Book> m_book;
    std::vector<std::unique_ptr<BiffWorksheet>> m_sheets;
    BiffSheets m_sheetsView;
    QString m_lastError;
    bool m_failed = false;
    qint64 m_changedBeforeSave = 0; // counted on the book that a save replaced
    std::unique_ptr<Biff::Book> m_pendingBook; // read back from a save not yet committed
};

bool BiffRange::Replace(const QString &what, const QString &replacement, int lookAt, int, bool matchCase)
{
    if (!m_sheet || m_book->failed() || what.isEmpty())
        return false;
    const SearchPattern pattern(what, lookAt == xlWhole, matchCase);
    bool changed = false;
    QString error;
    if (!m_sheet->cells()->replace(m_whole ? QVector<CellArea>() : m_areas, pattern, replacement, &changed, &error))
        m_book->failWith(error);
    return changed;
}

void BiffRange::setValue(const QString &value)
{
    if (!m_sheet || m_book->failed())
        return;
    QString error;
    if (!m_sheet->cells()->setValue(m_areas, value, &error))
        m_book->failWith(error);
}

std::unique_ptr<Excel::Range> BiffWorksheet::UsedRange()
{
    if (!m_sheet->hasCells())
        return std::make_unique<BiffRange>(m_book, nullptr, QVector<CellArea>(), false);
    return std::make_unique<BiffRange>(m_book, this, QVector<CellArea>{m_sheet->usedArea()}, true);
}

std::unique_ptr<Excel::Range> BiffWorksheet::Range(const QString &cell1)
{
    if (!m_sheet->hasCells()) {
        m_book->noteError(QStringLiteral("sheet '%1': it holds no cells (chart, dialog or macro sheet)")
                              .arg(m_sheet->name()));
        return nullptr;
    }
    QVector<CellArea> areas;
    if (!parseRangeAddress(cell1, BiffGrid, &areas)) {
        QVector<CellArea> wide;
        if (parseRangeAddress(cell1, OoxmlGrid, &wide))
            m_book->noteError(QStringLiteral("sheet '%1': position %2 is outside the .xls grid")
                                  .arg(m_sheet->name(), cell1));
        else
            m_book->noteError(QStringLiteral("sheet '%1': cannot read position '%2'").arg(m_sheet->name(), cell1));
        return nullptr;
    }
    return std::make_unique<BiffRange>(m_book, this, areas, false);
}

bool BiffWorkbook::Save()
{
    std::unique_ptr<PendingSave> pending;
    if (!prepareSave(&pending))
        return false;
    QString error;
    if (pending && !pending->commit(&error)) {
        m_lastError = QStringLiteral("save: ") + error;
        return false;
    }
    return true;
}

bool BiffWorkbook::prepareSave(std::unique_ptr<PendingSave> *pending)
{
    pending->reset();
    if (m_failed)
        return false;
    if (!m_book->isChanged())
        return true;
    QByteArray file;
    QString error;
    if (!m_book->buildFile(&file, &error)) {
        m_lastError = error;
        return false;
    }
    // What we write must read back before it replaces the user's file.
    auto fresh = std::make_unique<Biff::Book>();
    if (!fresh->openFile(file, &error)) {
        m_failed = true;
        m_lastError = QStringLiteral("save: the new file would not read back (%1)").arg(error);
        return false;
    }
    auto save = std::make_unique<AtomicSave>();
    if (!save->begin(m_path, &m_identity, &error) || !writeAll(save->fd(), file, &error)) {
        m_lastError = QStringLiteral("save: ") + error;
        return false;
    }
    m_pendingBook = std::move(fresh);
    *pending = std::make_unique<PendingSave>(std::move(save), [this](const FileIdentity &written) {
        m_identity = written;
        m_changedBeforeSave = changedCells();
        // Go on from what was written, so that later edits and saves start
        // from the file as it now is.
        adopt(std::move(m_pendingBook));
    });
    return true;
}

} // namespace

std::unique_ptr<Workbook> openBiffWorkbook(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the file: %1").arg(f.errorString());
        return nullptr;
    }
    if (f.size() > qint64(1) << 30) {
        *error = QStringLiteral("the file is larger than 1 GiB");
        return nullptr;
    }
    const QByteArray bytes = f.readAll();
    if (bytes.size() != f.size()) {
        *error = QStringLiteral("cannot read the file: %1").arg(f.errorString());
        return nullptr;
    }
    FileIdentity identity;
    if (!identityOfDescriptor(f.handle(), &identity)) {
        *error = QStringLiteral("cannot read the file's status");
        return nullptr;
    }
    auto book = std::make_unique<Biff::Book>();
    if (!book->openFile(bytes, error))
        return nullptr;
    return std::make_unique<BiffWorkbook>(path, identity, std::move(book));
}

} // namespace Excel
