#pragma once
// The command line: table files to put on the pick list, or a request for help or the version.
#include <QString>
#include <QStringList>

namespace app {

struct CommandLine {
    enum Action { Run, ExportPdf, ExportCsv, Help, Version, Invalid };
    Action action = Run;
    QStringList files;      // every other argument, in order; after "--" even those that look like options
    QString pdf;            // ExportPdf: the file to write the report to
    QString csv;            // ExportCsv: the file to write the records of the one table in `files` to
    QString problem;        // Invalid: what is wrong with the command line
};

// `arguments` without the program name. "-h", "--help" and "-?" ask for help, "-v" and
// "--version" for the version; the first of them wins. "--pdf OUT" builds the catalogue of the
// tables without a window and writes its report to OUT; "--csv OUT TABLE" writes the records
// of one table to OUT. A folder among the tables stands for the tables in it and below it.
CommandLine parseCommandLine(const QStringList &arguments);

QString helpText();
QString versionText();

} // namespace app
