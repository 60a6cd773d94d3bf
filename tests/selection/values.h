#pragma once
// Values built by hand, for the cases no fixture table holds.
#include "tables/value.h"

#include <QMetaType>
#include <QString>

#include <cstdint>

Q_DECLARE_METATYPE(tables::Value)

namespace testvalues {

using tables::Value;

inline const QString kFixtures = QStringLiteral(ZORVIK_FIXTURES);

inline Value of(Value::Kind kind, int64_t integer = 0, int64_t ms = 0)
{
    Value v;
    v.kind = kind;
    v.integer = integer;
    v.ms = ms;
    return v;
}

inline Value number(Value::Kind kind, double x, int decimals = -1)
{
    Value v = Value::ofNumber(x, decimals);
    v.kind = kind;
    return v;
}

} // namespace testvalues
