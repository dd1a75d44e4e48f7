#pragma once

#include "backuprun.h"

#include <QDialog>

class QTableWidget;

// The runs with backups, newest first, each with its date, its files and
// cells and whether it was undone; the user picks the one to undo. The
// newest run not undone yet is chosen to begin with.
class BackupRunDialog : public QDialog
{
    Q_OBJECT

public:
    explicit BackupRunDialog(const QVector<BackupRunInfo> &runs, QWidget *parent = nullptr);

    // The run chosen, or -1.
    int chosen() const;

private:
    QTableWidget *m_table;
};
