#include "formats.h"

namespace Excel {

std::unique_ptr<Workbook> openBiffWorkbook(const QString &, QString *error)
{
    *error = QStringLiteral("compound-file workbooks (.xls) are not supported yet");
    return nullptr;
}

} // namespace Excel
