#include "backuprun.h"

#include "atomicfile.h"
#include "excelfilescan.h"
#include "systemerror.h"
#include "workbookbackup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString ManifestName = QStringLiteral("manifest.json");
const QString JournalName = QStringLiteral("manifest.jsonl");
const QString MarkerName = QLatin1String(backupFolderMarker);

QString systemError()
{
    return Excel::systemErrorText(errno);
}

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

void flushFolder(const QString &folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool writeAllTo(int fd, const QByteArray &data)
{
    for (qint64 done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool makeMarker(const QString &folder, QString *error)
{
    const QString path = folder + QLatin1Char('/') + MarkerName;
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = QCoreApplication::translate("Run", "cannot write %1: %2").arg(path, systemError());
        return false;
    }
    struct stat st;
    const bool empty = ::fstat(fd, &st) == 0 && st.st_size == 0;
    const bool ok = !empty || writeAllTo(fd, "Backups that Korrin made before it changed workbooks.\n");
    ::close(fd);
    if (!ok)
        *error = QCoreApplication::translate("Run", "cannot write %1: %2").arg(path, systemError());
    return ok;
}

QString isoNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QJsonObject entryObject(const BackupEntry &e)
{
    return QJsonObject{{"path", e.path},
                       {"backup", e.backup},
                       {"originalSha256", QString::fromLatin1(e.original)},
                       {"writtenSha256", QString::fromLatin1(e.written)},
                       {"cells", double(e.cells)}};
}

bool readEntry(const QJsonObject &o, BackupEntry *e)
{
    e->path = o.value("path").toString();
    e->backup = o.value("backup").toString();
    e->original = o.value("originalSha256").toString().toLatin1();
    e->written = o.value("writtenSha256").toString().toLatin1();
    e->cells = qint64(o.value("cells").toDouble());
    // A backup name is a name in the run folder, never a path.
    return QDir::isAbsolutePath(e->path) && !e->backup.isEmpty() && !e->backup.contains(QLatin1Char('/'))
           && e->backup != QLatin1String("..") && e->backup != QLatin1String(".") && e->original.size() == 64
           && e->written.size() == 64;
}

QByteArray manifestBytes(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool readManifestObject(const QString &folder, QJsonObject *manifest, QString *error)
{
    QFile file(folder + QLatin1Char('/') + ManifestName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QCoreApplication::translate("Run", "cannot read %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (!doc.isObject()) {
        *error = QCoreApplication::translate("Run", "%1 is damaged: %2").arg(file.fileName(), parse.errorString());
        return false;
    }
    *manifest = doc.object();
    return true;
}

// The runs' folders are named by the time they began: sorting by it, a
// run of the same second by its number.
bool newerFirst(const BackupRunInfo &a, const BackupRunInfo &b)
{
    if (a.started != b.started)
        return a.started > b.started;
    const int na = a.folder.section(QLatin1Char('-'), -1).toInt(), nb = b.folder.section(QLatin1Char('-'), -1).toInt();
    return na != nb ? na > nb : a.folder > b.folder;
}

} // namespace

QString defaultBackupRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/korrin/backups");
}

bool isOwnFolder(const QString &folder, QString *error)
{
    struct stat st;
    if (::lstat(native(folder).constData(), &st) != 0) {
        *error = QCoreApplication::translate("Run", "cannot use the folder %1: %2").arg(folder, systemError());
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        *error = QCoreApplication::translate("Run", "%1 is a symbolic link, not a folder: name the folder itself").arg(folder);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *error = QCoreApplication::translate("Run", "%1 is not a folder").arg(folder);
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        *error = QCoreApplication::translate("Run", "the folder %1 belongs to another user (uid %2)").arg(folder).arg(st.st_uid);
        return false;
    }
    return true;
}

BackupRun::~BackupRun()
{
    if (m_journal >= 0)
        ::close(m_journal);
}

std::unique_ptr<BackupRun> BackupRun::start(const QString &rootGiven, QString *error)
{
    const QString root = QDir(rootGiven).absolutePath();
    struct stat st;
    if (::lstat(native(root).constData(), &st) != 0 && errno == ENOENT) {
        // Made for the user alone: it will hold copies of his workbooks.
        if (!QDir().mkpath(QFileInfo(root).path())
            || (::mkdir(native(root).constData(), 0700) != 0 && errno != EEXIST)) {
            *error = QCoreApplication::translate("Run", "cannot create the backup folder %1: %2").arg(root, systemError());
            return nullptr;
        }
    }
    if (!isOwnFolder(root, error) || !makeMarker(root, error))
        return nullptr;

    std::unique_ptr<BackupRun> run(new BackupRun);
    run->m_started = QDateTime::currentDateTime();
    const QString stamp = run->m_started.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int n = 1;; ++n) {
        const QString folder = QStringLiteral("%1/%2-%3").arg(root, stamp).arg(n);
        if (::mkdir(native(folder).constData(), 0700) == 0) {
            run->m_folder = folder;
            break;
        }
        if (errno != EEXIST || n >= 10000) {
            *error = QCoreApplication::translate("Run", "cannot create a folder in %1 for the run's backups: %2").arg(root, systemError());
            return nullptr;
        }
    }
    const QString journal = run->m_folder + QLatin1Char('/') + JournalName;
    run->m_journal = ::open(native(journal).constData(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC,
                            0600);
    const QByteArray head = QJsonDocument(QJsonObject{{"started", isoNow()}}).toJson(QJsonDocument::Compact) + '\n';
    if (run->m_journal < 0 || !writeAllTo(run->m_journal, head) || ::fdatasync(run->m_journal) != 0) {
        *error = QCoreApplication::translate("Run", "cannot write %1: %2").arg(journal, systemError());
        ::unlink(native(journal).constData());
        ::rmdir(native(run->m_folder).constData());
        return nullptr;
    }
    if (!makeMarker(run->m_folder, error))
        return nullptr;
    flushFolder(run->m_folder);
    flushFolder(root);
    return run;
}

bool BackupRun::check(const QString &rootGiven, QString *error)
{
    const QString root = QDir(rootGiven).absolutePath();
    struct stat st;
    QString folder = root;
    if (::lstat(native(root).constData(), &st) != 0 && errno == ENOENT) {
        // start() would make it in the nearest folder that is there.
        int found;
        do {
            folder = QFileInfo(folder).path();
            found = ::stat(native(folder).constData(), &st);
        } while (found != 0 && errno == ENOENT && folder != QLatin1String("/"));
        if (found != 0 || !S_ISDIR(st.st_mode)) {
            *error = QCoreApplication::translate("Run", "cannot create the backup folder %1: %2")
                         .arg(root, found != 0 ? systemError() : QCoreApplication::translate("Run", "%1 is not a folder").arg(folder));
            return false;
        }
    } else if (!isOwnFolder(root, error)) {
        return false;
    }
    if (::access(native(folder).constData(), W_OK | X_OK) != 0) {
        *error = folder == root ? QCoreApplication::translate("Run", "cannot write into the backup folder %1: %2").arg(root, systemError())
                                : QCoreApplication::translate("Run", "cannot create the backup folder %1: %2").arg(root, systemError());
        return false;
    }
    return true;
}

bool BackupRun::backUp(int fd, const QString &path, BackupEntry *entry, QString *error)
{
    const QFileInfo info(path);
    QString copy;
    if (!backUpWorkbook(fd, info.fileName(), m_folder, &copy, error, &entry->original))
        return false;
    entry->path = info.absoluteFilePath();
    entry->backup = QFileInfo(copy).fileName();
    return true;
}

bool BackupRun::note(const BackupEntry &entry, QString *error)
{
    const QByteArray line = QJsonDocument(entryObject(entry)).toJson(QJsonDocument::Compact) + '\n';
    QMutexLocker locker(&m_mutex);
    if (m_journal < 0 || !writeAllTo(m_journal, line) || ::fdatasync(m_journal) != 0) {
        *error = QCoreApplication::translate("Run", "cannot note the backup in %1/%2: %3").arg(m_folder, JournalName, systemError());
        return false;
    }
    return true;
}

void BackupRun::settle(const BackupEntry &entry, bool saved)
{
    if (entry.backup.isEmpty())
        return;
    if (saved)
        m_kept.append(entry);
    else
        ::unlink(native(m_folder + QLatin1Char('/') + entry.backup).constData());
}

bool BackupRun::finish(QString *error)
{
    if (m_finished)
        return true;
    m_finished = true;
    const QString journal = m_folder + QLatin1Char('/') + JournalName;
    if (m_kept.isEmpty()) {
        // Nothing was backed up: the run leaves nothing behind.
        ::unlink(native(journal).constData());
        ::unlink(native(m_folder + QLatin1Char('/') + MarkerName).constData());
        ::rmdir(native(m_folder).constData());
        return true;
    }
    QJsonArray files;
    qint64 cells = 0;
    for (const BackupEntry &e : qAsConst(m_kept)) {
        files.append(entryObject(e));
        cells += e.cells;
    }
    const QDateTime started = m_started.toOffsetFromUtc(m_started.offsetFromUtc());
    const QJsonObject manifest{{"started", started.toString(Qt::ISODateWithMs)},
                               {"finished", isoNow()},
                               {"cells", double(cells)},
                               {"files", files}};
    if (!Excel::writeFileAtomically(m_folder + QLatin1Char('/') + ManifestName, manifestBytes(manifest), error)) {
        *error = QCoreApplication::translate("Run", "cannot write the manifest of %1: %2").arg(m_folder, *error);
        return false;
    }
    ::unlink(native(journal).constData());
    flushFolder(m_folder);
    return true;
}

bool readBackupRun(const QString &folder, BackupRunInfo *info, QVector<BackupEntry> *entries, QString *error)
{
    if (!isOwnFolder(folder, error))
        return false;
    if (!QFileInfo::exists(folder + QLatin1Char('/') + MarkerName)) {
        *error = QCoreApplication::translate("Run", "%1 is no folder of a run's backups (it has no %2)").arg(folder, MarkerName);
        return false;
    }
    *info = BackupRunInfo();
    info->folder = QDir(folder).absolutePath();
    entries->clear();
    const auto add = [&](const QJsonObject &o) {
        BackupEntry e;
        if (!readEntry(o, &e)) {
            *error = QCoreApplication::translate("Run", "%1: an entry of the manifest is damaged").arg(folder);
            return false;
        }
        entries->append(e);
        info->cells += e.cells;
        return true;
    };
    if (QFileInfo::exists(folder + QLatin1Char('/') + ManifestName)) {
        QJsonObject manifest;
        if (!readManifestObject(folder, &manifest, error))
            return false;
        info->started = QDateTime::fromString(manifest.value("started").toString(), Qt::ISODate);
        info->complete = manifest.contains("finished");
        info->undone = QDateTime::fromString(manifest.value("undone").toString(), Qt::ISODate);
        for (const QJsonValue &v : manifest.value("files").toArray())
            if (!add(v.toObject()))
                return false;
    } else {
        QFile journal(folder + QLatin1Char('/') + JournalName);
        if (!journal.open(QIODevice::ReadOnly)) {
            *error = QCoreApplication::translate("Run", "%1 has no manifest: %2").arg(folder, journal.errorString());
            return false;
        }
        const QList<QByteArray> lines = journal.readAll().split('\n');
        for (int i = 0; i < lines.size(); ++i) {
            const QJsonObject o = QJsonDocument::fromJson(lines[i]).object();
            if (i == 0)
                info->started = QDateTime::fromString(o.value("started").toString(), Qt::ISODate);
            // A line cut short by a killed run was never acted on.
            else if (!o.isEmpty() && !add(o))
                return false;
        }
    }
    info->files = entries->size();
    return true;
}

QVector<BackupRunInfo> listBackupRuns(const QString &root)
{
    QVector<BackupRunInfo> runs;
    QString ignored;
    if (!isOwnFolder(root, &ignored))
        return runs;
    const QStringList names = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString &name : names) {
        BackupRunInfo info;
        QVector<BackupEntry> entries;
        if (readBackupRun(root + QLatin1Char('/') + name, &info, &entries, &ignored))
            runs.append(info);
    }
    std::sort(runs.begin(), runs.end(), newerFirst);
    return runs;
}

bool pruneBackupRuns(const QString &root, int keep, QString *error)
{
    const QVector<BackupRunInfo> runs = listBackupRuns(root);
    bool ok = true;
    for (int i = qMax(0, keep); i < runs.size(); ++i) {
        const QString &folder = runs[i].folder;
        const QStringList names =
            QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        bool onlyFiles = true;
        for (const QString &name : names) {
            struct stat st;
            if (::lstat(native(folder + QLatin1Char('/') + name).constData(), &st) != 0 || !S_ISREG(st.st_mode))
                onlyFiles = false;
        }
        if (!onlyFiles) {
            if (ok)
                *error = QCoreApplication::translate("Run", "%1 holds more than a run's backups: it was left").arg(folder);
            ok = false;
            continue;
        }
        // The marker last, so that a deletion cut short leaves a run folder.
        for (const QString &name : names)
            if (name != MarkerName)
                ::unlink(native(folder + QLatin1Char('/') + name).constData());
        ::unlink(native(folder + QLatin1Char('/') + MarkerName).constData());
        if (::rmdir(native(folder).constData()) != 0) {
            if (ok)
                *error = QCoreApplication::translate("Run", "cannot delete %1: %2").arg(folder, systemError());
            ok = false;
        }
    }
    return ok;
}

bool markUndone(const QString &folder, QString *error)
{
    BackupRunInfo info;
    QVector<BackupEntry> entries;
    if (!readBackupRun(folder, &info, &entries, error))
        return false;
    QJsonObject manifest;
    if (info.complete) {
        if (!readManifestObject(folder, &manifest, error))
            return false;
    } else {
        // A run cut short gets a manifest from its journal, still without
        // its end.
        QJsonArray files;
        for (const BackupEntry &e : qAsConst(entries))
            files.append(entryObject(e));
        manifest = QJsonObject{{"started", info.started.toString(Qt::ISODateWithMs)},
                               {"cells", double(info.cells)},
                               {"files", files}};
    }
    manifest.insert("undone", isoNow());
    return Excel::writeFileAtomically(folder + QLatin1Char('/') + ManifestName, manifestBytes(manifest), error);
}
