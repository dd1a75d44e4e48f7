#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

struct BackupRunInfo;
class QUrl;
class QWidget;

// Everything the window asks of the person in front of it or of the desktop
// goes through here, so that the window can run without either (tests put
// their own implementation in).
class UserInteraction
{
public:
    virtual ~UserInteraction();

    // A modal message box with a single Ok button.
    virtual void information(QWidget *parent, const QString &title, const QString &text) = 0;
    virtual void warning(QWidget *parent, const QString &title, const QString &text) = 0;
    // A modal question with the buttons 是 and 否; true for 是.
    virtual bool question(QWidget *parent, const QString &title, const QString &text) = 0;

    // Hands url to the desktop's handler for it (file manager, viewer);
    // false when no handler took it.
    virtual bool openUrl(const QUrl &url) = 0;

    // Lets the user pick existing files; false when the dialog was cancelled.
    virtual bool chooseFiles(QWidget *parent, const QString &caption, const QString &dir,
                             const QString &filter, QStringList *files) = 0;

    // Lets the user pick folders, with the "include sub-folders" check box
    // preset from *includeSubfolders and its final state returned there;
    // false when the dialog was cancelled.
    virtual bool chooseFolders(QWidget *parent, const QString &title, const QString &dir,
                               bool *includeSubfolders, QStringList *folders) = 0;

    // A file name to save under, proposed is preset (the dialog asks before
    // overwriting); empty when cancelled.
    virtual QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &proposed,
                                   const QString &filter) = 0;

    // One existing file; empty when cancelled.
    virtual QString chooseOpenFile(QWidget *parent, const QString &caption, const QString &dir,
                                   const QString &filter) = 0;

    // A tool tip at the mouse cursor, tied to no widget.
    virtual void showToolTip(const QString &text) = 0;

    // One existing folder; empty when cancelled.
    virtual QString chooseFolder(QWidget *parent, const QString &caption, const QString &dir) = 0;

    // One of the runs with backups (newest first), to be undone: its index,
    // or -1 when cancelled.
    virtual int chooseBackupRun(QWidget *parent, const QVector<BackupRunInfo> &runs) = 0;
};

class DesktopInteraction : public UserInteraction
{
public:
    void information(QWidget *parent, const QString &title, const QString &text) override;
    void warning(QWidget *parent, const QString &title, const QString &text) override;
    bool question(QWidget *parent, const QString &title, const QString &text) override;
    bool openUrl(const QUrl &url) override;
    bool chooseFiles(QWidget *parent, const QString &caption, const QString &dir, const QString &filter,
                     QStringList *files) override;
    bool chooseFolders(QWidget *parent, const QString &title, const QString &dir, bool *includeSubfolders,
                       QStringList *folders) override;
    QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &proposed,
                           const QString &filter) override;
    QString chooseOpenFile(QWidget *parent, const QString &caption, const QString &dir,
                           const QString &filter) override;
    void showToolTip(const QString &text) override;
    QString chooseFolder(QWidget *parent, const QString &caption, const QString &dir) override;
    int chooseBackupRun(QWidget *parent, const QVector<BackupRunInfo> &runs) override;
};
