#include "rep.h"

#include "application.h"
#include "sheetchoice.h"
#include "workbooklock.h"

#include <QDebug>
#include <QFileInfo>

void registerStateType()
{
    qRegisterMetaType<STATE>("STATE");
    qRegisterMetaType<STATE>("STATE&");
}

Rep::Rep(const QString &filePath, const RepPar &par, int index, QObject *parent)
    : QObject(parent)
    , filePath(filePath)
    , sheetIndex(par.sheetIndex)
    , pairs(par.pairs)
    , byKey(par.byKey)
    , lookAt(par.lookAt)
    , searchOrder(par.searchOrder)
    , matchCase(par.matchCase)
    , index(index)
{
}

void Rep::run()
{
    const STATE state = process();
    emit done(this, state, index); // the last act: the window may delete us now
}

STATE Rep::process()
{
    if (!QFileInfo::exists(filePath)) {
        m_reason = QStringLiteral("the file does not exist");
        return FAILURE;
    }
    WorkbookLock lock(filePath);

    // Every exit after this point leaves through the application's Quit,
    // which drops whatever was changed and not saved.
    Excel::Application app;
    app.setDisplayAlerts(false);
    app.setVisible(false);
    auto fail = [&](const QString &why) {
        m_reason = why;
        app.Quit();
        return FAILURE;
    };

    Excel::Workbooks *books = app.Workbooks();
    if (!books)
        return fail(QStringLiteral("no workbooks collection"));
    Excel::Workbook *book = books->Open(filePath);
    if (!book)
        return fail(QStringLiteral("open: ") + books->lastError());
    qDebug() << "pWorkbook->Path():" << book->Path();

    Excel::Sheets *sheets = book->Sheets();
    if (!sheets)
        return fail(QStringLiteral("the workbook has no sheets collection"));
    const int count = sheets->Count();
    if (count == 0)
        return fail(QStringLiteral("the workbook has no sheets"));

    bool activeOnly = false;
    const QVector<int> list = chooseSheets(sheetIndex, count, &activeOnly);
    const int passes = activeOnly ? 1 : list.size();
    for (int k = 0; k < passes; ++k) {
        Excel::Worksheet *sheet = activeOnly ? book->ActiveSheet() : sheets->Item(list[k]);
        if (!sheet)
            return fail(activeOnly ? QStringLiteral("the workbook has no active sheet")
                                   : QStringLiteral("sheet %1 cannot be read").arg(list[k]));
        std::unique_ptr<Excel::Range> used = sheet->UsedRange();
        if (!used)
            return fail(QStringLiteral("sheet '%1': no used range: %2").arg(sheet->Name(), book->lastError()));
        for (const KeyPair &pair : pairs) {
            if (byKey) {
                used->Replace(pair.first, pair.second, lookAt, searchOrder, matchCase);
                continue;
            }
            std::unique_ptr<Excel::Range> cell = sheet->Range(pair.first);
            if (!cell) {
                const QString why = book->lastError();
                return fail(why.isEmpty() ? QStringLiteral("sheet '%1': '%2' is no cell position").arg(sheet->Name(), pair.first)
                                          : why);
            }
            cell->setValue(pair.second);
        }
    }

    if (!book->Save())
        return fail(QStringLiteral("not saved: ") + book->lastError());
    app.Quit();
    return SUCCESS;
}
