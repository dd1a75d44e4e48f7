#include "statecodes.h"

#include <QCoreApplication>

namespace {

struct StateText
{
    int code;
    const char *text;
};

// Codes come in blocks of eight per subject: adding a folder, adding files,
// removing, exporting, importing, clearing, replacing, dropping.
const StateText stateTexts[] = {
    {1, QT_TRANSLATE_NOOP("MainWindow", "添加目录文件中...")},
    {2, QT_TRANSLATE_NOOP("MainWindow", "添加目录文件完毕!")},
    {3, QT_TRANSLATE_NOOP("MainWindow", "添加目录文件被取消!")},
    {9, QT_TRANSLATE_NOOP("MainWindow", "添加文件中...")},
    {10, QT_TRANSLATE_NOOP("MainWindow", "添加文件完毕!")},
    {11, QT_TRANSLATE_NOOP("MainWindow", "添加文件被取消!")},
    {13, QT_TRANSLATE_NOOP("MainWindow", "文件已存在!")},
    {17, QT_TRANSLATE_NOOP("MainWindow", "删除文件中...")},
    {18, QT_TRANSLATE_NOOP("MainWindow", "文件删除完毕!")},
    {25, QT_TRANSLATE_NOOP("MainWindow", "列表导出中,请稍后...")},
    {26, QT_TRANSLATE_NOOP("MainWindow", "列表导出完毕!")},
    {27, QT_TRANSLATE_NOOP("MainWindow", "列表导出被取消!")},
    {28, QT_TRANSLATE_NOOP("MainWindow", "列表导出失败!")},
    {33, QT_TRANSLATE_NOOP("MainWindow", "列表导入中,请稍后...")},
    {34, QT_TRANSLATE_NOOP("MainWindow", "列表导入完毕!")},
    {35, QT_TRANSLATE_NOOP("MainWindow", "没有找到对应的列表文件!")},
    {36, QT_TRANSLATE_NOOP("MainWindow", "清单数量不足!")},
    {37, QT_TRANSLATE_NOOP("MainWindow", "没有在列表043文件中找到对应的清单!")},
    {41, QT_TRANSLATE_NOOP("MainWindow", "列表被清空!")},
    {49, QT_TRANSLATE_NOOP("MainWindow", "文件替换处理中...")},
    {50, QT_TRANSLATE_NOOP("MainWindow", "发现被替换关键字有[空]行,请检查!")},
    {51, QT_TRANSLATE_NOOP("MainWindow", "文件替换处理被取消!")},
    {58, QT_TRANSLATE_NOOP("MainWindow", "拖入文件类型不受支持!")},
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
