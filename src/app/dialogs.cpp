#include "app/dialogs.h"

#include "app/version.h"

#include "report/previewwindow.h"

#include <QFileDialog>
#include <QMessageBox>

namespace app {

namespace {

// Boxes shown before the window is (for example during start-up) have no owner.
QWidget *owner(QWidget *parent)
{
    return parent && parent->isVisible() ? parent : nullptr;
}

void showBox(QWidget *parent, QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box(icon, QString::fromUtf8(version::applicationTitle), text, QMessageBox::Ok, owner(parent));
    box.exec();
}

} // namespace

QStringList QtDialogs::openFiles(QWidget *parent, const OpenDialog &dialog)
{
    QFileDialog fileDialog(parent, dialog.Title);
    fileDialog.setAcceptMode(QFileDialog::AcceptOpen);
    fileDialog.setFileMode(QFileDialog::ExistingFiles);
    // The descriptions already name their patterns: they are shown without Qt's "(patterns)".
    fileDialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = nameFilters(dialog.Filter);
    fileDialog.setNameFilters(filters);
    if (!filters.isEmpty())
        fileDialog.selectNameFilter(filters.first());
    fileDialog.setDefaultSuffix(dialog.DefaultExt);
    if (fileDialog.exec() != QDialog::Accepted)
        return {};
    return fileDialog.selectedFiles();
}

QStringList nameFilters(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns.simplified());
    }
    return filters;
}

void QtDialogs::message(QWidget *parent, const QString &text)
{
    showBox(parent, QMessageBox::NoIcon, text);
}

void QtDialogs::error(QWidget *parent, const QString &text)
{
    showBox(parent, QMessageBox::Critical, text);
}

void QtDialogs::preview(QWidget *parent, const report::Layout &layout)
{
    preview_ = new report::PreviewWindow(layout, parent);
    preview_->setSaveFormats(saveFormats_);
    report::showUntilClosed(preview_);
    delete preview_.data();
}

void QtDialogs::setSaveFormats(const QList<report::SaveFormat> &formats)
{
    saveFormats_ = formats;
}

void QtDialogs::closePreview()
{
    if (preview_)
        preview_->close();
}

// Dialogs a run without a window never shows: cancelled.
QString Dialogs::openFolder(QWidget *, const QString &)
{
    return {};
}

QString Dialogs::saveFile(QWidget *, const QString &, const QString &, const QString &)
{
    return {};
}

QString QtDialogs::openFolder(QWidget *parent, const QString &title)
{
    return QFileDialog::getExistingDirectory(parent, title);
}

QString QtDialogs::saveFile(QWidget *parent, const QString &title, const QString &filter, const QString &suggested)
{
    return QFileDialog::getSaveFileName(parent, title, suggested, filter);
}

} // namespace app
