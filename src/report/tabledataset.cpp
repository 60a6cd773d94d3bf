#include "tabledataset.h"

#include "tables/table.h"

namespace report {

void TableDataSet::first()
{
    table_.First();
}

void TableDataSet::next()
{
    table_.Next();
}

bool TableDataSet::eof() const
{
    return table_.Eof();
}

QString TableDataSet::fieldText(const QString &column) const
{
    return QString::fromStdString(table_.fieldAsString(column.toStdString()));
}

} // namespace report
