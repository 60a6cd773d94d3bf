#pragma once
// The four catalogue files as shipped, made once per test run as mkcatalogue makes them: never
// the source tree's Data/, which a run of the tool there may have filled.
#include "catalogue/catalogue.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

inline const QStringList catalogueFiles{"ZORMain.dbf", "ZORMAIN.MDX", "ZORDet.dbf", "ZORDET.MDX"};

// The folder holding them, with a trailing slash.
inline QString shippedCatalogue()
{
    static QTemporaryDir made;
    static const bool written = [] {
        catalogue::createFiles(made.path().toStdString());
        return true;
    }();
    (void)written;
    return made.path() + '/';
}
