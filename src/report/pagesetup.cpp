#include "pagesetup.h"

#include <QPageSize>

namespace report {

QSizeF PageSetup::pageSizeMm() const
{
    const QSizeF upright(qMin(paperMm.width(), paperMm.height()), qMax(paperMm.width(), paperMm.height()));
    return orientation == Orientation::Portrait ? upright : upright.transposed();
}

QRectF PageSetup::contentRectMm() const
{
    return QRectF(QPointF(0, 0), pageSizeMm()).marginsRemoved(marginsMm);
}

QPageLayout PageSetup::pageLayout() const
{
    const QSizeF upright(qMin(paperMm.width(), paperMm.height()), qMax(paperMm.width(), paperMm.height()));
    return QPageLayout(QPageSize(upright, QPageSize::Millimeter),
                       orientation == Orientation::Portrait ? QPageLayout::Portrait : QPageLayout::Landscape,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

} // namespace report
