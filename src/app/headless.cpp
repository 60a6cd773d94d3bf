#include "app/headless.h"

#include "app/locale.h"
#include "report/cataloguejob.h"
#include "report/error.h"
#include "report/pdfwriter.h"
#include "selection/intake.h"
#include "selection/picklist.h"

#include <QDateTime>
#include <QDir>

#include <cstdlib>
#include <string>
#include <vector>

namespace app {

NamedTables namedTables(const QStringList &files, const QList<int> &codePages, QTextStream &errors)
{
    // What was skipped is said, but the report or export is made all the same.
    std::vector<std::string> named;
    for (const QString &file : files)
        named.push_back(file.toStdString());
    const selection::Intake intake = selection::expandPaths(named);
    for (const std::string &note : intake.notes)
        errors << QString::fromStdString(note) << Qt::endl;
    NamedTables out;
    for (size_t i = 0; i < intake.paths.size(); ++i) {
        selection::appendPath(QDir::toNativeSeparators(QString::fromStdString(intake.paths[i])).toStdString(), out.NameList,
                              out.PathList, [](const std::string &) {});
        const qsizetype from = qsizetype(intake.named[i]);
        out.codePages.push_back(from < codePages.size() ? codePages[from] : 0);
    }
    return out;
}

int exportPdf(const QString &pdf, const QStringList &files, QTextStream &errors, const QList<int> &codePages)
{
    ErrorStreamHost host(errors);
    try {
        report::CatalogueJob job;
        if (!job.open(host))
            return EXIT_FAILURE;
        job.empty();
        const NamedTables named = namedTables(files, codePages, errors);
        report::writePdf(job.build(named.NameList, named.PathList, {}, QDateTime::currentDateTime(), userLocale(),
                                   [&named](size_t i) { return named.codePageOf(i); }),
                         pdf);
    } catch (...) {
        errors << report::errorText(std::current_exception()) << Qt::endl;
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}

} // namespace app
