#include "app/records.h"

#include "app/dialogs.h"
#include "tables/file.h"
#include "tables/recordsource.h"
#include "tables/table.h"

#include "app/version.h"

#include <QCoreApplication>
#include <QDir>
#include <QProgressDialog>

#include <cstdlib>

namespace app {

QString csvProblemText(const selection::CsvResult &result)
{
    if (result.problem.empty())
        return {};
    QString text = QStringLiteral("Записано записей: %1, но не всё удалось прочитать").arg(result.records);
    if (result.unreadable > 0)
        text += QStringLiteral(" (пустых значений: %1)").arg(result.unreadable);
    return text + QStringLiteral(": ") + withFullStop(QString::fromStdString(result.problem));
}

int exportCsv(const QString &csv, const QString &table, QTextStream &errors)
{
    try {
        const auto source = tables::openRecordSource(table.toStdString(), tables::ttDefault);
        const selection::CsvResult result = selection::saveCsv(*source, csv);
        if (result.problem.empty())
            return EXIT_SUCCESS;
        errors << csvProblemText(result) << Qt::endl;
        return kCsvIncomplete;
    } catch (...) {
        errors << errorText(std::current_exception()) << Qt::endl;
        return EXIT_FAILURE;
    }
}

CsvProgressWindow::CsvProgressWindow(QWidget *parent) : parent_(parent)
{
    clock_.start();
}

CsvProgressWindow::~CsvProgressWindow() = default;

bool CsvProgressWindow::operator()(int64_t done, int64_t total)
{
    if (!dialog_) {
        if (clock_.elapsed() < 500)
            return true;
        dialog_ = std::make_unique<QProgressDialog>(QString(), QStringLiteral("Отмена"), 0, 1000, parent_);
        dialog_->setWindowTitle(QString::fromUtf8(version::applicationTitle));
        dialog_->setWindowModality(Qt::ApplicationModal);
        dialog_->setMinimumDuration(0);
        dialog_->show();
    }
    dialog_->setValue(total > 0 ? int(done * 1000 / total) : 0);
    dialog_->setLabelText(QStringLiteral("Записано записей: %1 из %2").arg(done).arg(total));
    QCoreApplication::processEvents();
    return !dialog_->wasCanceled();
}

QString suggestedCsvName(const tables::Table &table)
{
    const tables::PathParts parts = tables::splitPath(table.DatabaseName + table.TableName);
    return QString::fromStdString(table.DatabaseName + parts.stem + ".csv");
}

} // namespace app
