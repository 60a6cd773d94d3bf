#pragma once
// Text widths and word wrapping for the layout, measured at a fixed reference resolution so
// that a layout does not depend on the screen it was made on.
#include "fontdef.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QString>

#include <vector>

namespace report {

class TextMeasurer {
public:
    explicit TextMeasurer(const std::vector<FontDef> &fonts);

    struct Fitted {
        QString text;       // the lines shown, separated by '\n'
        double widthMm = 0; // the widest of them, at most the available width
    };
    // Fits text into an element at most availableMm wide and heightMm high: one line as wide as
    // the text if it fits; otherwise, with wordWrap, the lines (broken at words, or anywhere in a
    // word longer than a line) that fit in the height, at least the first.
    Fitted fit(int font, const QString &text, double availableMm, double heightMm, bool wordWrap) const;
    // Fits text on one line at most availableMm wide: whole if it fits, otherwise cut in the
    // middle with "…", keeping as much of its beginning and its end as the room allows.
    Fitted fitOneLine(int font, const QString &text, double availableMm) const;

private:
    QImage device_;
    std::vector<QFont> fonts_;
    std::vector<QFontMetricsF> metrics_;
};

} // namespace report
