#pragma once

#include <QString>

// The options file is an INI file at an explicit path. Every access opens
// its own settings object and closes it again, so nothing is cached between
// calls and every write reaches the disk before the call returns.

// The value of group/key as text, or defaultValue when the key is absent.
QString readSetting(const QString &path, const QString &group, const QString &key,
                    const QString &defaultValue);

// Stores value as text under group/key; the file and its folder are created
// on the first write.
void writeSetting(const QString &path, const QString &group, const QString &key,
                  const QString &value);
