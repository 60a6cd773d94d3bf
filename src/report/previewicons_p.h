#pragma once
// Tool bar icons of the preview that the style has no standard icon for, drawn here.
#include <QIcon>

namespace report {

enum class PreviewIcon { ZoomFit, Zoom100, ZoomWidth, PrinterSetup, Print };

QIcon previewIcon(PreviewIcon which);

} // namespace report
