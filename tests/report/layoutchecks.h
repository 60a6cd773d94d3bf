#pragma once
// Finding placed bands and elements by name in a laid-out report, for checks.
#include "report/layout.h"

#include <QString>

#include <vector>

namespace reporttest {

// The placed bands of `page` (from 0) with that name, in order.
inline std::vector<report::PlacedBand> bandsNamed(const report::Layout &layout, int page, const QString &name)
{
    std::vector<report::PlacedBand> named;
    for (report::PlacedBand &b : layout.page(page))
        if (b.name == name)
            named.push_back(std::move(b));
    return named;
}

// The element of that name in a placed band, or null.
inline const report::PlacedElement *elementNamed(const report::PlacedBand &band, const QString &name)
{
    for (const report::PlacedElement &e : band.elements)
        if (e.name == name)
            return &e;
    return nullptr;
}

} // namespace reporttest
