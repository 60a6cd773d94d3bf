#pragma once
// What the report engine needs of a data set: a forward cursor and the display text of a
// column of the current row.
#include <QString>

namespace report {

class DataSet {
public:
    virtual ~DataSet() = default;
    virtual void first() = 0;
    virtual void next() = 0;
    virtual bool eof() const = 0;
    // The current row's column as the text to print; the engine prints it unchanged.
    virtual QString fieldText(const QString &column) const = 0;
};

} // namespace report
