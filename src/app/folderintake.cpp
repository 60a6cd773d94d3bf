#include "app/folderintake.h"

#include "app/version.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace app {

IntakeProgress::IntakeProgress(QWidget *parent, std::chrono::milliseconds delay) : parent_(parent), delay_(delay)
{
    clock_.start();
}

IntakeProgress::~IntakeProgress() = default;

bool IntakeProgress::operator()(const selection::IntakeProgress &state)
{
    if (!dialog_) {
        if (clock_.elapsed() < delay_.count())
            return true;
        dialog_ = std::make_unique<QProgressDialog>(QString(), QStringLiteral("Отмена"), 0, 0, parent_);
        dialog_->setWindowTitle(QString::fromUtf8(version::applicationTitle));
        dialog_->setWindowModality(Qt::ApplicationModal);
        dialog_->setMinimumDuration(0);
        dialog_->setAutoReset(false);
        dialog_->setAutoClose(false);
        dialog_->show();
    }
    dialog_->setLabelText(QStringLiteral("Поиск таблиц: найдено %1, просмотрено папок %2\n%3")
                              .arg(state.tables)
                              .arg(state.folders)
                              .arg(QString::fromStdString(state.folder)));
    // The window is modal: only it takes input while the search runs.
    QCoreApplication::processEvents();
    return !dialog_->wasCanceled();
}

std::vector<std::string> toPaths(const QStringList &paths)
{
    std::vector<std::string> out;
    out.reserve(size_t(paths.size()));
    for (const QString &path : paths)
        out.push_back(path.toStdString());
    return out;
}

QStringList fromPaths(const std::vector<std::string> &paths)
{
    QStringList out;
    out.reserve(qsizetype(paths.size()));
    for (const std::string &path : paths)
        out << QString::fromStdString(path);
    return out;
}

} // namespace app
