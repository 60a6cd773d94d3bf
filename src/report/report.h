#pragma once
// A report definition: page setup, default font, the data set it runs over and its bands.
// Running it (layOut) walks the data sets and places the bands on pages; see layout.h.
#include "band.h"
#include "fontdef.h"
#include "pagesetup.h"

#include <QString>

#include <memory>
#include <vector>

namespace report {

class DataSet;

class Report {
public:
    explicit Report(const QString &name = QString()) : name(name) {}
    Report(Report &&) = default;
    Report &operator=(Report &&) = default;

    QString name;
    QString title;                      // the document title (PDF metadata, preview caption)
    PageSetup page;
    FontDef font;                      // for elements without a font of their own
    DataSet *dataSet = nullptr;         // the detail band runs once per row of it
    bool printIfEmpty = true;           // no rows: the detail band still prints once, its data texts empty
    bool lastPageFooter = true;         // the page footer prints on the last page too

    // Adds a band; the report owns it and it stays at its address for the report's life.
    Band *addBand(BandKind kind, const QString &name, double heightMm);
    // The bands in the order they were added.
    const std::vector<std::unique_ptr<Band>> &bands() const { return bands_; }
    // The first band of a kind, or null.
    Band *band(BandKind kind) const;

private:
    std::vector<std::unique_ptr<Band>> bands_;
};

} // namespace report
