#pragma once

#include "keywordpairs.h"

#include <QMetaType>
#include <QObject>
#include <QString>

// The outcome of one file of a run.
enum STATE : qint32 { SUCCESS = 0, FAILURE = 1, MISSING = 2 };
Q_DECLARE_METATYPE(STATE)

// Registers STATE with the meta-type system so that Rep::done can travel
// through queued connections. Safe to call more than once.
void registerStateType();

// The job of one workbook: opens it, applies every pair to the chosen
// sheets, saves it and reports once through done(). run() executes on a
// pool thread and touches nothing but this object and the file.
class Rep : public QObject
{
    Q_OBJECT

public:
    Rep(const QString &filePath, const RepPar &par, int index, QObject *parent = nullptr);

    void run();

    // Why the job failed (which step, and why); empty after a success.
    QString reason() const { return m_reason; }

signals:
    void done(Rep *rep, STATE state, int index);

public:
    const QString filePath;
    const QString sheetIndex;
    const KeyPairs pairs;
    const bool byKey;
    const qint32 lookAt;
    const qint32 searchOrder;
    const bool matchCase;
    const qint32 index;

private:
    STATE process();

    QString m_reason;
};
