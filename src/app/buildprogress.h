#pragma once
// Progress of one catalogue build, passed to catalogue::build. A build that ends within the
// delay shows nothing. Once the delay has passed, a small window says which table is being
// read and how many of how many, and each call lets the windows repaint; user input waits
// until the build is over, so nothing can start inside it.
#include <QElapsedTimer>
#include <QProgressDialog>

#include <chrono>
#include <memory>
#include <string>

class QWidget;

namespace app {

class BuildProgress {
public:
    explicit BuildProgress(QWidget *parent, std::chrono::milliseconds delay = std::chrono::seconds(1));
    ~BuildProgress();
    BuildProgress(const BuildProgress &) = delete;
    BuildProgress &operator=(const BuildProgress &) = delete;

    // Called before table `index` (0-based) of `count` is read.
    void operator()(int index, int count, const std::string &name);

    // The progress window, once the delay has passed; null before.
    const QProgressDialog *window() const { return dialog_.get(); }

    // A build is reading tables now (it lets the windows repaint, so drops can arrive meanwhile).
    static bool running() { return running_ > 0; }

private:
    QWidget *parent_;
    std::chrono::milliseconds delay_;
    QElapsedTimer clock_;
    std::unique_ptr<QProgressDialog> dialog_;
    static inline int running_ = 0;
};

} // namespace app
