#pragma once

// Replacing a file so that it is either wholly the old or wholly the new one:
// the new content goes to a temporary file in the same folder, is flushed to
// disk, gets the old file's permissions and is renamed over it; then the
// folder itself is flushed. A symbolic link is followed, so the link stays
// and its target is replaced. On any failure the temporary file is removed
// and the original is untouched.

#include <QByteArray>
#include <QString>
#include <functional>

namespace Excel {

// Writes data as the new content of path.
bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error);

// The same for content that a library writes to a path of its own choosing:
// produce(tempPath) writes the whole file to tempPath (an empty file that
// already exists) and returns false, with a reason, when it could not.
bool replaceFileAtomically(const QString &path,
                           const std::function<bool(const QString &tempPath, QString *error)> &produce,
                           QString *error);

} // namespace Excel
