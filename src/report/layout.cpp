#include "layout.h"

#include "layout_p.h"

#include <cmath>

namespace report {

quint32 LayoutData::bandEnd(int page) const
{
    return page + 1 < int(pages.size()) ? pages[page + 1].firstBand : quint32(placed.size());
}

quint32 LayoutData::textEnd(int page) const
{
    return page + 1 < int(pages.size()) ? pages[page + 1].firstText : quint32(slotTexts.size());
}

static bool finiteIn(double v, double lo, double hi)
{
    return std::isfinite(v) && v >= lo && v <= hi;
}

QString LayoutData::problem() const
{
    const QSizeF size = page.pageSizeMm();
    if (!finiteIn(size.width(), 1, 10000) || !finiteIn(size.height(), 1, 10000))
        return QStringLiteral("недопустимый размер страницы");
    const QMarginsF m = page.marginsMm;
    if (!finiteIn(m.left(), 0, size.width()) || !finiteIn(m.right(), 0, size.width())
        || !finiteIn(m.top(), 0, size.height()) || !finiteIn(m.bottom(), 0, size.height()))
        return QStringLiteral("недопустимые поля страницы");
    if (fonts.empty() || fonts.size() > 0xFFFF || templates.size() > 0xFFFF)
        return QStringLiteral("недопустимое число шрифтов или полос");
    for (const FontDef &f : fonts)
        if (!finiteIn(f.pointSize, 1, 1000))
            return QStringLiteral("недопустимый размер шрифта");
    for (const BandTemplate &b : templates) {
        if (!finiteIn(b.heightMm, 0, size.height()) || !finiteIn(b.frame.widthMm, 0, 100))
            return QStringLiteral("недопустимые размеры полосы «%1»").arg(b.name);
        int dynamic = 0;
        for (const ElementTemplate &e : b.elements) {
            if (e.font >= fonts.size())
                return QStringLiteral("элемент «%1» ссылается на несуществующий шрифт").arg(e.name);
            if (!finiteIn(e.leftMm, -size.width(), size.width()) || !finiteIn(e.topMm, -size.height(), size.height())
                || !finiteIn(e.heightMm, 0, size.height()) || !finiteIn(e.widthMm, 0, size.width()))
                return QStringLiteral("недопустимые размеры элемента «%1»").arg(e.name);
            dynamic += e.dynamic() ? 1 : 0;
        }
        if (dynamic != b.dynamicCount)
            return QStringLiteral("неверное число данных полосы «%1»").arg(b.name);
    }
    for (const TextEntry &t : texts)
        if (t.offset > quint32(pool.size()) || t.length > quint32(pool.size()) - t.offset
            || !finiteIn(t.widthMm, 0, size.width()))
            return QStringLiteral("текст выходит за пределы данных");
    for (quint32 t : slotTexts)
        if (t >= texts.size())
            return QStringLiteral("ссылка на несуществующий текст");
    if (pages.empty() ? !placed.empty() || !slotTexts.empty()
                      : pages.front().firstBand != 0 || pages.front().firstText != 0)
        return QStringLiteral("неверное начало страниц");
    for (int p = 0; p < int(pages.size()); ++p) {
        const quint32 first = pages[p].firstBand, end = bandEnd(p);
        if (end < first || end > placed.size() || textEnd(p) < pages[p].firstText
            || textEnd(p) > slotTexts.size())
            return QStringLiteral("неверные границы страницы %1").arg(p + 1);
        quint64 needed = 0;
        for (quint32 i = first; i < end; ++i) {
            const BandSlot &s = placed[i];
            if (s.band >= templates.size() || !finiteIn(s.topMm, -size.height(), size.height()))
                return QStringLiteral("неверная полоса на странице %1").arg(p + 1);
            needed += templates[s.band].dynamicCount;
        }
        if (needed != textEnd(p) - pages[p].firstText)
            return QStringLiteral("неверное число текстов на странице %1").arg(p + 1);
    }
    return QString();
}

static std::shared_ptr<const LayoutData> emptyLayout()
{
    auto data = std::make_shared<LayoutData>();
    data->fonts.push_back(FontDef());
    return data;
}

Layout::Layout()
    : d_(emptyLayout())
{
}

Layout::Layout(std::shared_ptr<const LayoutData> data)
    : d_(std::move(data))
{
}

int Layout::pageCount() const
{
    return int(d_->pages.size());
}

PageSetup Layout::pageSetup() const
{
    return d_->page;
}

QString Layout::title() const
{
    return d_->title;
}

std::vector<PlacedBand> Layout::page(int page) const
{
    std::vector<PlacedBand> result;
    if (page < 0 || page >= pageCount())
        return result;
    const LayoutData &data = *d_;
    const QRectF content = data.page.contentRectMm();
    quint32 text = data.pages[page].firstText;
    const quint32 end = data.bandEnd(page);
    result.reserve(end - data.pages[page].firstBand);
    for (quint32 i = data.pages[page].firstBand; i < end; ++i) {
        const BandSlot &slot = data.placed[i];
        const BandTemplate &t = data.templates[slot.band];
        PlacedBand &band = result.emplace_back();
        band.name = t.name;
        band.kind = t.kind;
        band.rectMm = QRectF(content.left(), slot.topMm, content.width(), t.heightMm);
        band.frame = t.frame;
        band.color = t.color;
        band.elements.reserve(t.elements.size());
        for (const ElementTemplate &et : t.elements) {
            PlacedElement &e = band.elements.emplace_back();
            e.name = et.name;
            e.kind = et.kind;
            e.font = data.fonts[et.font];
            e.opaque = et.opaque;
            double width = et.widthMm;
            if (et.dynamic()) {
                const TextEntry &entry = data.texts[data.slotTexts[text++]];
                e.text = data.pool.mid(entry.offset, entry.length);
                width = entry.widthMm;
            } else {
                e.text = et.text;
            }
            e.rectMm = QRectF(band.rectMm.left() + et.leftMm, band.rectMm.top() + et.topMm, width, et.heightMm);
        }
    }
    return result;
}

} // namespace report
