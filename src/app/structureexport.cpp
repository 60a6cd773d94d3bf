#include "app/structureexport.h"

#include "app/headless.h"

#include "export/structure.h"
#include "report/cataloguejob.h"
#include "report/error.h"
#include "selection/picklist.h"

#include <QDir>

namespace app {

int exportStructure(const QString &output, const QStringList &files, const QList<int> &codePages,
                    QTextStream &errors)
{
    const std::string target = output.toStdString();
    const std::optional<exporter::Format> format = exporter::formatOf(target);
    if (!format) {
        errors << QStringLiteral("zorvik: не знаю, в каком виде записать «%1»: нужно расширение .html, .md, .json или .csv")
                      .arg(output)
               << Qt::endl;
        return exporter::NotWritten;
    }
    try {
        // The start-up and Do it's build, as the window and --pdf run them.
        ErrorStreamHost host(errors);
        report::CatalogueJob job;
        if (!job.open(host))
            return exporter::NotWritten;
        job.empty();
        const NamedTables named = namedTables(files, codePages, errors);
        // Each table is described and its text made on a second thread while the build reads the
        // next tables.
        exporter::BackgroundText text(*format);
        job.document(
            named.NameList, named.PathList, [&text](catalogue::Describing &&describe) { text.add(std::move(describe)); },
            {}, [&named](size_t i) { return named.codePageOf(i); });
        const std::vector<tables::TableInfo> described = text.finish();
        exporter::writeWhole(target, text.text().pieces());
        bool allClean = true;
        for (const tables::TableInfo &t : described) {
            if (!t.error.empty())
                errors << QString::fromStdString(t.error) << Qt::endl;
            else if (!t.findings.empty())
                errors << QStringLiteral("Файл «%1»: замечаний: %2").arg(QString::fromStdString(t.path)).arg(t.findings.size())
                       << Qt::endl;
            allClean = allClean && exporter::clean(t);
        }
        return allClean ? exporter::AllClean : exporter::SomeProblems;
    } catch (...) {
        errors << report::errorText(std::current_exception()) << Qt::endl;
        return exporter::NotWritten;
    }
}

} // namespace app
