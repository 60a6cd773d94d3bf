#pragma once
// The command line: table files to put on the pick list, or a request for help or the version.
#include <QString>
#include <QStringList>

namespace app {

struct CommandLine {
    enum Action { Run, Help, Version };
    Action action = Run;
    QStringList files;      // every other argument, in order; after "--" even those that look like options
};

// `arguments` without the program name. "-h", "--help" and "-?" ask for help, "-v" and
// "--version" for the version; the first of them wins.
CommandLine parseCommandLine(const QStringList &arguments);

QString helpText();
QString versionText();

} // namespace app
