#include "workbookdialog.h"

#include <QFileDialog>
#include <QFileSystemModel>

void matchNamesAsTheScanDoes(QFileDialog *dialog, bool everyWorkbookName)
{
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    if (!everyWorkbookName)
        return;
    QFileSystemModel *model = dialog->findChild<QFileSystemModel *>();
    if (!model)
        return;
    const QStringList patterns{QStringLiteral("*.xls"), QStringLiteral("*.xlsx"), QStringLiteral("*.xlsm"),
                               QStringLiteral("*.xltx"), QStringLiteral("*.xltm")};
    model->setNameFilters(patterns);
    // Choosing the filter again sets its own patterns first.
    QObject::connect(dialog, &QFileDialog::filterSelected, model, [model, patterns] { model->setNameFilters(patterns); });
}
