#include "tabledataset.h"

#include "tables/table.h"

namespace report {

void TableDataSet::first()
{
    m_table.First();
}

void TableDataSet::next()
{
    m_table.Next();
}

bool TableDataSet::eof() const
{
    return m_table.Eof();
}

QString TableDataSet::fieldText(const QString &column) const
{
    return QString::fromStdString(m_table.fieldAsString(column.toStdString()));
}

} // namespace report
