#include "userinteraction.h"

#include "backuprundialog.h"
#include "folderdialog.h"
#include "workbookdialog.h"

#include <QCheckBox>
#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QToolTip>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

UserInteraction::~UserInteraction() = default;

void DesktopInteraction::information(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

void DesktopInteraction::warning(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

// Buttons of its own: no Qt translation is loaded, so the standard ones
// would read Yes and No.
bool DesktopInteraction::question(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QPushButton *yes = box.addButton(QStringLiteral("是"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("否"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

bool DesktopInteraction::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

bool DesktopInteraction::chooseFiles(QWidget *parent, const QString &caption, const QString &dir,
                                     const QString &filter, QStringList *files)
{
    QFileDialog dialog(parent, caption, dir, filter);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    matchNamesAsTheScanDoes(&dialog, true);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *files = dialog.selectedFiles();
    return true;
}

bool DesktopInteraction::chooseFolders(QWidget *parent, const QString &title, const QString &dir,
                                       bool *includeSubfolders, QStringList *folders)
{
    FolderDialog dialog(parent, title, dir, *includeSubfolders);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *includeSubfolders = dialog.includeSubfolders();
    *folders = dialog.selectedFiles();
    return true;
}

QString DesktopInteraction::chooseSaveFile(QWidget *parent, const QString &caption, const QString &proposed,
                                          const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, proposed, filter);
}

QString DesktopInteraction::chooseOpenFile(QWidget *parent, const QString &caption, const QString &dir,
                                          const QString &filter)
{
    QFileDialog dialog(parent, caption, dir, filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    matchNamesAsTheScanDoes(&dialog, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

void DesktopInteraction::showToolTip(const QString &text)
{
    QToolTip::showText(QCursor::pos(), text);
}

QString DesktopInteraction::chooseFolder(QWidget *parent, const QString &caption, const QString &dir)
{
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

int DesktopInteraction::chooseBackupRun(QWidget *parent, const QVector<BackupRunInfo> &runs)
{
    BackupRunDialog dialog(runs, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.chosen() : -1;
}
