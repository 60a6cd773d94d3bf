// The catalogue report of 10,000 tables of 5 to 40 fields (fixed seed), the way Do it makes it:
// the rows written to real catalogue tables (ZORMain.dbf, ZORDet.dbf with their indexes, in a
// scratch folder), then laid out through the table data sets, the field rows following the main
// row through the link. Time and memory of the writing, the layout, painting the first and last
// page, the report file and the PDF; the layout over the same rows held in memory is the limit
// the real layout is measured against.
// Usage: bench_report [tables] [pdf path]
#include "catalogue/catalogue.h"
#include "report/cataloguereport.h"
#include "report/dataset.h"
#include "report/layout_p.h"
#include "report/layoutbuilder.h"
#include "report/pagepainter.h"
#include "report/pdfwriter.h"
#include "report/reportfile.h"
#include "report/tabledataset.h"
#include "tables/table.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

// Bytes held by a layout's storage: the shared data, its vectors and text pool at capacity.
std::size_t storageBytes(const report::Layout &layout)
{
    using namespace report;
    const LayoutData &data = layout.data();
    std::size_t bytes = sizeof(LayoutData) + std::size_t(data.pool.capacity()) * sizeof(QChar)
        + data.placed.capacity() * sizeof(BandSlot) + data.slotTexts.capacity() * sizeof(quint32)
        + data.texts.capacity() * sizeof(TextEntry) + data.pages.capacity() * sizeof(PageSlot);
    for (const BandTemplate &t : data.templates)
        bytes += sizeof(BandTemplate) + t.elements.capacity() * sizeof(ElementTemplate);
    return bytes;
}

// The main catalogue: one row per table.
class MainRows : public report::DataSet {
public:
    struct Table {
        QString name, path;
        int firstField, fieldCount;
    };
    std::vector<Table> tables;
    void first() override { pos = 0; }
    void next() override { ++pos; }
    bool eof() const override { return pos >= tables.size(); }
    QString fieldText(const QString &column) const override
    {
        if (column == QLatin1String("ZORTBLNAME"))
            return tables[pos].name;
        if (column == QLatin1String("ZORTBLPATH"))
            return tables[pos].path;
        return QString::number(pos + 1);
    }
    std::size_t pos = 0;
};

// The field rows, linked to the current main row.
class FieldRows : public report::DataSet {
public:
    struct Field {
        QString name, type, size;
    };
    explicit FieldRows(const MainRows &main) : main(main) {}
    std::vector<Field> fields;
    void first() override { pos = 0; }
    void next() override { ++pos; }
    bool eof() const override { return main.eof() || pos >= std::size_t(main.tables[main.pos].fieldCount); }
    QString fieldText(const QString &column) const override
    {
        const Field &f = fields[main.tables[main.pos].firstField + pos];
        return column == QLatin1String("ZOR_NAME") ? f.name : column == QLatin1String("ZOR_TYPE") ? f.type : f.size;
    }
    const MainRows &main;
    std::size_t pos = 0;
};

long statusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(strlen(key))).trimmed().split(' ').first().toLong();
    return -1;
}

struct QuietHost : catalogue::Host {
    void showMessage(const std::string &text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void terminate() override { std::exit(1); }
};

void step(const char *what, const QElapsedTimer &t)
{
    std::printf("%-28s %9.3f s   RSS %7.1f MiB   peak %7.1f MiB\n", what, t.nsecsElapsed() / 1e9,
                statusKb("VmRSS:") / 1024.0, statusKb("VmHWM:") / 1024.0);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int tableCount = argc > 1 ? std::stoi(argv[1]) : 10000;
    const QString pdfPath = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/tmp/bench_report.pdf");
    const QString filePath = QFileInfo(pdfPath).path() + QStringLiteral("/bench_report.zrep");

    QElapsedTimer t;
    t.start();
    std::mt19937 random(42);
    const char *types[] = {"Character", "Numeric", "Date", "Logical", "Memo", "Float", "Alpha", "Long integer"};
    MainRows main;
    FieldRows fields(main);
    for (int i = 0; i < tableCount; ++i) {
        const int count = 5 + int(random() % 36);
        main.tables.push_back({QStringLiteral("TABLE%1.DBF").arg(i + 1),
                               QStringLiteral("/srv/data/project%1/tables/").arg(random() % 100),
                               int(fields.fields.size()), count});
        for (int k = 0; k < count; ++k)
            fields.fields.push_back({QStringLiteral("FIELD_%1").arg(random() % 500),
                                     QString::fromLatin1(types[random() % 8]), QString::number(1 + random() % 254)});
    }
    std::printf("catalogue: %d tables, %zu fields\n", tableCount, fields.fields.size());
    step("rows made in memory", t);

    // Once untimed: the first layout also loads the fonts and fills the text measure caches.
    (void)report::layOut(report::catalogueReport(main, fields));
    t.restart();
    const report::Layout inMemory = report::layOut(report::catalogueReport(main, fields));
    const double inMemorySeconds = t.nsecsElapsed() / 1e9;
    step("layout, rows in memory", t);

    // The real catalogue: written as the build writes it, read back through index and link.
    const std::filesystem::path scratch =
        std::filesystem::temp_directory_path() / ("zorvik-report-bench-" + std::to_string(QCoreApplication::applicationPid()));
    std::filesystem::create_directories(scratch / "Data");
    catalogue::createFiles((scratch / "Data").string());
    std::filesystem::current_path(scratch);
    tables::Table MainData, TablesData;
    tables::DataSource DataSource2;
    QuietHost host;
    catalogue::setUp(MainData, TablesData, DataSource2);
    catalogue::open(MainData, TablesData, host);
    t.restart();
    catalogue::emptyMain(MainData);
    catalogue::emptyFields(TablesData, DataSource2);
    for (int i = 0; i < tableCount; ++i) {
        const MainRows::Table &table = main.tables[size_t(i)];
        catalogue::writeMainRow(MainData, table.name.toStdString(), table.path.toStdString(), i + 1);
        for (int k = 0; k < table.fieldCount; ++k) {
            const FieldRows::Field &f = fields.fields[size_t(table.firstField + k)];
            catalogue::writeFieldRow(TablesData, f.name.toStdString(), f.type.toStdString(), f.size.toInt(), i + 1);
        }
    }
    MainData.flush(true);
    TablesData.flush(true);
    step("catalogue rows written", t);

    t.restart();
    report::TableDataSet mainSet(MainData), fieldSet(TablesData);
    const report::Layout layout = report::layOut(report::catalogueReport(mainSet, fieldSet));
    const double layoutSeconds = t.nsecsElapsed() / 1e9;
    step("layout, catalogue tables", t);
    std::printf("pages: %d (%d from memory), layout storage %.1f MiB; layout %.3f s against %.3f s from memory (%.2fx)\n",
                layout.pageCount(), inMemory.pageCount(), storageBytes(layout) / 1048576.0, layoutSeconds,
                inMemorySeconds, layoutSeconds / inMemorySeconds);
    MainData.Close();
    TablesData.Close();
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(scratch);

    for (int page : {0, layout.pageCount() - 1}) {
        t.restart();
        QImage image(1654, 2339, QImage::Format_RGB32);     // A4 at 200 dpi
        QPainter painter(&image);
        report::paintPage(layout, page, painter, 200 / 25.4);
        painter.end();
        step(page == 0 ? "paint first page (200 dpi)" : "paint last page (200 dpi)", t);
    }

    t.restart();
    report::saveReportFile(layout, filePath);
    step("save report file", t);
    std::printf("report file: %.1f MiB\n", QFileInfo(filePath).size() / 1048576.0);
    t.restart();
    const report::Layout loaded = report::loadReportFile(filePath);
    step("load report file", t);

    t.restart();
    report::writePdf(layout, pdfPath);
    step("write PDF", t);
    std::printf("PDF: %.1f MiB\n", QFileInfo(pdfPath).size() / 1048576.0);
    return loaded.pageCount() == layout.pageCount() && layout.pageCount() == inMemory.pageCount() ? 0 : 1;
}
