#include "manualplaces.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

bool isInside(const QString &path, const QString &folder)
{
    const QString canonicalPath = QDir(path).canonicalPath();
    const QString canonicalFolder = QDir(folder).canonicalPath();
    if (canonicalPath.isEmpty() || canonicalFolder.isEmpty())
        return false;
    return canonicalPath == canonicalFolder || canonicalPath.startsWith(canonicalFolder + QLatin1Char('/'));
}

} // namespace

QStringList manualPlaces(const QString &workingDir, const QString &programDir)
{
    QStringList places;
    places << QDir(workingDir).filePath(QStringLiteral("help.chm"));
    places << QDir::cleanPath(programDir + QStringLiteral("/" KORRIN_DATA_FROM_BIN "/korrin/manual/index.html"));
    if (isInside(programDir, QStringLiteral(KORRIN_BUILD_DIR)))
        places << QStringLiteral(KORRIN_SOURCE_DIR "/docs/manual/index.html");
    return places;
}

QString openFirstManual(const QStringList &places, const std::function<bool(const QString &)> &open)
{
    QStringList tried;
    bool foundOne = false;
    for (const QString &place : places) {
        if (!QFileInfo(place).isFile()) {
            tried << tr("%1（不存在）").arg(place);
            continue;
        }
        if (open(place))
            return QString();
        foundOne = true;
        tried << tr("%1（没有程序能打开它）").arg(place);
    }
    QString message = tr("无法打开说明文档。已查找：\n") + tried.join(QLatin1Char('\n'));
    if (foundOne)
        message += tr("\n\n请安装网页浏览器与 xdg-utils，以便打开 HTML 文档。");
    return message;
}
