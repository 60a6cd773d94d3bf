#include "app/buildprogress.h"

#include "app/version.h"

#include <QCoreApplication>

namespace app {

BuildProgress::BuildProgress(QWidget *parent, std::chrono::milliseconds delay) : parent_(parent), delay_(delay)
{
    clock_.start();
    ++running_;
}

BuildProgress::~BuildProgress()
{
    --running_;
}

void BuildProgress::operator()(int index, int count, const std::string &name)
{
    if (!dialog_) {
        if (clock_.elapsed() < delay_.count())
            return;
        // No cancel button: a build stops only where it fails.
        dialog_ = std::make_unique<QProgressDialog>(QString(), QString(), 0, count, parent_);
        dialog_->setWindowTitle(QString::fromUtf8(version::applicationTitle));
        dialog_->show();
    }
    dialog_->setMaximum(count);
    dialog_->setValue(index);
    dialog_->setLabelText(QStringLiteral("Таблица %1 из %2: %3").arg(index + 1).arg(count).arg(QString::fromStdString(name)));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace app
