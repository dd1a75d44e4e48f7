#pragma once

// korrin-batch as a script or another user runs it: its output (as bytes
// and as lines), its error output, its exit status. Tests that use it
// define KORRIN_BATCH, the path of the program.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <unistd.h>

namespace BatchProcess {

struct Result
{
    int status = -1; // -1: killed by a signal, or it did not end in time
    QByteArray out;    // standard output as it came
    QStringList lines; // its lines, empty ones left out
    QString err;
};

// Runs program with the arguments, under wrapper (a command that runs the
// rest, such as setpriv) when given, with extra environment variables.
inline Result run(const QString &program, const QStringList &args, const QByteArray &input = QByteArray(),
                  const QStringList &wrapper = QStringList(), const QStringList &environment = QStringList())
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &setting : environment)
        env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    p.setProcessEnvironment(env);
    if (wrapper.isEmpty())
        p.start(program, args);
    else
        p.start(wrapper.first(), wrapper.mid(1) + QStringList{program} + args);
    p.write(input);
    p.closeWriteChannel();
    Result r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.lines = QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// korrin-batch itself, under wrapper when given, with input on its
// standard input.
inline Result batch(const QStringList &args, const QStringList &wrapper = QStringList(),
                    const QByteArray &input = QByteArray())
{
    return run(QStringLiteral(KORRIN_BATCH), args, input, wrapper);
}

// A bash command line, for limits, redirections and pipes; "$KORRIN_BATCH"
// in it is the program.
inline Result shell(const QString &command)
{
    return run(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), command}, QByteArray(), QStringList(),
               {QStringLiteral("KORRIN_BATCH=" KORRIN_BATCH)});
}

// The user that plays "another user" where the tests run as root.
constexpr uid_t otherUid = 65534;
constexpr gid_t otherGid = 65534;

// Why the tests cannot act as another user: they do not run as root, or
// setpriv is missing; empty when they can.
inline QString whyNoOtherUser()
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root, to act as a second user (uid %1)").arg(otherUid);
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        return QStringLiteral("needs setpriv (util-linux) to act as a second user");
    return QString();
}

// The wrapper that runs a command as that user.
inline QStringList asOtherUser()
{
    return {QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(otherUid),
            QStringLiteral("--regid=%1").arg(otherGid), QStringLiteral("--clear-groups"), QStringLiteral("--")};
}

} // namespace BatchProcess

#define KORRIN_REQUIRE_OTHER_USER()                                                                  \
    do {                                                                                             \
        const QString korrinWhy = BatchProcess::whyNoOtherUser();                                    \
        if (!korrinWhy.isEmpty())                                                                    \
            QSKIP(qPrintable(korrinWhy));                                                            \
    } while (false)
