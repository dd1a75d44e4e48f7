#pragma once

// The file-format engines behind Workbooks::Open. Each opens the file at
// path or returns none with a reason in *error.

#include "objectmodel.h"
#include "openedfile.h"

#include <QString>
#include <memory>

namespace Excel {

enum class FileSignature { Zip, CompoundFile, Other, Unreadable };

// Looks at the first bytes of the file only.
FileSignature sniffFileSignature(const QString &path, QString *error);
// The same, keeping the file open in *opened (when one was opened): the
// reader goes on with that descriptor rather than opening the file again,
// and with opened->head, which holds the whole file when it is small.
FileSignature sniffFileSignature(const QString &path, OpenedFile *opened, QString *error);
// The same for a file already open in *opened, its status known. With
// wholeIfSmall false only the first bytes are read.
FileSignature sniffOpenedFile(OpenedFile *opened, QString *error, bool wholeIfSmall = true);

// opened: the file already open at path, taken over (none: opened here).
std::unique_ptr<Workbook> openOoxmlWorkbook(const QString &path, QString *error, OpenedFile *opened = nullptr);
// opened: the file already open at path, read from its descriptor and closed.
std::unique_ptr<Workbook> openBiffWorkbook(const QString &path, QString *error, OpenedFile *opened);

} // namespace Excel
