#include "listfilewriter.h"

#include "atomicfile.h"

#include <QCoreApplication>
#include <QFile>

#include <xlsxwriter.h>

bool ListFileWriter::write(const QString &path, const QVector<Sheet> &sheets, QString *error)
{
    return Excel::replaceFileAtomically(
        path,
        [&](const QString &tempPath, QString *why) {
            const QByteArray native = QFile::encodeName(tempPath);
            lxw_workbook *book = workbook_new(native.constData());
            if (!book) {
                *why = QCoreApplication::translate("Lists", "cannot start the workbook");
                return false;
            }
            for (const Sheet &sheet : sheets) {
                const QByteArray name = sheet.name.toUtf8();
                lxw_worksheet *ws = workbook_add_worksheet(book, name.constData());
                if (!ws) {
                    *why = QCoreApplication::translate("Lists", "cannot add the sheet %1").arg(sheet.name);
                    workbook_close(book);
                    return false;
                }
                for (auto it = sheet.cells.constBegin(); it != sheet.cells.constEnd(); ++it) {
                    if (it.value().isEmpty())
                        continue;
                    const QByteArray text = it.value().toUtf8();
                    const lxw_error e = worksheet_write_string(ws, lxw_row_t(it.key().first - 1),
                                                               lxw_col_t(it.key().second - 1), text.constData(),
                                                               nullptr);
                    if (e != LXW_NO_ERROR) {
                        *why = QCoreApplication::translate("Lists", "cannot write a cell: %1").arg(QString::fromUtf8(lxw_strerror(e)));
                        workbook_close(book);
                        return false;
                    }
                }
            }
            const lxw_error e = workbook_close(book);
            if (e != LXW_NO_ERROR) {
                *why = QCoreApplication::translate("Lists", "cannot write the workbook: %1").arg(QString::fromUtf8(lxw_strerror(e)));
                return false;
            }
            return true;
        },
        error);
}
