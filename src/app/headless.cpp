#include "app/headless.h"

#include "app/locale.h"
#include "report/cataloguejob.h"
#include "report/error.h"
#include "report/pdfwriter.h"
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

int exportPdf(const QString &pdf, const QStringList &files, QTextStream &errors, const QList<int> &codePages)
{
    ErrorStreamHost host(errors);
    try {
        report::CatalogueJob job;
        if (!job.open(host))
            return EXIT_FAILURE;
        job.empty();
        std::vector<std::string> NameList, PathList;
        for (const QString &file : files)
            selection::appendPath(QDir::toNativeSeparators(file).toStdString(), NameList, PathList, [](const std::string &) {});
        report::writePdf(job.build(NameList, PathList, {}, QDateTime::currentDateTime(), userLocale(),
                                   [&codePages](size_t i) { return i < size_t(codePages.size()) ? codePages[qsizetype(i)] : 0; }),
                         pdf);
    } catch (...) {
        errors << report::errorText(std::current_exception()) << Qt::endl;
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}

} // namespace app
