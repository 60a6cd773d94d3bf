#include "report.h"

namespace report {

Band *Report::addBand(BandKind kind, const QString &name, double heightMm)
{
    return m_bands.emplace_back(std::make_unique<Band>(kind, name, heightMm)).get();
}

Band *Report::band(BandKind kind) const
{
    for (const auto &b : m_bands)
        if (b->kind == kind)
            return b.get();
    return nullptr;
}

Band *Report::band(const QString &name) const
{
    for (const auto &b : m_bands)
        if (b->name == name)
            return b.get();
    return nullptr;
}

} // namespace report
