#pragma once
// A font as a report definition names it: family, size in points and style.
#include <QFont>
#include <QString>

namespace report {

struct FontDef {
    QString family = QStringLiteral("Arial");   // fontconfig maps Arial to Liberation Sans
    double pointSize = 10.0;                      // 10 pt = 13 px at 96 dpi
    bool bold = false;
    bool italic = false;
    bool underline = false;

    // The QFont for this definition at its own point size, unhinted so that text widths scale
    // linearly between the layout's reference resolution, the screen and the printer.
    QFont toQFont() const;

    bool operator==(const FontDef &) const = default;
};

} // namespace report
