#pragma once
// Painting laid-out pages into any painter: a widget at any zoom, an image, a printer or a PDF
// writer. Painting reads only the page painted.
#include <QString>

class QPainter;
class QPagedPaintDevice;

namespace report {

class Layout;

// Paints page `page` (from 0) with the paper's top-left corner at the painter's origin, one
// millimetre being pixelsPerMm painter units; the sheet is filled white first.
void paintPage(const Layout &layout, int page, QPainter &painter, double pixelsPerMm);
// The same at the true size of the painter's device (its logical resolution).
void paintPage(const Layout &layout, int page, QPainter &painter);

// Prints pages first..last (from 0, both included) on a printer or PDF writer, one sheet each,
// the paper's top-left corner at the corner of the sheet, at the device's own resolution. The
// device's page settings are left as they are; copies > 1 repeats the whole range (for devices
// that do not make copies themselves). Throws Error when painting cannot start.
void printPages(const Layout &layout, QPagedPaintDevice &device, int first, int last, int copies = 1);

} // namespace report
