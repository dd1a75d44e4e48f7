#pragma once

#include "excelfilescan.h"
#include "run.h"

#include <QObject>
#include <cstdio>

// What korrin-batch prints of a run: a line per file as it finishes (plain
// or JSON), a progress bar on a terminal, and a summary at the end.
class BatchReporter : public QObject
{
    Q_OBJECT

public:
    enum Format { Plain, Json };

    BatchReporter(Run *run, Format format, FILE *out, FILE *err, QObject *parent = nullptr);

    // What the folder scans left out, counted in the summary.
    void setScanSkips(const ScanSkips &skips) { m_skips = skips; }

    // 0 when every file succeeded and every report could be written, else 1.
    int exitStatus() const;

signals:
    void finished(int exitStatus);

private:
    void report(Rep *rep, STATE state, int index);
    void summarise();
    void drawProgress();
    void clearProgress();
    // Writes one line to the output; on a write error (a full disk, a
    // reader that went away) the run stops and the rest goes to m_err.
    void writeLine(const QByteArray &line);

    Run *m_run;
    Format m_format;
    FILE *m_out;
    FILE *m_err;
    bool m_progress;
    bool m_outputFailed = false;
    ScanSkips m_skips;
};

// The rows of each file's changes, as JSON lines (changeJsonLine), written
// as the file's report comes in, for --changes -. A row that cannot be
// written (a full disk, a reader that went away) or read back stops the
// run, as a report that cannot be written does: no further workbook
// changes without its record; the reason goes to err at once.
class ChangeStream : public QObject
{
    Q_OBJECT

public:
    ChangeStream(Run *run, const ChangeRecord *record, FILE *out, FILE *err, QObject *parent = nullptr);
    // False once a row could not be read back or written.
    bool ok() const { return m_error.isEmpty(); }
    const QString &error() const { return m_error; }

private:
    void write(Rep *rep, STATE state, int index);

    Run *m_run;
    const ChangeRecord *m_record;
    FILE *m_out;
    FILE *m_err;
    QString m_error;
};

// A path or reason for the plain lines: backslash, tab, line break and the
// other control characters written as escapes, so that every line is one
// file and its fields stay apart.
QString escapeField(const QString &text);

// The plain line of one file's report, without its line break.
QString plainLine(const QString &path, const FileReport &report, bool dryRun);
// Its JSON object, on one line.
QByteArray jsonLine(const QString &path, const FileReport &report);
// The summary line, with what the folder scans left out.
QString summaryLine(const RunSummary &summary, bool dryRun, const ScanSkips &skips = ScanSkips());
