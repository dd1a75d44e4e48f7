#pragma once

// Stands in for the person at the window: records every box, tool tip and
// opened URL, and answers the file and folder dialogs from queued answers
// (an empty queue answers Cancel).

#include "backuprun.h"
#include "userinteraction.h"

#include <QList>
#include <QStringList>
#include <QUrl>

class ScriptedInteraction : public UserInteraction
{
public:
    struct Box
    {
        QString kind, title, text;
    };
    struct Dialog
    {
        QString caption, dir, filter;
        bool includeSubfolders = false; // what a folder dialog was preset with
    };
    struct FolderAnswer
    {
        QStringList folders;
        bool includeSubfolders = false;
    };

    QList<Box> boxes;
    QList<QUrl> opened;   // every URL handed to the desktop, also those it refused
    QList<QUrl> unopenable; // URLs the desktop has no handler for
    QStringList tips;
    QList<Dialog> dialogs;

    // nullptr entries answer Cancel.
    QList<QStringList *> fileAnswers;
    QList<FolderAnswer *> folderAnswers;

    void answerFiles(const QStringList &files) { fileAnswers.append(new QStringList(files)); }
    void cancelNextDialog() { fileAnswers.append(nullptr); folderAnswers.append(nullptr); }
    void answerFolders(const QStringList &folders, bool includeSubfolders)
    {
        folderAnswers.append(new FolderAnswer{folders, includeSubfolders});
    }
    ~ScriptedInteraction() override
    {
        qDeleteAll(fileAnswers);
        qDeleteAll(folderAnswers);
    }

    void information(QWidget *, const QString &title, const QString &text) override
    {
        boxes.append({"information", title, text});
    }
    void warning(QWidget *, const QString &title, const QString &text) override
    {
        boxes.append({"warning", title, text});
    }
    QList<bool> questionAnswers; // none left: 否
    bool question(QWidget *, const QString &title, const QString &text) override
    {
        boxes.append({"question", title, text});
        return !questionAnswers.isEmpty() && questionAnswers.takeFirst();
    }
    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return !unopenable.contains(url);
    }
    bool chooseFiles(QWidget *, const QString &caption, const QString &dir, const QString &filter,
                     QStringList *files) override
    {
        dialogs.append({caption, dir, filter});
        QStringList *answer = fileAnswers.isEmpty() ? nullptr : fileAnswers.takeFirst();
        if (!answer)
            return false;
        *files = *answer;
        delete answer;
        return true;
    }
    bool chooseFolders(QWidget *, const QString &title, const QString &dir, bool *includeSubfolders,
                       QStringList *folders) override
    {
        dialogs.append({title, dir, QString(), *includeSubfolders});
        FolderAnswer *answer = folderAnswers.isEmpty() ? nullptr : folderAnswers.takeFirst();
        if (!answer)
            return false;
        *folders = answer->folders;
        *includeSubfolders = answer->includeSubfolders;
        delete answer;
        return true;
    }
    QStringList fileNameAnswers; // for the save and open dialogs; none left: cancelled
    QString chooseSaveFile(QWidget *, const QString &caption, const QString &proposed,
                           const QString &filter) override
    {
        dialogs.append({caption, proposed, filter});
        return fileNameAnswers.isEmpty() ? QString() : fileNameAnswers.takeFirst();
    }
    QString chooseOpenFile(QWidget *, const QString &caption, const QString &dir, const QString &filter) override
    {
        dialogs.append({caption, dir, filter});
        return fileNameAnswers.isEmpty() ? QString() : fileNameAnswers.takeFirst();
    }
    void showToolTip(const QString &text) override { tips.append(text); }
    QString chooseFolder(QWidget *, const QString &caption, const QString &dir) override
    {
        dialogs.append({caption, dir, QString()});
        return fileNameAnswers.isEmpty() ? QString() : fileNameAnswers.takeFirst();
    }
    // The runs offered for an undo; the answer is the index given, -1 by
    // default (cancelled).
    QVector<BackupRunInfo> offeredRuns;
    int runAnswer = -1;
    int chooseBackupRun(QWidget *, const QVector<BackupRunInfo> &runs) override
    {
        offeredRuns = runs;
        return runAnswer;
    }
};
