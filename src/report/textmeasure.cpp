#include "textmeasure_p.h"

#include <QTextLayout>

#include <algorithm>

namespace report {

namespace {
constexpr double referenceDpi = 1200.0;
constexpr double mmPerPixel = 25.4 / referenceDpi;
constexpr double tolerance = 1e-3;     // mm

QString withoutTrailingSpace(QStringView s)
{
    while (!s.isEmpty() && s.back().isSpace())
        s.chop(1);
    return s.toString();
}
} // namespace

TextMeasurer::TextMeasurer(const std::vector<FontDef> &fonts)
    : device_(1, 1, QImage::Format_ARGB32)
{
    const int dotsPerMeter = qRound(referenceDpi / 0.0254);
    device_.setDotsPerMeterX(dotsPerMeter);
    device_.setDotsPerMeterY(dotsPerMeter);
    fonts_.reserve(fonts.size());
    metrics_.reserve(fonts.size());
    for (const FontDef &def : fonts) {
        fonts_.push_back(def.toQFont());
        metrics_.emplace_back(fonts_.back(), &device_);
    }
}

TextMeasurer::Fitted TextMeasurer::fitOneLine(int font, const QString &text, double availableMm) const
{
    availableMm = std::max(0.0, availableMm);
    const QFontMetricsF &fm = metrics_[font];
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (fm.horizontalAdvance(line) * mmPerPixel > availableMm + tolerance)
        line = fm.elidedText(line, Qt::ElideMiddle, availableMm / mmPerPixel);
    return {line, std::min(fm.horizontalAdvance(line) * mmPerPixel, availableMm)};
}

TextMeasurer::Fitted TextMeasurer::fit(int font, const QString &text, double availableMm, double heightMm,
                                       bool wordWrap) const
{
    availableMm = std::max(0.0, availableMm);
    if (text.isEmpty())
        return {};
    const QFontMetricsF &fm = metrics_[font];
    const bool multiLine = text.contains(QLatin1Char('\n'));
    if (!multiLine) {
        const double width = fm.horizontalAdvance(text) * mmPerPixel;
        if (width <= availableMm + tolerance || !wordWrap)
            return {text, std::min(width, availableMm)};
    }

    const double lineHeight = fm.height() * mmPerPixel;
    const double lineSpacing = fm.lineSpacing() * mmPerPixel;
    QTextOption option;
    option.setWrapMode(wordWrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    Fitted result;
    int lines = 0;
    const QStringList paragraphs = text.split(QLatin1Char('\n'));
    for (const QString &paragraph : paragraphs) {
        QTextLayout layout(paragraph, fonts_[font], &device_);
        layout.setTextOption(option);
        layout.beginLayout();
        bool full = false;
        for (;;) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(availableMm / mmPerPixel);
            if (lines > 0 && lines * lineSpacing + lineHeight > heightMm + tolerance) {
                full = true;
                break;
            }
            if (lines > 0)
                result.text += QLatin1Char('\n');
            result.text += withoutTrailingSpace(QStringView(paragraph).mid(line.textStart(), line.textLength()));
            result.widthMm = std::max(result.widthMm, std::min(line.naturalTextWidth() * mmPerPixel, availableMm));
            ++lines;
        }
        layout.endLayout();
        if (full)
            break;
    }
    return result;
}

} // namespace report
