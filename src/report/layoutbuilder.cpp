#include "layoutbuilder.h"

#include "dataset.h"
#include "formats.h"
#include "layout_p.h"
#include "report.h"
#include "textmeasure_p.h"

#include <QHash>

#include <algorithm>
#include <optional>
#include <unordered_map>

namespace report {

namespace {
constexpr double fitTolerance = 1e-6;           // mm
constexpr qsizetype internedTextsLimit = 200000;  // beyond this, texts are stored without lookup

std::vector<FontDef> fontsOf(const Report &report)
{
    std::vector<FontDef> fonts{report.font};
    for (const auto &band : report.bands())
        for (const Element &e : band->elements)
            if (e.font && std::find(fonts.begin(), fonts.end(), *e.font) == fonts.end())
                fonts.push_back(*e.font);
    return fonts;
}
} // namespace

struct LayoutBuilder::Impl {
    Impl(const Report &report, const QDateTime &printed, const QLocale &locale)
        : report(report), printedText(printedDateTimeText(printed, locale)), measurer(fontsOf(report))
    {
        data = std::make_shared<LayoutData>();
        data->title = report.title;
        data->page = report.page;
        data->fonts = fontsOf(report);
        content = report.page.contentRectMm();
        interned.resize(data->fonts.size());
        for (const auto &band : report.bands())
            addTemplate(*band);
    }

    const Report &report;
    const QString printedText;
    const TextMeasurer measurer;
    std::shared_ptr<LayoutData> data;
    QRectF content;
    std::unordered_map<const Band *, quint16> templateOf;
    std::vector<QHash<QString, quint32>> interned;      // per font: text -> entry
    qsizetype internedCount = 0;

    double cursor = 0;          // top of the next band
    double bodyBottom = 0;      // where the page footer begins
    bool pageHasBody = false;   // a band other than title and column header is on the page

    quint16 fontIndex(const Element &e) const
    {
        const FontDef &def = e.font ? *e.font : report.font;
        return quint16(std::find(data->fonts.begin(), data->fonts.end(), def) - data->fonts.begin());
    }

    TextMeasurer::Fitted fit(const Element &e, quint16 font, const QString &text) const
    {
        const double available = e.autoSize ? content.width() - e.posMm.x() : e.widthMm;
        // A data text (a folder, a file name) is never broken into lines of which only the
        // first would show: one that does not fit is shortened in its middle instead.
        TextMeasurer::Fitted fitted = e.kind == ElementKind::DataText
            ? measurer.fitOneLine(font, text, available)
            : measurer.fit(font, text, available, e.heightMm, e.wordWrap);
        if (!e.autoSize)
            fitted.widthMm = std::max(0.0, e.widthMm);
        return fitted;
    }

    void addTemplate(const Band &band)
    {
        BandTemplate t;
        t.name = band.name;
        t.kind = band.kind;
        t.heightMm = band.heightMm;
        t.frame = band.frame;
        t.color = band.color;
        for (const Element &e : band.elements) {
            ElementTemplate et;
            et.name = e.name;
            et.kind = e.kind;
            et.leftMm = e.posMm.x();
            et.topMm = e.posMm.y();
            et.heightMm = e.heightMm;
            et.font = fontIndex(e);
            et.opaque = !e.transparent;
            if (e.kind == ElementKind::Label) {
                const TextMeasurer::Fitted fitted = fit(e, et.font, e.text);
                et.text = fitted.text;
                et.widthMm = fitted.widthMm;
            } else {
                ++t.dynamicCount;
            }
            t.elements.push_back(std::move(et));
        }
        templateOf.emplace(&band, quint16(data->templates.size()));
        data->templates.push_back(std::move(t));
    }

    quint32 textEntry(const Element &e, const QString &raw)
    {
        const quint16 font = fontIndex(e);
        auto found = interned[font].constFind(raw);
        if (found != interned[font].constEnd())
            return *found;
        const TextMeasurer::Fitted fitted = fit(e, font, raw);
        TextEntry entry;
        entry.offset = quint32(data->pool.size());
        entry.length = quint32(fitted.text.size());
        entry.widthMm = float(fitted.widthMm);
        data->pool += fitted.text;
        const quint32 index = quint32(data->texts.size());
        data->texts.push_back(entry);
        if (internedCount < internedTextsLimit) {
            interned[font].insert(raw, index);
            ++internedCount;
        }
        return index;
    }

    QString resolve(const Element &e, const DataSet *source) const
    {
        switch (e.kind) {
        case ElementKind::Label:
            return e.text;
        case ElementKind::DataText: {
            const DataSet *ds = e.dataSet ? e.dataSet : source;
            return ds && !ds->eof() ? ds->fieldText(e.column) : QString();
        }
        case ElementKind::SysData:
            return e.sysData == SysData::DateTime ? printedText : QString::number(data->pages.size());
        }
        return QString();
    }

    // Puts a band at the cursor, without looking at the room left.
    void put(const Band &band, const DataSet *source)
    {
        data->placed.push_back({templateOf.at(&band), float(cursor)});
        for (const Element &e : band.elements)
            if (e.kind != ElementKind::Label)
                data->slotTexts.push_back(textEntry(e, resolve(e, source)));
        cursor += band.heightMm;
    }

    void putWithChildren(const Band &band, const DataSet *source)
    {
        put(band, source);
        int depth = 0;
        for (const Band *c = band.child; c && depth < int(report.bands().size()); c = c->child, ++depth)
            put(*c, source);
    }

    // Puts a band where it fits, on a new page if the rest of this one is too short; then its
    // child bands in the same way.
    void place(const Band &band, const DataSet *source)
    {
        int depth = 0;
        for (const Band *b = &band; b && depth <= int(report.bands().size()); b = b->child, ++depth) {
            if (pageHasBody && cursor + b->heightMm > bodyBottom + fitTolerance) {
                endPage(false);
                startPage();
            }
            put(*b, source);
            pageHasBody = true;
        }
    }

    void startPage()
    {
        data->pages.push_back({quint32(data->placed.size()), quint32(data->slotTexts.size())});
        cursor = content.top();
        const Band *footer = report.band(BandKind::PageFooter);
        bodyBottom = content.bottom() - (footer ? footer->heightMm : 0.0);
        pageHasBody = false;
        if (data->pages.size() == 1)
            if (const Band *title = report.band(BandKind::Title))
                putWithChildren(*title, report.dataSet);
        if (const Band *header = report.band(BandKind::ColumnHeader))
            putWithChildren(*header, report.dataSet);
    }

    void endPage(bool last)
    {
        const Band *footer = report.band(BandKind::PageFooter);
        if (!footer || (last && !report.lastPageFooter))
            return;
        cursor = bodyBottom;
        putWithChildren(*footer, report.dataSet);
    }

    void runSubDetail(const Band &band)
    {
        DataSet *ds = band.dataSet;
        if (!ds)
            return;
        ds->first();
        if (ds->eof()) {
            if (!band.printIfEmpty)
                return;
            place(band, nullptr);
        } else {
            for (; !ds->eof(); ds->next())
                place(band, ds);
        }
        if (band.footer)
            place(*band.footer, nullptr);
    }

    Layout run()
    {
        startPage();
        const Band *detail = report.band(BandKind::Detail);
        std::vector<const Band *> subDetails;
        for (const auto &b : report.bands())
            if (b->kind == BandKind::SubDetail)
                subDetails.push_back(b.get());
        DataSet *master = report.dataSet;
        if (master)
            master->first();
        if (!master || master->eof()) {
            if (report.printIfEmpty && detail)
                place(*detail, nullptr);
        } else {
            for (; !master->eof(); master->next()) {
                if (detail)
                    place(*detail, master);
                for (const Band *sub : subDetails)
                    runSubDetail(*sub);
            }
        }
        endPage(true);
        data->placed.shrink_to_fit();
        data->slotTexts.shrink_to_fit();
        data->texts.shrink_to_fit();
        data->pool.squeeze();
        data->pages.shrink_to_fit();
        return Layout(std::move(data));
    }
};

LayoutBuilder::LayoutBuilder(const Report &report, const QDateTime &printed, const QLocale &locale)
    : d_(std::make_unique<Impl>(report, printed, locale))
{
}

LayoutBuilder::~LayoutBuilder() = default;

Layout LayoutBuilder::run()
{
    return d_->run();
}

Layout layOut(const Report &report, const QDateTime &printed, const QLocale &locale)
{
    return LayoutBuilder(report, printed, locale).run();
}

} // namespace report
