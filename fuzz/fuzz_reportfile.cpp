// The preview's own report file, as Load reads it: decode, then walk every page and element.
#include "report/error.h"
#include "report/layout.h"
#include "report/reportfile.h"

#include <QByteArray>
#include <QGuiApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        report::Layout layout = report::decodeReport(
            QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)), QStringLiteral("fuzz.zrep"));
        for (int p = 0; p < layout.pageCount(); ++p)
            (void)layout.page(p);
    } catch (const report::Error &) {
    }
    return 0;
}
