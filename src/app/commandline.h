#pragma once
// The command line: table files to put on the pick list, or a request for help or the version.
#include <QString>
#include <QStringList>

namespace app {

struct CommandLine {
    enum Action { Run, ExportPdf, Help, Version, Invalid };
    Action action = Run;
    QStringList files;      // every other argument, in order; after "--" even those that look like options
    QString pdf;            // ExportPdf: the file to write the report to
    QString problem;        // Invalid: what is wrong with the command line
};

// `arguments` without the program name. "-h", "--help" and "-?" ask for help, "-v" and
// "--version" for the version; the first of them wins. "--pdf OUT" builds the catalogue of the
// tables without a window and writes its report to OUT.
CommandLine parseCommandLine(const QStringList &arguments);

QString helpText();
QString versionText();

} // namespace app
