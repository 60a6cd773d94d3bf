#include "fontdef.h"

namespace report {

QFont FontDef::toQFont() const
{
    QFont f(family);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    f.setItalic(italic);
    f.setUnderline(underline);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(true);
    return f;
}

} // namespace report
