#include "abouttext.h"

#include "application.h"
#include "korrinversion.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <link.h>

#include <algorithm>

const QVector<LibraryLicence> &knownLibraries()
{
    static const QVector<LibraryLicence> libraries{
        {QStringLiteral("Qt %1").arg(QString::fromLatin1(qVersion())), QStringLiteral("LGPL-3.0"),
         {QStringLiteral("libQt5")}},
        {QStringLiteral("libgsf"), QStringLiteral("LGPL-2.1"), {QStringLiteral("libgsf-1.so")}},
        {QStringLiteral("GLib"), QStringLiteral("LGPL-2.1-or-later"),
         {QStringLiteral("libglib-2.0.so"), QStringLiteral("libgobject-2.0.so")}},
        {QStringLiteral("libxlsxwriter"), QStringLiteral("BSD-2-Clause"), {QStringLiteral("libxlsxwriter.so")}},
        {QStringLiteral("libzip"), QStringLiteral("BSD-3-Clause"), {QStringLiteral("libzip.so")}},
        {QStringLiteral("libdeflate"), QStringLiteral("MIT"), {QStringLiteral("libdeflate.so")}},
        {QStringLiteral("zlib"), QStringLiteral("Zlib"), {QStringLiteral("libz.so")}},
    };
    return libraries;
}

namespace {

int collectObject(dl_phdr_info *info, size_t, void *data)
{
    if (info->dlpi_name && *info->dlpi_name)
        static_cast<QStringList *>(data)->append(QFileInfo(QString::fromLocal8Bit(info->dlpi_name)).fileName());
    return 0;
}

} // namespace

QStringList loadedSharedObjects()
{
    QStringList objects;
    dl_iterate_phdr(collectObject, &objects);
    return objects;
}

QVector<LibraryLicence> librariesInUse(const QStringList &sharedObjects)
{
    QVector<LibraryLicence> used;
    for (const LibraryLicence &library : knownLibraries()) {
        const bool loaded = std::any_of(sharedObjects.begin(), sharedObjects.end(), [&](const QString &object) {
            return std::any_of(library.fileNamePrefixes.begin(), library.fileNamePrefixes.end(),
                               [&](const QString &prefix) { return object.startsWith(prefix); });
        });
        if (loaded)
            used.append(library);
    }
    return used;
}

QString aboutText(const QString &version)
{
    const auto tr = [](const char *text) { return QCoreApplication::translate("MainWindow", text); };
    QString text = tr("Korrin V%1\n"
                      "Excel 工作簿批量文本替换工具，无需安装 Excel。\n\n"
                      "许可证：%2\n\n"
                      "使用的程序库及其许可证：")
                       .arg(version, QStringLiteral(KORRIN_LICENSE));
    Excel::loadEngineLibraries();
    for (const LibraryLicence &library : librariesInUse(loadedSharedObjects()))
        text += QStringLiteral("\n    %1：%2").arg(library.name, library.licence);
    return text;
}
