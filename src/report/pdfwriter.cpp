#include "pdfwriter.h"

#include "error.h"
#include "layout.h"
#include "pagepainter.h"

#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace report {

void writePdf(const Layout &layout, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        failFile(path, QStringLiteral("не удаётся записать (%1)").arg(file.errorString()));
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(layout.pageSetup().pageLayout());
        writer.setResolution(1200);
        writer.setTitle(layout.title());
        writer.setCreator(QStringLiteral("Zorvik"));
        if (layout.pageCount() == 0) {
            QPainter blank;
            if (!blank.begin(&writer))
                failFile(path, QStringLiteral("не удаётся записать документ PDF"));
        } else {
            printPages(layout, writer, 0, layout.pageCount() - 1);
        }
    }
    if (!file.commit())
        failFile(path, QStringLiteral("не удаётся записать (%1)").arg(file.errorString()));
}

} // namespace report
