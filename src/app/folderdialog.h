#pragma once

#include <QFileDialog>

class QCheckBox;

// The add-folder dialog: Qt's own (not the platform's) folder chooser, so
// that several folders can be picked at once in its list view, with an
// "include sub-folders" check box under the file name row.
class FolderDialog : public QFileDialog
{
    Q_OBJECT

public:
    FolderDialog(QWidget *parent, const QString &title, const QString &dir, bool includeSubfolders);

    bool includeSubfolders() const;
    QCheckBox *subfolderBox() const { return m_subfolders; }

private:
    QCheckBox *m_subfolders;
};
