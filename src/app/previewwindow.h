#pragma once

// The window over a run's changes: what each file came to, and a table of
// every changed cell (changetablemodel.h) with a filter and an export. For
// a preview (a dry run) it also offers to run the same plan for real.

#include "changerecord.h"
#include "rep.h"

#include <QFutureWatcher>
#include <QVector>
#include <QWidget>

#include <memory>

class ChangeTableModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTableWidget;
class QTimer;
class UserInteraction;

// One file of the run and what it came to, as its hover tip says it.
struct FileOutcome
{
    QString path;
    STATE state = SUCCESS;
    QString text;
};

class PreviewWindow : public QWidget
{
    Q_OBJECT

public:
    enum Kind { Preview, Record };

    PreviewWindow(Kind kind, std::shared_ptr<const ChangeRecord> record, const QVector<FileOutcome> &files,
                  UserInteraction *interaction, QWidget *parent = nullptr);
    ~PreviewWindow() override;

    ChangeTableModel *model() const { return m_model; }
    QTableView *table() const { return m_table; }

signals:
    // "开始替换": the previewed plan is to run for real.
    void startRequested();

private:
    void applyFilter();
    void showCount();
    void exportRows();
    void exportDone();

    Kind m_kind;
    UserInteraction *m_interaction;
    ChangeTableModel *m_model;
    QTableWidget *m_files;
    QLineEdit *m_filter;
    QLabel *m_count;
    QTableView *m_table;
    QPushButton *m_export;
    QTimer *m_filterDelay;
    QFutureWatcher<QString> m_exporting;
    QString m_exportPath;
};
