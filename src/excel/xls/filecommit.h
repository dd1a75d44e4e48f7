#pragma once

#include <QByteArray>
#include <QString>

namespace Excel {
namespace Biff {

// Replaces the file at path with content atomically: a temporary file in
// the same folder, written and flushed to disk, given the original's
// permissions, renamed over the original, then the folder flushed. A file
// or folder without write permission is refused (also for root). On
// failure the original is untouched and *error says why.
bool commitFile(const QString &path, const QByteArray &content, QString *error);

} // namespace Biff
} // namespace Excel
