#pragma once
// A printed element of a band: a static label, a data-bound text or a system value, placed in
// millimetres from the band's top-left corner. Elements are left-aligned; an auto-sized element
// is as wide as its text (at most to the band's right edge) and always as high as heightMm.
// A label's words wrap at that edge, and lines that do not fit in the height are not printed;
// a data text stays on one line and, when too long for it, is shortened in its middle with "…".
#include "fontdef.h"

#include <QPointF>
#include <QString>

#include <optional>

namespace report {

class DataSet;

enum class ElementKind : quint8 { Label, DataText, SysData };

enum class SysData : quint8 {
    DateTime,       // date and time of printing (see printedDateTimeText)
    PageNumber,     // current page number, from 1
};

struct Element {
    QString name;
    ElementKind kind = ElementKind::Label;
    QPointF posMm;                  // from the band's top-left corner
    double heightMm = 4.5;
    double widthMm = 0.0;           // only used when autoSize is off
    bool autoSize = true;
    bool wordWrap = true;
    bool transparent = false;       // off: the element's rectangle is filled white first

    QString text;                   // Label: the text
    QString column;                 // DataText: the column shown
    DataSet *dataSet = nullptr;     // DataText: its data set; null means the band's own
    SysData sysData = SysData::DateTime;    // SysData: which value
    std::optional<FontDef> font;   // unset: the report's default font
};

} // namespace report
