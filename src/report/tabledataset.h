#pragma once
// A report data set over a table of the table engine (built as zorvik_report_tables).
#include "dataset.h"

namespace tables {
class Table;
}

namespace report {

class TableDataSet : public DataSet {
public:
    // The table must stay open while the report runs; its master-detail link, if any, stays
    // the table engine's business.
    explicit TableDataSet(tables::Table &table) : table_(table) {}

    void first() override;
    void next() override;
    bool eof() const override;
    // The column's display text as the table engine gives it (UTF-8), unchanged.
    QString fieldText(const QString &column) const override;

private:
    tables::Table &table_;
};

} // namespace report
