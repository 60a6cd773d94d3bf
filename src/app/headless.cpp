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

namespace {

// The catalogue's messages, as the boxes would say them, on the error stream.
class ErrorStreamHost final : public catalogue::Host {
public:
    explicit ErrorStreamHost(QTextStream &errors) : errors_(errors) {}
    void showMessage(const std::string &text) override { errors_ << QString::fromStdString(text) << Qt::endl; }
    void terminate() override {}

private:
    QTextStream &errors_;
};

} // namespace

int exportPdf(const QString &pdf, const QStringList &files, QTextStream &errors)
{
    ErrorStreamHost host(errors);
    try {
        report::CatalogueJob job;
        if (!job.open(host))
            return EXIT_FAILURE;
        job.empty();
        // Folders named are searched; what was skipped is said, but the report is made all the same.
        std::vector<std::string> named;
        for (const QString &file : files)
            named.push_back(file.toStdString());
        const selection::Intake intake = selection::expandPaths(named);
        for (const std::string &note : intake.notes)
            errors << QString::fromStdString(note) << Qt::endl;
        std::vector<std::string> NameList, PathList;
        for (const std::string &path : intake.paths)
            selection::appendPath(QDir::toNativeSeparators(QString::fromStdString(path)).toStdString(), NameList, PathList,
                                  [](const std::string &) {});
        report::writePdf(job.build(NameList, PathList, {}, QDateTime::currentDateTime(), userLocale()), pdf);
    } catch (...) {
        errors << report::errorText(std::current_exception()) << Qt::endl;
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}

} // namespace app
