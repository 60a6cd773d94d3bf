#pragma once
// The command line: table files to put on the pick list, or a request for help or the version.
#include <QList>
#include <QString>
#include <QStringList>

namespace app {

struct CommandLine {
    enum Action { Run, ExportPdf, ExportStructure, ExportCsv, Help, Version, Invalid };
    Action action = Run;
    QStringList files;      // every other argument, in order; after "--" even those that look like options
    QList<int> codePages;   // for each of `files`, the code page the last --codepage before it chose (0: none)
    QString pdf;            // ExportPdf: the file to write the report to
    QString csv;            // ExportCsv: the file to write the records of the one table in `files` to
    QString exportFile;     // ExportStructure: the file to write the tables' structure to
    bool open = false;      // "--open": the files come from the desktop ("Open with"), as a confirmed Add
    QString problem;        // Invalid: what is wrong with the command line
};

// `arguments` without the program name. "-h", "--help" and "-?" ask for help, "-v" and
// "--version" for the version; the first of them wins. "--pdf OUT" builds the catalogue of the
// tables without a window and writes its report to OUT; "--export OUT" writes the tables'
// complete structure to OUT instead; "--csv OUT TABLE" writes the records of one table to OUT.
// A folder among the tables stands for the tables in it and below it. "--codepage CP" sets the code page of every table named
// after it ("auto" goes back to the tables' own). "--open" takes the files as the desktop hands
// them over (a file manager's "Open with"): on the list as if picked with Add.
CommandLine parseCommandLine(const QStringList &arguments);

QString helpText();
QString versionText();

} // namespace app
