#include "app/datagrid.h"

#include "selection/tablemodel.h"
#include "selection/valueformatter.h"

#include <QPainter>
#include <QPolygonF>
#include <QStyleOptionHeader>
#include <QTableView>

#include <algorithm>

namespace app {

RowIndicator::RowIndicator(QTableView *grid)
    : QHeaderView(Qt::Vertical, grid), grid_(grid)
{
    grid->setVerticalHeader(this);
    setSectionsClickable(false);
    setHighlightSections(false);
    auto repaint = [this] { viewport()->update(); };
    connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this, repaint);
    connect(grid->model(), &QAbstractItemModel::modelReset, this, repaint);
}

int RowIndicator::markedRow() const
{
    const QModelIndex current = grid_->currentIndex();
    if (current.isValid())
        return current.row();
    return grid_->model() && grid_->model()->rowCount() > 0 ? 0 : -1;
}

QSize RowIndicator::sizeHint() const
{
    return {Width, QHeaderView::sizeHint().height()};
}

void RowIndicator::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    // The section's face without its text.
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.rect = rect;
    option.section = logicalIndex;
    option.position = QStyleOptionHeader::Middle;
    style()->drawControl(QStyle::CE_HeaderSection, &option, painter, this);
    if (logicalIndex != markedRow())
        return;
    // A small black triangle pointing at the row.
    const QPointF centre = QRectF(rect).center();
    const double half = std::min(rect.width(), rect.height()) / 4.0;
    const QPolygonF marker{{centre.x() - half * 0.6, centre.y() - half}, {centre.x() + half * 0.8, centre.y()},
                           {centre.x() - half * 0.6, centre.y() + half}};
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(Qt::NoPen);
    painter->setBrush(Qt::black);
    painter->drawPolygon(marker);
    painter->restore();
}

void makeDataGrid(QTableView &grid)
{
    auto *indicator = new RowIndicator(&grid);
    indicator->setFixedWidth(RowIndicator::Width);
    grid.horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void fitColumns(QTableView &grid, const selection::TableModel &model)
{
    const QFontMetrics cells(grid.font());
    const QFontMetrics titles(grid.horizontalHeader()->font());
    // Room a cell and a title take beside their text.
    const int cellMargin = 2 * (grid.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &grid) + 1) + 1;
    const int titleMargin = 2 * grid.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, grid.horizontalHeader());
    const int widest = std::max(1, grid.width() - 2 * grid.frameWidth() - grid.verticalHeader()->width());
    for (int column = 0; column < model.columnCount(); ++column) {
        const tables::FieldDef *field = model.field(column);
        const int data = field ? selection::displayWidth(*field) * cells.horizontalAdvance(QLatin1Char('0')) + cellMargin : 0;
        const int title = titles.horizontalAdvance(model.headerData(column, Qt::Horizontal).toString()) + titleMargin;
        grid.setColumnWidth(column, std::min(std::max(data, title), widest));
    }
}

} // namespace app
