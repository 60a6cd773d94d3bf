// Prints the file type Qt's MIME database (the one KDE's file managers use) gives each file named:
// "NAME TYPE" a line. Qt takes a file name that matches one pattern only at its word, without
// looking at the content, so this shows whether the patterns leave SQLite databases alone.
#include <QCoreApplication>
#include <QMimeDatabase>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    const QMimeDatabase types;
    for (const QString &file : QCoreApplication::arguments().mid(1))
        out << file << ' ' << types.mimeTypeForFile(file).name() << '\n';
    return 0;
}
