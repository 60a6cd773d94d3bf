// The report file: round trips, and files that are foreign, cut short or damaged.
#include "fakedataset.h"

#include "report/cataloguereport.h"
#include "report/error.h"
#include "report/layoutbuilder.h"
#include "report/reportfile.h"
#include "report/reportfile_p.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace report;
using reporttest::FakeCatalogue;

namespace {

Layout sampleLayout()
{
    FakeCatalogue c;
    c.addTables(7, 6);
    c.addTable(QStringLiteral("ПУСТАЯ.DB"), QStringLiteral("C:\\Данные\\"), {});
    return layOut(catalogueReport(c.main, c.fields), QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)),
                  QLocale(QLocale::Russian, QLocale::Russia));
}

void expectSameLayout(const Layout &a, const Layout &b)
{
    EXPECT_EQ(a.title(), b.title());
    EXPECT_EQ(a.pageSetup(), b.pageSetup());
    ASSERT_EQ(a.pageCount(), b.pageCount());
    for (int p = 0; p < a.pageCount(); ++p) {
        const std::vector<PlacedBand> x = a.page(p), y = b.page(p);
        ASSERT_EQ(x.size(), y.size()) << "page " << p;
        for (std::size_t i = 0; i < x.size(); ++i) {
            EXPECT_EQ(x[i].name, y[i].name);
            EXPECT_EQ(x[i].kind, y[i].kind);
            EXPECT_EQ(x[i].rectMm, y[i].rectMm);
            EXPECT_EQ(x[i].frame, y[i].frame);
            EXPECT_EQ(x[i].color, y[i].color);
            ASSERT_EQ(x[i].elements.size(), y[i].elements.size());
            for (std::size_t k = 0; k < x[i].elements.size(); ++k) {
                const PlacedElement &e = x[i].elements[k], &f = y[i].elements[k];
                EXPECT_EQ(e.name, f.name);
                EXPECT_EQ(e.kind, f.kind);
                EXPECT_EQ(e.rectMm, f.rectMm);
                EXPECT_EQ(e.text, f.text);
                EXPECT_EQ(e.font, f.font);
                EXPECT_EQ(e.opaque, f.opaque);
            }
        }
    }
}

QString messageOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const Error &e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}

// Puts the body's CRC right again after a change, so that the reader's own checks are reached.
void fixChecksum(QByteArray &bytes)
{
    const quint32 crc = reportfile::crc32(bytes.constData() + reportfile::headerSize, bytes.size() - reportfile::headerSize);
    qToLittleEndian(crc, bytes.data() + reportfile::checksumOffset);
}

// Offset of the font count: after the title and the page setup.
qsizetype fontCountOffset(const QByteArray &bytes)
{
    const quint32 titleLength = qFromLittleEndian<quint32>(bytes.constData() + reportfile::headerSize);
    return reportfile::headerSize + 4 + titleLength + 8 + 8 + 1 + 4 * 8;
}

} // namespace

TEST(ReportFile, RoundTripKeepsEveryPage)
{
    const Layout layout = sampleLayout();
    ASSERT_GT(layout.pageCount(), 1);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("отчёт.zrep"));
    saveReportFile(layout, path);
    const Layout loaded = loadReportFile(path);
    expectSameLayout(layout, loaded);
    EXPECT_EQ(encodeReport(loaded), encodeReport(layout));
}

// A report file saved by an earlier version of the program still loads. tests/fixtures/report/
// keeps one file per format version: catalogue.zrep (version 1) is the catalogue of
// samples/clients866.dbf and samples/orders.dbf as the preview saved it.
TEST(ReportFile, AFileSavedByAnEarlierVersionLoads)
{
    const Layout l = loadReportFile(QStringLiteral(ZORVIK_FIXTURES "/report/catalogue.zrep"));
    ASSERT_EQ(l.pageCount(), 1);
    FakeCatalogue none;
    EXPECT_EQ(l.pageSetup(), layOut(catalogueReport(none.main, none.fields)).pageSetup()); // A4, 10 mm margins
    QStringList texts;
    for (const PlacedBand &band : l.page(0))
        for (const PlacedElement &e : band.elements)
            texts << e.text;
    for (const char *expected : {"Описание таблиц", "Таблица:", "clients866.dbf", "orders.dbf", "Путь:", "Название поля:",
                                 "NAME", "CITY", "String", "Отпечатано:", "Страница:"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(expected))) << expected << " not in " << texts.join(u'|').toStdString();
}

TEST(ReportFile, RoundTripOfALayoutWithoutPages)
{
    const Layout empty;
    expectSameLayout(empty, decodeReport(encodeReport(empty), QStringLiteral("e.zrep")));
}

struct BadFile {
    const char *name;
    std::function<void(QByteArray &)> spoil;
    const char *message;        // after "Файл «x.zrep»: "
};

void PrintTo(const BadFile &c, std::ostream *os)
{
    *os << c.name;
}

class DamagedFiles : public ::testing::TestWithParam<BadFile> {};

TEST_P(DamagedFiles, GiveAClearMessage)
{
    QByteArray bytes = encodeReport(sampleLayout());
    GetParam().spoil(bytes);
    EXPECT_EQ(messageOf([&] { decodeReport(bytes, QStringLiteral("x.zrep")); }),
              QStringLiteral("Файл «x.zrep»: ") + QString::fromUtf8(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedFiles,
    ::testing::Values(
        BadFile{"Empty", [](QByteArray &b) { b.clear(); }, "это не файл отчёта Zorvik"},
        BadFile{"Foreign", [](QByteArray &b) { b = QByteArray("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<<>>\nendobj\n"); },
                "это не файл отчёта Zorvik"},
        BadFile{"HeaderCut", [](QByteArray &b) { b.truncate(12); }, "файл обрезан: нет полного заголовка"},
        BadFile{"BodyCut", [](QByteArray &b) { b.chop(100); }, "файл обрезан: не хватает 100 байт"},
        BadFile{"BytesAppended", [](QByteArray &b) { b.append("xyz"); }, "файл повреждён: лишние данные в конце"},
        BadFile{"NewerVersion", [](QByteArray &b) { b[reportfile::versionOffset] = 2; },
                "версия формата 2 не поддерживается (читается версия 1)"},
        BadFile{"ByteChanged", [](QByteArray &b) { b[b.size() / 2] = char(b[b.size() / 2] ^ 0x40); },
                "файл повреждён: не совпадает контрольная сумма"},
        BadFile{"HugeCount",
                [](QByteArray &b) {
                    qToLittleEndian(quint32(0xFFFFFFFF), b.data() + fontCountOffset(b));
                    fixChecksum(b);
                },
                "файл повреждён: число записей «шрифты» (4294967295) больше, чем вмещает файл"},
        BadFile{"PagesDoNotStartAtTheFirstBand",
                [](QByteArray &b) {
                    const qsizetype pages = sampleLayout().pageCount();
                    qToLittleEndian(quint32(1), b.data() + b.size() - 8 * pages);
                    fixChecksum(b);
                },
                "файл повреждён: неверное начало страниц"},
        BadFile{"PageEndsPastTheBands",
                [](QByteArray &b) {
                    // The second page begins past the last band: the first one ends there.
                    const qsizetype pages = sampleLayout().pageCount();
                    qToLittleEndian(quint32(0x7FFFFFFF), b.data() + b.size() - 8 * pages + 8);
                    fixChecksum(b);
                },
                "файл повреждён: неверные границы страницы 1"}),
    [](const ::testing::TestParamInfo<BadFile> &info) { return std::string(info.param.name); });

TEST(ReportFile, MissingOrUnwritableFileIsNamed)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("нет.zrep"));
    EXPECT_TRUE(messageOf([&] { loadReportFile(missing); }).startsWith(QStringLiteral("Файл «%1»: не удаётся открыть").arg(missing)));
    const QString unwritable = dir.filePath(QStringLiteral("нет/такой/папки.zrep"));
    EXPECT_TRUE(messageOf([&] { saveReportFile(Layout(), unwritable); })
                    .startsWith(QStringLiteral("Файл «%1»: не удаётся записать").arg(unwritable)));
}

TEST(ReportFile, EveryCutAndChangedByteIsAnErrorNotACrash)
{
    // Fixed seed, so that a failure can be replayed. The checksum is put right after each
    // change, so that the structure checks are what catches it.
    const QByteArray good = encodeReport(sampleLayout());
    for (qsizetype n = 0; n < good.size(); n += 7) {
        const QByteArray cut = good.left(n);
        EXPECT_THROW(decodeReport(cut, QStringLiteral("x.zrep")), Error) << "cut at " << n;
    }
    std::mt19937 random(20240305);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = good;
        const int changes = 1 + int(random() % 4);
        for (int k = 0; k < changes; ++k) {
            const qsizetype at = reportfile::headerSize + qsizetype(random() % (bytes.size() - reportfile::headerSize));
            bytes[at] = char(random());
        }
        fixChecksum(bytes);
        try {
            const Layout layout = decodeReport(bytes, QStringLiteral("x.zrep"));
            for (int p = 0; p < layout.pageCount(); ++p)
                (void)layout.page(p);
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().startsWith(QStringLiteral("Файл «x.zrep»: файл повреждён: "))) << e.what();
        }
    }
}
