#pragma once
// The result of running a report: which band is on which page at which rectangle, in
// millimetres from the page's top-left corner, with its texts resolved and its elements sized.
// Painting (pagepainter.h), the PDF writer and the report file all read a Layout; none of them
// needs the report definition or its data sets any more.
//
// Storage is compact and independent of painting: one record per placed band (its band
// template and top) and one text index per data or system element, with the texts interned in
// one pool. A page is a range of those records, so reading a page touches only that page.
#include "band.h"
#include "element.h"
#include "fontdef.h"
#include "pagesetup.h"

#include <QColor>
#include <QRectF>
#include <QString>

#include <cstddef>
#include <memory>
#include <vector>

namespace report {

struct LayoutData;

struct PlacedElement {
    QString name;
    ElementKind kind = ElementKind::Label;
    QRectF rectMm;          // on the page
    QString text;           // as printed: the lines that fit, separated by '\n'
    FontDef font;
    bool opaque = true;     // the rectangle is filled white under the text
};

struct PlacedBand {
    QString name;
    BandKind kind = BandKind::Detail;
    QRectF rectMm;          // on the page
    Frame frame;
    QColor color;
    std::vector<PlacedElement> elements;
};

class Layout {
public:
    Layout();                                       // no pages
    explicit Layout(std::shared_ptr<const LayoutData> data);

    int pageCount() const;
    PageSetup pageSetup() const;
    QString title() const;
    // Pages are numbered from 0 here; the page numbers printed on them start at 1.
    std::vector<PlacedBand> page(int page) const;

    const LayoutData &data() const { return *d_; }

private:
    std::shared_ptr<const LayoutData> d_;
};

} // namespace report
