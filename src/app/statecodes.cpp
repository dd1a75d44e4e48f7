#include "statecodes.h"

#include <QCoreApplication>

namespace {

struct StateText
{
    int code;
    const char *text;
};

const StateText stateTexts[] = {
    {StateCode::AddingFolder, QT_TRANSLATE_NOOP("MainWindow", "添加目录文件中...")},
    {StateCode::FolderAdded, QT_TRANSLATE_NOOP("MainWindow", "添加目录文件完毕!")},
    {StateCode::FolderCancelled, QT_TRANSLATE_NOOP("MainWindow", "添加目录文件被取消!")},
    {StateCode::AddingFiles, QT_TRANSLATE_NOOP("MainWindow", "添加文件中...")},
    {StateCode::FilesAdded, QT_TRANSLATE_NOOP("MainWindow", "添加文件完毕!")},
    {StateCode::FilesCancelled, QT_TRANSLATE_NOOP("MainWindow", "添加文件被取消!")},
    {StateCode::AlreadyListed, QT_TRANSLATE_NOOP("MainWindow", "文件已存在!")},
    {StateCode::Removing, QT_TRANSLATE_NOOP("MainWindow", "删除文件中...")},
    {StateCode::Removed, QT_TRANSLATE_NOOP("MainWindow", "文件删除完毕!")},
    {StateCode::Exporting, QT_TRANSLATE_NOOP("MainWindow", "列表导出中,请稍后...")},
    {StateCode::Exported, QT_TRANSLATE_NOOP("MainWindow", "列表导出完毕!")},
    {StateCode::ExportCancelled, QT_TRANSLATE_NOOP("MainWindow", "列表导出被取消!")},
    {StateCode::ExportFailed, QT_TRANSLATE_NOOP("MainWindow", "列表导出失败!")},
    {StateCode::Importing, QT_TRANSLATE_NOOP("MainWindow", "列表导入中,请稍后...")},
    {StateCode::Imported, QT_TRANSLATE_NOOP("MainWindow", "列表导入完毕!")},
    {StateCode::NoListFile, QT_TRANSLATE_NOOP("MainWindow", "没有找到对应的列表文件!")},
    {StateCode::TooFewSheets, QT_TRANSLATE_NOOP("MainWindow", "清单数量不足!")},
    {StateCode::SheetMissing, QT_TRANSLATE_NOOP("MainWindow", "没有在列表043文件中找到对应的清单!")},
    {StateCode::Cleared, QT_TRANSLATE_NOOP("MainWindow", "列表被清空!")},
    {StateCode::Replacing, QT_TRANSLATE_NOOP("MainWindow", "文件替换处理中...")},
    {StateCode::EmptyKeywordLine, QT_TRANSLATE_NOOP("MainWindow", "发现被替换关键字有[空]行,请检查!")},
    {StateCode::ReplaceCancelled, QT_TRANSLATE_NOOP("MainWindow", "文件替换处理被取消!")},
    {StateCode::DropUnsupported, QT_TRANSLATE_NOOP("MainWindow", "拖入文件类型不受支持!")},
};

} // namespace

QString stateMessage(int stateCode)
{
    for (const StateText &entry : stateTexts) {
        if (entry.code == stateCode)
            return QCoreApplication::translate("MainWindow", entry.text);
    }
    return QString::number(stateCode) + QCoreApplication::translate("MainWindow", " 咦?这是神马操作?");
}
