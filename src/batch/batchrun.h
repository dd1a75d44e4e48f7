#pragma once

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

    // 0 when every file succeeded, else 1.
    int exitStatus() const;

signals:
    void finished(int exitStatus);

private:
    void report(Rep *rep, STATE state, int index);
    void summarise();
    void drawProgress();
    void clearProgress();

    Run *m_run;
    Format m_format;
    FILE *m_out;
    FILE *m_err;
    bool m_progress;
};

// The rows of each file's changes, as JSON lines (changeJsonLine), written
// as the file's report comes in, for --changes -.
class ChangeStream : public QObject
{
    Q_OBJECT

public:
    ChangeStream(Run *run, const ChangeRecord *record, FILE *out, QObject *parent = nullptr);
    // False once a row could not be read back or written.
    bool ok() const { return m_error.isEmpty(); }
    const QString &error() const { return m_error; }

private:
    void write(Rep *rep, STATE state, int index);

    const ChangeRecord *m_record;
    FILE *m_out;
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
// The summary line.
QString summaryLine(const RunSummary &summary, bool dryRun);
