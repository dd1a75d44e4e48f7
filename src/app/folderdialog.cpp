#include "folderdialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QListView>

FolderDialog::FolderDialog(QWidget *parent, const QString &title, const QString &dir, bool includeSubfolders)
    : QFileDialog(parent, title, dir)
{
    setOption(QFileDialog::DontUseNativeDialog, true);
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly, true);
    if (QListView *list = findChild<QListView *>(QStringLiteral("listView")))
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_subfolders = new QCheckBox(tr("包含子目录文件"), this);
    m_subfolders->setChecked(includeSubfolders);
    if (auto *grid = qobject_cast<QGridLayout *>(layout()))
        grid->addWidget(m_subfolders, 4, 0, 1, 5);
}

bool FolderDialog::includeSubfolders() const
{
    return m_subfolders->isChecked();
}
