#pragma once

#include <QString>

// The codes the window reports through stateChangedSignals. They come in
// blocks of eight per subject: adding a folder, adding files, removing,
// exporting, importing, clearing, replacing, dropping. The list-file
// reader and the launch checks return the same numbers.
namespace StateCode {
enum : int {
    AddingFolder = 1,
    FolderAdded = 2, // also the end of every list refresh
    FolderCancelled = 3,
    AddingFiles = 9,
    FilesAdded = 10,
    FilesCancelled = 11,
    AlreadyListed = 13,
    Removing = 17,
    Removed = 18,
    Exporting = 25,
    Exported = 26,
    ExportCancelled = 27,
    ExportFailed = 28,
    Importing = 33,
    Imported = 34,
    NoListFile = 35,
    TooFewSheets = 36,
    SheetMissing = 37,
    Cleared = 41,
    Replacing = 49,
    EmptyKeywordLine = 50,
    ReplaceCancelled = 51,
    DropUnsupported = 58,
};
} // namespace StateCode

// The status-bar text for a state code. Codes without a message of their own
// (0 and negative ones included) give the code followed by a puzzled remark,
// so an unexpected code is still visible to the user.
QString stateMessage(int stateCode);
