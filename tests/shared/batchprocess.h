#pragma once

// korrin-batch run as a script runs it, for the tests of its options. The
// test target defines KORRIN_BATCH, the path of the program.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace BatchProcess {

struct Result
{
    int status = -1; // -1: it did not end normally within the minute
    QByteArray out;
    QString err;

    QStringList lines() const { return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

// wrapper: a program (and its arguments) that runs korrin-batch, such as
// setpriv with another user's ids.
inline Result run(const QStringList &args, const QStringList &wrapper = QStringList())
{
    QProcess p;
    if (wrapper.isEmpty())
        p.start(QStringLiteral(KORRIN_BATCH), args);
    else
        p.start(wrapper.first(), wrapper.mid(1) + QStringList{QStringLiteral(KORRIN_BATCH)} + args);
    p.closeWriteChannel();
    Result r;
    if (!p.waitForFinished(60000))
        return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace BatchProcess
