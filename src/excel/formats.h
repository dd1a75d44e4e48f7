#pragma once

// The file-format engines behind Workbooks::Open. Each opens the file at
// path or returns none with a reason in *error.

#include "objectmodel.h"

#include <QString>
#include <memory>

namespace Excel {

enum class FileSignature { Zip, CompoundFile, Other, Unreadable };

// Looks at the first bytes of the file only.
FileSignature sniffFileSignature(const QString &path, QString *error);

std::unique_ptr<Workbook> openOoxmlWorkbook(const QString &path, QString *error);
std::unique_ptr<Workbook> openBiffWorkbook(const QString &path, QString *error);

} // namespace Excel
