// Files, folders and list files dropped onto the window.

#include "mainwindow.h"

#include "dropkind.h"
#include "mode1tab.h"
#include "mode2tab.h"
#include "statecodes.h"
#include "ui_mainwindow.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->urls().isEmpty())
        return;
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        paths << url.toLocalFile();
    if (!paths.isEmpty())
        dropPaths(paths);
}

// A list file dropped alone is imported into its own tab, which becomes
// current; one that fails to import is added like any workbook.
void MainWindow::dropPaths(const QStringList &paths)
{
    if (paths.size() == 1) {
        int listTab = -1;
        switch (dropKind(paths.first())) {
        case DropKind::Unsupported:
            emit stateChangedSignals(StateCode::DropUnsupported);
            return;
        case DropKind::Mode1ListFile:
            listTab = 0;
            break;
        case DropKind::Mode2ListFile:
            listTab = 1;
            break;
        case DropKind::Directory:
        case DropKind::Workbook:
            break;
        }
        if (ListTab *tab = tabAt(listTab)) {
            if (tab->importList(paths.first())) {
                tab->refresh();
                ui->tabWidget_1->setCurrentIndex(listTab);
                emit fileNumChangedSignals();
                return;
            }
        }
    }
    if (ListTab *tab = currentTab())
        tab->addDroppedPaths(paths);
    emit fileNumChangedSignals();
}
