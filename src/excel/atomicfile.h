#pragma once

// Replacing a file so that it is either wholly the old or wholly the new one,
// for content that is ready in memory or that a library writes; AtomicSave
// (atomicsave.h) does the work. On any failure the temporary file is removed
// and the original is untouched.

#include "atomicsave.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace Excel {

// Writes data as the new content of path. With expected, path must still be
// the file that was read (see AtomicSave::begin); *written then identifies
// the new one.
bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error,
                         const FileIdentity *expected = nullptr, FileIdentity *written = nullptr);

// The same for content that a library writes to a path of its own choosing:
// produce(tempPath) writes the whole file to tempPath (an empty file that
// already exists) and returns false, with a reason, when it could not.
bool replaceFileAtomically(const QString &path,
                           const std::function<bool(const QString &tempPath, QString *error)> &produce,
                           QString *error);

} // namespace Excel
