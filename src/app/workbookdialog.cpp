#include "workbookdialog.h"

#include "excelfilescan.h"

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
    QStringList patterns;
    for (const QString &suffix : ExcelFileScan::workbookSuffixes())
        patterns << QLatin1Char('*') + suffix;
    model->setNameFilters(patterns);
    // Choosing the filter again sets its own patterns first.
    QObject::connect(dialog, &QFileDialog::filterSelected, model, [model, patterns] { model->setNameFilters(patterns); });
}
