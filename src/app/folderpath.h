#pragma once

#include <QString>

// The folder part of a listed workbook path, with "/" separators and its
// trailing "/": "C:\data\book.xlsx" gives "C:/data/". A path without any
// separator names no folder and gives an empty text.
QString folderOfListedFile(const QString &path);
