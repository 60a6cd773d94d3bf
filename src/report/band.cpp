#include "band.h"

namespace report {

static Element &add(std::vector<Element> &elements, ElementKind kind, const QString &name, double left,
                    double top, const std::optional<FontDef> &font)
{
    Element &e = elements.emplace_back();
    e.kind = kind;
    e.name = name;
    e.posMm = QPointF(left, top);
    e.font = font;
    return e;
}

Element &Band::addLabel(const QString &name, double leftMm, double topMm, const QString &text,
                        const std::optional<FontDef> &font)
{
    Element &e = add(elements, ElementKind::Label, name, leftMm, topMm, font);
    e.text = text;
    return e;
}

Element &Band::addDataText(const QString &name, double leftMm, double topMm, const QString &column,
                           const std::optional<FontDef> &font)
{
    Element &e = add(elements, ElementKind::DataText, name, leftMm, topMm, font);
    e.column = column;
    return e;
}

Element &Band::addSysData(const QString &name, double leftMm, double topMm, SysData what,
                          const std::optional<FontDef> &font)
{
    Element &e = add(elements, ElementKind::SysData, name, leftMm, topMm, font);
    e.sysData = what;
    return e;
}

} // namespace report
