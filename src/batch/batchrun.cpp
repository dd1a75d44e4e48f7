#include "batchrun.h"

#include <QFileInfo>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <unistd.h>

BatchRun::BatchRun(const QStringList &files, const QVector<RepPar> &pars, FILE *out, FILE *err, QObject *parent)
    : QObject(parent)
    , m_files(files)
    , m_pars(pars)
    , m_out(out)
    , m_err(err)
    , m_progress(err && isatty(fileno(err)))
{
    registerStateType();
}

void BatchRun::start()
{
    if (m_files.isEmpty()) {
        std::fprintf(m_out, "0 files: 0 SUCCESS, 0 FAILURE, 0 MISSING\n");
        std::fflush(m_out);
        emit finished(0);
        return;
    }
    drawProgress();
    for (int k = 0; k < m_files.size(); ++k) {
        const QString &path = m_files[k];
        if (!QFileInfo(path).isFile()) {
            report(nullptr, MISSING, k);
            continue;
        }
        Rep *rep = new Rep(path, m_pars.value(k), k);
        connect(rep, &Rep::done, this, &BatchRun::report);
        QtConcurrent::run(QThreadPool::globalInstance(), rep, &Rep::run);
    }
}

void BatchRun::report(Rep *rep, STATE state, int index)
{
    ++m_done;
    const QByteArray path = m_files.value(index).toLocal8Bit();
    if (m_progress)
        std::fputs("\r\033[K", m_err);
    switch (state) {
    case SUCCESS:
        ++m_success;
        std::fprintf(m_out, "SUCCESS\t%s\n", path.constData());
        break;
    case FAILURE:
        ++m_failure;
        std::fprintf(m_out, "FAILURE\t%s\t%s\n", path.constData(),
                     rep ? rep->reason().toLocal8Bit().constData() : "");
        break;
    case MISSING:
        ++m_missing;
        std::fprintf(m_out, "MISSING\t%s\n", path.constData());
        break;
    }
    std::fflush(m_out);
    delete rep;
    drawProgress();
    if (m_done == m_files.size()) {
        if (m_progress)
            std::fputs("\r\033[K", m_err);
        std::fprintf(m_out, "%d files: %d SUCCESS, %d FAILURE, %d MISSING\n", int(m_files.size()), m_success,
                     m_failure, m_missing);
        std::fflush(m_out);
        emit finished(m_success == m_files.size() ? 0 : 1);
    }
}

void BatchRun::drawProgress()
{
    if (!m_progress || m_files.isEmpty())
        return;
    const int width = 40;
    const int filled = int(qint64(width) * m_done / m_files.size());
    std::fprintf(m_err, "\r[%s%s] %d/%d", QByteArray(filled, '#').constData(),
                 QByteArray(width - filled, '.').constData(), m_done, int(m_files.size()));
    std::fflush(m_err);
}
