#include "atomicfile.h"

namespace Excel {

bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error,
                         const FileIdentity *expected, FileIdentity *written)
{
    AtomicSave save;
    return save.begin(path, expected, error) && writeAll(save.fd(), data, error) && save.commit(error, written);
}

bool replaceFileAtomically(const QString &path,
                           const std::function<bool(const QString &tempPath, QString *error)> &produce,
                           QString *error)
{
    AtomicSave save;
    return save.begin(path, nullptr, error) && produce(save.tempPath(), error) && save.reopen(error)
        && save.commit(error);
}

} // namespace Excel
