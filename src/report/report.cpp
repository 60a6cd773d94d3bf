#include "report.h"

namespace report {

Band *Report::addBand(BandKind kind, const QString &name, double heightMm)
{
    return bands_.emplace_back(std::make_unique<Band>(kind, name, heightMm)).get();
}

Band *Report::band(BandKind kind) const
{
    for (const auto &b : bands_)
        if (b->kind == kind)
            return b.get();
    return nullptr;
}

} // namespace report
