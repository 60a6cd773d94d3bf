#pragma once
// DBGrid1's look as a data grid's: a row indicator with a marker at the current row and nothing
// on the others, left-aligned column titles, and columns that open as wide as their fields.
#include <QHeaderView>

class QTableView;

namespace selection {
class TableModel;
}

namespace app {

class RowIndicator final : public QHeaderView {
    Q_OBJECT
public:
    static constexpr int Width = 12;
    // Becomes the grid's vertical header; the grid's model must be set.
    explicit RowIndicator(QTableView *grid);

    // The row the marker is at: the grid's current row, or the first while there is none.
    int markedRow() const;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    QSize sizeHint() const override;

private:
    QTableView *grid_;
};

// Sets the grid up as a data grid: the row indicator and left-aligned titles.
void makeDataGrid(QTableView &grid);

// Opens every column as wide as its field's display width at the grid's font, at least as wide
// as its title and at most as wide as the grid.
void fitColumns(QTableView &grid, const selection::TableModel &model);

} // namespace app
