#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// A library that Korrin's programs may link, with its licence as an SPDX
// expression and the file names its shared objects start with.
struct LibraryLicence
{
    QString name;
    QString licence;
    QStringList fileNamePrefixes;
};

// Every library the programs link, beyond the C and C++ runtime.
const QVector<LibraryLicence> &knownLibraries();

// The file names (without folder) of the shared objects loaded into this
// process.
QStringList loadedSharedObjects();

// The entries of knownLibraries() of which a shared object is loaded.
QVector<LibraryLicence> librariesInUse(const QStringList &sharedObjects);

// The body of the About box: version, Korrin's licence and the licences of
// the libraries this process runs with.
QString aboutText(const QString &version);
