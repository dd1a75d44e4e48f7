#pragma once

// The backups of runs. Each run that backs up gets a folder of its own under
// the backup root, ROOT/<yyyyMMdd-HHmmss>-<n>/, holding the original of
// every workbook it changed and manifest.json, which names for each file
// its path, its copy, and the SHA-256 of the original and of what the run
// wrote; undo (undo.h) puts files back from it. The root and every run
// folder hold the marker file backupFolderMarker (excelfilescan.h), which
// folder scans never enter, and only folders that hold it are ever read as
// runs or pruned.
//
// The root must be a real folder of the user who runs: a symbolic link, or
// a folder of another user, is refused, so that nobody can have the
// originals of someone else's workbooks copied where he can read them.
//
// While a run goes on, each entry is noted in the journal (manifest.jsonl,
// on disk before the workbook is replaced), so that a killed run can still
// be undone; finish() writes manifest.json from the files that were saved.

#include <QByteArray>
#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QVector>

#include <memory>

struct BackupEntry
{
    QString path;           // the workbook, absolute
    QString backup;         // its copy's name in the run folder
    QByteArray original;    // SHA-256 (hex) of the workbook before the run
    QByteArray written;     // of what the run wrote
    qint64 cells = 0;       // cells the run changed
};

// One run as its folder tells it.
struct BackupRunInfo
{
    QString folder;
    QDateTime started;
    int files = 0;
    qint64 cells = 0;
    bool complete = false; // it has its manifest (else it was cut short; its journal tells)
    QDateTime undone;      // when it was undone, if it was
};

class BackupRun
{
public:
    ~BackupRun();
    BackupRun(const BackupRun &) = delete;
    BackupRun &operator=(const BackupRun &) = delete;

    // Checks the root (making it, for the user alone, when it is missing)
    // and makes the run's folder in it. None, with the reason, when the root
    // cannot be used; nothing is written then.
    static std::unique_ptr<BackupRun> start(const QString &root, QString *error);
    // For a dry run, which makes nothing: whether start() could use root
    // (a folder of the user's own that he may write into, or one he may
    // create). False with the reason.
    static bool check(const QString &root, QString *error);

    QString folder() const { return m_folder; }

    // On a job's thread, with the workbook locked and open at fd: copies it
    // into the run's folder, under its own name or a free numbered one;
    // fills path, backup and original.
    bool backUp(int fd, const QString &path, BackupEntry *entry, QString *error);
    // On a job's thread, before the new file replaces the workbook: notes
    // the entry (written and cells filled in) in the journal, on disk.
    bool note(const BackupEntry &entry, QString *error);
    // On the run's thread, once a file's report is in: a file that was
    // saved keeps its entry; for one that was not, the copy goes.
    void settle(const BackupEntry &entry, bool saved);

    int files() const { return m_kept.size(); }

    // After the last report: writes manifest.json and removes the journal;
    // a run that backed nothing up leaves no folder. False with the reason
    // (the journal then stays, for an undo).
    bool finish(QString *error);

private:
    BackupRun() = default;

    QString m_folder;
    QDateTime m_started;
    QMutex m_mutex; // over the journal
    int m_journal = -1;
    QVector<BackupEntry> m_kept;
    bool m_finished = false;
};

// Where the window keeps its runs' backups unless told otherwise:
// ~/.local/share/korrin/backups ($XDG_DATA_HOME/korrin/backups).
QString defaultBackupRoot();

// Whether folder can be trusted with backups: a real folder (no symbolic
// link) of the user who runs. False with the reason.
bool isOwnFolder(const QString &folder, QString *error);

// The run in folder: what it tells of itself and its entries, from its
// manifest or, for a run cut short, its journal. The folder must be a run
// folder (marker) of the user's own. False with the reason.
bool readBackupRun(const QString &folder, BackupRunInfo *info, QVector<BackupEntry> *entries, QString *error);

// The runs under root, newest first; folders that are no run are left out.
QVector<BackupRunInfo> listBackupRuns(const QString &root);

// Deletes the runs under root beyond the newest keep; a folder holding
// anything but the files a run writes is left alone. False with the
// reason of the first run that could not be deleted.
bool pruneBackupRuns(const QString &root, int keep, QString *error);

// Notes in the run's manifest that it was undone now.
bool markUndone(const QString &folder, QString *error);
