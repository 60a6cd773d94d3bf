#pragma once
// A band of a report definition: a horizontal strip as wide as the page between its margins,
// with its frame, background and elements.
#include "element.h"

#include <QColor>
#include <QFlags>
#include <QString>

#include <vector>

namespace report {

class DataSet;

enum class BandKind : quint8 {
    Title,          // once, at the top of the first page
    ColumnHeader,   // at the top of every page (below the title on the first)
    Detail,         // once per row of the report's data set
    SubDetail,      // once per row of its own (linked) data set, after each detail band
    GroupFooter,    // the footer of a sub-detail, after its last row
    Child,          // right after the band whose child it is
    PageFooter,     // at the bottom of every page
};

enum class FrameSide : quint8 { None = 0, Top = 1, Bottom = 2, Left = 4, Right = 8, All = 15 };
Q_DECLARE_FLAGS(FrameSides, FrameSide)
Q_DECLARE_OPERATORS_FOR_FLAGS(FrameSides)

struct Frame {
    FrameSides sides;
    QColor color = Qt::black;
    double widthMm = 0.25;
    bool operator==(const Frame &) const = default;
};

class Band {
public:
    Band(BandKind kind, const QString &name, double heightMm) : kind(kind), name(name), heightMm(heightMm) {}

    BandKind kind;
    QString name;
    double heightMm;
    Frame frame;
    QColor color = Qt::white;
    std::vector<Element> elements;

    // Printed right after this band (and its own child after it); owned by the report.
    Band *child = nullptr;

    // Sub-detail bands only: the linked data set, which after each move of the report's data
    // set already holds only the rows of the current master row; whether the band prints once
    // (with empty data texts) when that holds no rows; and the footer printed after the rows.
    DataSet *dataSet = nullptr;
    bool printIfEmpty = true;
    Band *footer = nullptr;

    Element &addLabel(const QString &name, double leftMm, double topMm, const QString &text,
                      const std::optional<FontDef> &font = std::nullopt);
    Element &addDataText(const QString &name, double leftMm, double topMm, const QString &column,
                         const std::optional<FontDef> &font = std::nullopt);
    Element &addSysData(const QString &name, double leftMm, double topMm, SysData what,
                        const std::optional<FontDef> &font = std::nullopt);
};

} // namespace report
