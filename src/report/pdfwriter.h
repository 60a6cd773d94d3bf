#pragma once
// Writing a laid-out report as a PDF document.
#include <QString>

namespace report {

class Layout;

// Writes all pages of the layout to a PDF file at path, replacing it (the old file stays if
// writing fails). Throws Error naming the file when it cannot be written.
void writePdf(const Layout &layout, const QString &path);

} // namespace report
