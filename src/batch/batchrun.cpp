#include "batchrun.h"

#include "changeexport.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

QString stateName(STATE state)
{
    switch (state) {
    case SUCCESS:
        return QStringLiteral("SUCCESS");
    case FAILURE:
        return QStringLiteral("FAILURE");
    case MISSING:
        return QStringLiteral("MISSING");
    }
    return QString();
}

QString cellCount(qint64 cells, bool dryRun)
{
    return QStringLiteral("%1 %2 %3")
        .arg(cells)
        .arg(cells == 1 ? QStringLiteral("cell") : QStringLiteral("cells"))
        .arg(dryRun ? QStringLiteral("would change") : QStringLiteral("changed"));
}

} // namespace

QString escapeField(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

QString plainLine(const QString &path, const FileReport &report, bool dryRun)
{
    QString line = stateName(report.state) + QLatin1Char('\t') + escapeField(path);
    switch (report.state) {
    case SUCCESS:
        line += QLatin1Char('\t') + cellCount(report.cells, dryRun);
        if (!report.reason.isEmpty())
            line += QLatin1Char('\t') + escapeField(report.reason.text());
        break;
    case FAILURE:
        line += QLatin1Char('\t') + escapeField(report.reason.text());
        break;
    case MISSING:
        break;
    }
    return line;
}

QByteArray jsonLine(const QString &path, const FileReport &report)
{
    // "cause" alone, for a script that sorts failures by what went wrong.
    QJsonObject o{{"path", path},
                  {"state", stateName(report.state)},
                  {"reason", report.reason.text()},
                  {"cause", report.reason.cause()},
                  {"cells", double(report.cells)}};
    if (!report.backupPath.isEmpty())
        o.insert("backup", report.backupPath);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString summaryLine(const RunSummary &s, bool dryRun, const ScanSkips &skips)
{
    const QString left = skips.counts();
    return QStringLiteral("%1 files: %2 SUCCESS, %3 FAILURE, %4 MISSING, %5%6%7")
        .arg(s.files)
        .arg(s.success)
        .arg(s.failure)
        .arg(s.missing)
        .arg(cellCount(s.cells, dryRun))
        .arg(dryRun ? QStringLiteral(" (dry run: nothing written)") : QString())
        .arg(left.isEmpty() ? QString() : QStringLiteral("; not scanned: ") + left);
}

BatchReporter::BatchReporter(Run *run, Format format, FILE *out, FILE *err, QObject *parent)
    : QObject(parent)
    , m_run(run)
    , m_format(format)
    , m_out(out)
    , m_err(err)
    , m_progress(err && isatty(fileno(err)))
{
    connect(run, &Run::done, this, &BatchReporter::report);
    connect(run, &Run::finished, this, &BatchReporter::summarise);
    drawProgress();
}

int BatchReporter::exitStatus() const
{
    const RunSummary &s = m_run->summary();
    return s.success == m_run->plan().files.size() && !m_outputFailed ? 0 : 1;
}

void BatchReporter::writeLine(const QByteArray &line)
{
    if (!m_outputFailed) {
        errno = 0;
        const bool written = std::fwrite(line.constData(), 1, size_t(line.size()), m_out) == size_t(line.size())
            && std::fputc('\n', m_out) != EOF && std::fflush(m_out) == 0;
        if (written)
            return;
        m_outputFailed = true;
        std::fprintf(m_err,
                     "korrin-batch: cannot write to standard output (%s): the run stops; files not yet saved stay "
                     "as they were, and what is still reported follows here\n",
                     errno ? std::strerror(errno) : "write error");
        m_out = m_err;
        m_run->stopSoon();
    }
    std::fwrite(line.constData(), 1, size_t(line.size()), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
}

void BatchReporter::report(Rep *, STATE, int index)
{
    clearProgress();
    const QString &path = m_run->plan().files.at(index);
    const FileReport &r = m_run->report(index);
    // After a write error only what happened still counts; the summary
    // counts the files the stop left alone.
    if (m_outputFailed && r.stopped)
        return drawProgress();
    writeLine(m_format == Json ? jsonLine(path, r) : plainLine(path, r, m_run->plan().job.dryRun).toLocal8Bit());
    drawProgress();
}

void BatchReporter::summarise()
{
    clearProgress();
    const QByteArray line = summaryLine(m_run->summary(), m_run->plan().job.dryRun, m_skips).toLocal8Bit();
    // With --json standard output carries the files' objects only.
    if (m_format == Json) {
        std::fprintf(m_err, "%s\n", line.constData());
        std::fflush(m_err);
    } else {
        writeLine(line);
    }
    emit finished(exitStatus());
}

void BatchReporter::clearProgress()
{
    if (m_progress)
        std::fputs("\r\033[K", m_err);
}

void BatchReporter::drawProgress()
{
    const int total = m_run->plan().files.size();
    if (!m_progress || total == 0 || m_run->summary().files == total)
        return;
    const int done = m_run->summary().files;
    const int width = 40;
    const int filled = int(qint64(width) * done / total);
    std::fprintf(m_err, "\r[%s%s] %d/%d", QByteArray(filled, '#').constData(),
                 QByteArray(width - filled, '.').constData(), done, total);
    std::fflush(m_err);
}

ChangeStream::ChangeStream(Run *run, const ChangeRecord *record, FILE *out, FILE *err, QObject *parent)
    : QObject(parent)
    , m_run(run)
    , m_record(record)
    , m_out(out)
    , m_err(err)
{
    // Before the reporter's own slot, so that a file's rows come before its report.
    connect(run, &Run::done, this, &ChangeStream::write);
}

void ChangeStream::write(Rep *, STATE, int index)
{
    const qint64 rows = m_record->rowCount(index);
    if (rows == 0 || !ok())
        return;
    const QByteArray path = m_record->filePath(index).toUtf8();
    QString error;
    const auto writeError = [&] {
        error = QStringLiteral("cannot write the record of changes to standard output (%1)")
                    .arg(errno ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("write error"));
    };
    errno = 0;
    const bool read = m_record->readRaw(m_record->firstRow(index), rows, [&](qint64, const RawChangeRow &row) {
        const QByteArray line = changeJsonLine(path, row) + '\n';
        if (std::fwrite(line.constData(), 1, size_t(line.size()), m_out) != size_t(line.size())) {
            writeError();
            return false;
        }
        return true;
    }, &error);
    if (std::fflush(m_out) != 0 && error.isEmpty())
        writeError();
    if (read && error.isEmpty())
        return;
    m_error = error;
    std::fprintf(m_err,
                 "korrin-batch: %s: the run stops; files not yet saved stay as they were, and their reports "
                 "follow\n",
                 m_error.toLocal8Bit().constData());
    std::fflush(m_err);
    m_run->stopSoon();
}
