#pragma once
// zorvik --export: the catalogue built as Do it builds it, and the complete structure of the
// tables written to a file in the format its extension names, without a window.
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace app {

// Builds the catalogue of `files` (each read in the code page at the same position of
// `codePages`, 0 = as the table says) and writes their structure to `output`. A table that
// cannot be read is documented with its error and the export goes on; each such table and each
// table with findings is named on `errors`. Returns exporter::Status: 0 every table read cleanly,
// 1 the file was written but some tables failed or have findings, 2 nothing was written (an
// unknown format, the catalogue could not be opened, the file could not be written).
int exportStructure(const QString &output, const QStringList &files, const QList<int> &codePages,
                    QTextStream &errors);

} // namespace app
