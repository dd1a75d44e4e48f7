#pragma once

#include <QString>

// Copies the workbook open at sourceFd (read from its start) into folder,
// under fileName or, when that name is taken, "NAME (1).EXT", "NAME (2).EXT"
// and so on: never over an existing file. The copy has the original's
// permissions and is complete and flushed to disk, with the folder, before
// it gets its name; a failed copy leaves nothing behind. *copyPath names it;
// with sha256, it receives the SHA-256 (hex) of what was copied.
bool backUpWorkbook(int sourceFd, const QString &fileName, const QString &folder, QString *copyPath,
                    QString *error, QByteArray *sha256 = nullptr);

// The SHA-256 (hex) of the file open at fd, read from its start.
bool sha256OfFile(int fd, QByteArray *hex, QString *error);
// Copies the file open at from (read from its start) to to, with the
// SHA-256 (hex) of what was copied.
bool copyWithSha256(int from, int to, QByteArray *hex, QString *error);

// The name of the n-th backup of fileName: fileName itself for 0, else
// "NAME (n).EXT" (the extension is what follows the last dot), NAME cut
// short where the whole would be longer than a file name may be.
QString numberedName(const QString &fileName, int n);
