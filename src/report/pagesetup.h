#pragma once
// Paper, orientation and margins of a report, in millimetres.
#include <QMarginsF>
#include <QPageLayout>
#include <QRectF>
#include <QSizeF>

namespace report {

enum class Orientation : quint8 { Portrait, Landscape };

struct PageSetup {
    QSizeF paperMm{210.0, 297.0};          // the sheet held upright (width <= height): A4
    Orientation orientation = Orientation::Portrait;
    QMarginsF marginsMm{10.0, 10.0, 10.0, 10.0};

    // The sheet as printed: width and height swapped for landscape.
    QSizeF pageSizeMm() const;
    // The area between the margins; bands are as wide as it.
    QRectF contentRectMm() const;
    // The same paper and orientation for a paint device, with no margins of its own (the report
    // keeps its margins itself).
    QPageLayout pageLayout() const;

    bool operator==(const PageSetup &) const = default;
};

} // namespace report
