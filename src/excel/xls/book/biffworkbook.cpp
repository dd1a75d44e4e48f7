// A BIFF8 workbook (Biff::Book) as an engine of the object model.

#include "xls/book/biffbook.h"
#include "atomicsave.h"
#include "formats.h"
#include "systemerror.h"
#include "workbookengine.h"

#include <QCoreApplication>

#include <cerrno>
#include <unistd.h>

namespace Excel {

namespace {

class BiffEngine : public WorkbookEngine
{
public:
    BiffEngine(const QString &path, const FileIdentity &identity, std::unique_ptr<Biff::Book> book)
        : m_path(path), m_identity(identity), m_book(std::move(book)) {}

    QString path() const override { return m_path; }
    GridLimits grid() const override { return BiffGrid; }
    int sheetCount() const override { return m_book->sheetCount(); }
    QString sheetName(int sheet) const override { return m_book->sheet(sheet)->name(); }
    bool sheetHasCells(int sheet) const override { return m_book->sheet(sheet)->hasCells(); }
    int activeSheet() const override { return m_book->activeSheet(); }

    bool usedArea(int sheet, CellArea *area, QString *) override
    {
        *area = m_book->sheet(sheet)->usedArea();
        return true;
    }

    bool replace(int sheet, const QVector<CellArea> &areas, bool wholeSheet, const SearchPattern &pattern,
                 const QString &replacement, bool *changed, QString *error) override
    {
        return m_book->sheet(sheet)->replace(wholeSheet ? QVector<CellArea>() : areas, pattern, replacement,
                                             changed, error);
    }

    bool setValue(int sheet, const QVector<CellArea> &areas, const QString &text, QString *error) override
    {
        return m_book->sheet(sheet)->setValue(areas, text, error);
    }

    qint64 changedCells() const override
    {
        qint64 n = m_changedBeforeSave;
        for (int i = 0; i < m_book->sheetCount(); ++i)
            n += m_book->sheet(i)->changedCells();
        return n;
    }

    void keepOriginalTexts() override { m_book->strings().keepEntriesAsRead(); }

    bool reportChanges(CellChangeSink *sink, QString *error) override
    {
        for (int i = 0; i < m_book->sheetCount(); ++i)
            if (!m_book->sheet(i)->reportChanges(sink, error))
                return false;
        return true;
    }

    bool prepareSave(std::unique_ptr<PendingSave> *pending, QString *error, bool *broken) override;

private:
    QString m_path;
    FileIdentity m_identity; // of the file as read or last saved
    std::unique_ptr<Biff::Book> m_book;
    qint64 m_changedBeforeSave = 0; // counted on the book that a save replaced
    bool m_unsaved = false; // the book was read back from a new file not yet committed
};

bool BiffEngine::prepareSave(std::unique_ptr<PendingSave> *pending, QString *error, bool *broken)
{
    if (!m_book->isChanged() && !m_unsaved)
        return true;
    // The sheets of the book read back start at no changed cell.
    m_changedBeforeSave = changedCells();
    const int sheets = m_book->sheetCount();
    // The book lets go of its cells while the new file is made, and the
    // engine goes on from the book read back from that file: a save holds
    // one copy of the cells at a time.
    QByteArray file;
    Biff::WrittenFile written;
    if (!m_book->buildFile(&file, &written, error)) {
        *broken = true;
        return false;
    }
    auto save = std::make_unique<AtomicSave>();
    QString saveError;
    const bool saved = save->begin(m_path, &m_identity, &saveError) && writeAll(save->fd(), file, &saveError);
    // What we write must read back before it replaces the user's file.
    auto fresh = std::make_unique<Biff::Book>();
    QString why;
    if (!fresh->openFile(std::move(file), &why) || !fresh->matches(written, &why)) {
        *broken = true;
        *error = QCoreApplication::translate("Xls", "save: the new file would not read back (%1)").arg(why);
        return false;
    }
    if (fresh->sheetCount() != sheets) {
        *broken = true;
        *error = QCoreApplication::translate("Xls", "save: the new Workbook stream lost sheets");
        return false;
    }
    // The edits live in the new file now; until it replaces the user's
    // file, a later save must write it again.
    m_book = std::move(fresh);
    m_unsaved = true;
    if (!saved) {
        *error = QCoreApplication::translate("Xls", "save: ") + saveError;
        return false;
    }
    *pending = std::make_unique<PendingSave>(std::move(save), [this](const FileIdentity &identity) {
        m_identity = identity;
        m_unsaved = false;
    });
    return true;
}

} // namespace

namespace {

// The whole file, read from the descriptor opened for it.
bool readOpenedFile(const OpenedFile &opened, QByteArray *bytes, FileIdentity *identity, QString *error)
{
    if (opened.status.st_size > qint64(1) << 30) {
        *error = QCoreApplication::translate("Xls", "the file is larger than 1 GiB");
        return false;
    }
    *identity = identityOf(opened.status);
    if (opened.isWhole()) {
        *bytes = opened.head;
        return true;
    }
    bytes->resize(int(opened.status.st_size));
    qint64 done = 0;
    while (done < bytes->size()) {
        const ssize_t n = ::pread(opened.fd, bytes->data() + done, size_t(bytes->size() - done), off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = QCoreApplication::translate("Xls", "cannot read the file: %1")
                         .arg(n < 0 ? systemErrorText(errno) : QCoreApplication::translate("Xls", "it is shorter than its size"));
            return false;
        }
        done += n;
    }
    *identity = identityOf(opened.status);
    return true;
}

} // namespace

std::unique_ptr<Workbook> openBiffWorkbook(const QString &path, QString *error, OpenedFile *opened)
{
    QByteArray bytes;
    FileIdentity identity;
    if (!readOpenedFile(*opened, &bytes, &identity, error))
        return nullptr;
    opened->close();
    auto book = std::make_unique<Biff::Book>();
    if (!book->openFile(std::move(bytes), error))
        return nullptr;
    return workbookOver(std::make_unique<BiffEngine>(path, identity, std::move(book)));
}

} // namespace Excel
