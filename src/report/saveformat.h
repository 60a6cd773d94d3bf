#pragma once
// A further format the preview's Save offers beside the report file and PDF: its name filter
// ("Страница HTML (*.html)"), its suffix without the dot, and what writes a file of it.
#include <QString>

#include <functional>

namespace report {

struct SaveFormat {
    QString filter;
    QString suffix;
    std::function<void(const QString &path)> write;
};

} // namespace report
