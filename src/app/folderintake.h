#pragma once
// Folders given to the window (dropped, chosen in the folder dialog, named on the command line)
// are searched for tables through selection::expandPaths; this is the window's side of it.
#include "selection/intake.h"

#include <QElapsedTimer>
#include <QStringList>

#include <chrono>
#include <memory>

class QProgressDialog;
class QWidget;

namespace app {

// Progress of one search: nothing while it ends within the delay; then a small modal window
// names the folder being searched and the tables found so far, with a Cancel button.
class IntakeProgress {
public:
    explicit IntakeProgress(QWidget *parent, std::chrono::milliseconds delay = std::chrono::milliseconds(500));
    ~IntakeProgress();
    IntakeProgress(const IntakeProgress &) = delete;
    IntakeProgress &operator=(const IntakeProgress &) = delete;

    // False once the user has pressed Cancel.
    bool operator()(const selection::IntakeProgress &state);
    const QProgressDialog *window() const { return dialog_.get(); }

private:
    QWidget *parent_;
    std::chrono::milliseconds delay_;
    QElapsedTimer clock_;
    std::unique_ptr<QProgressDialog> dialog_;
};

// Paths as the pick list holds them (UTF-8), and back.
std::vector<std::string> toPaths(const QStringList &paths);
QStringList fromPaths(const std::vector<std::string> &paths);

} // namespace app
