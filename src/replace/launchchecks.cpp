#include "launchchecks.h"

namespace {

bool stopWith(LaunchStop *stop, int code, const QString &title = QString(), const QString &text = QString())
{
    stop->stateCode = code;
    stop->boxTitle = title;
    stop->boxText = text;
    return false;
}

} // namespace

KeyPairs mode1Pairs(const QStringList &keywordLines, const QStringList &replacementLines,
                    const QString &separator)
{
    KeyPairs pairs;
    for (int i = 0; i < keywordLines.size(); ++i)
        appendPairs(&pairs, keywordLines.at(i), replacementLines.value(i), separator);
    return pairs;
}

KeyPairs mode2Pairs(const QStringList &keywordCells, const QStringList &replacementCells,
                    const QString &separator)
{
    KeyPairs pairs;
    for (int r = 0; r < keywordCells.size(); ++r)
        appendPairs(&pairs, keywordCells.at(r), replacementCells.value(r), separator);
    return pairs;
}

bool checkMode1Input(int fileCount, const QStringList &keywordLines, int replacementLineCount,
                     LaunchStop *stop)
{
    const QString warning = QStringLiteral("警告");
    if (fileCount == 0)
        return stopWith(stop, 51, warning, QStringLiteral("Excel文件列表为空,请添加!"));
    const QString plain = keywordLines.join(QLatin1Char('\n'));
    if (plain.contains(QLatin1String("\n\n")))
        return stopWith(stop, 51, warning, QStringLiteral("【被替换关键字】存在空行，请检查!"));
    if (keywordLines.size() < replacementLineCount)
        return stopWith(stop, 51, warning,
                        QStringLiteral("【被替换关键字】与【欲替换为】内容条目数量不一致，请检查!"));
    if (plain.isEmpty())
        return stopWith(stop, 51, QStringLiteral("警告!"), QStringLiteral("无【被替换关键字】内容，请填写!"));
    return true;
}

bool checkMode1Lines(const QStringList &keywordLines, LaunchStop *stop)
{
    for (const QString &line : keywordLines)
        if (line.isEmpty())
            return stopWith(stop, 50);
    return true;
}

bool checkMode2Files(int fileCount, LaunchStop *stop)
{
    if (fileCount == 0)
        return stopWith(stop, 51, QStringLiteral("警告"),
                        QStringLiteral("excel文件列表为空,请添加excel文件到列表!"));
    return true;
}

bool checkMode2Keywords(const QStringList &keywordCells, LaunchStop *stop)
{
    for (const QString &cell : keywordCells)
        if (cell.isEmpty())
            return stopWith(stop, 50);
    return true;
}
