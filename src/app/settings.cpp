#include "settings.h"

#include <QSettings>

QString readSetting(const QString &path, const QString &group, const QString &key,
                    const QString &defaultValue)
{
    const QSettings settings(path, QSettings::IniFormat);
    return settings.value(group + QLatin1Char('/') + key, defaultValue).toString();
}

void writeSetting(const QString &path, const QString &group, const QString &key,
                  const QString &value)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(group);
    settings.setValue(key, value);
    settings.endGroup();
}
