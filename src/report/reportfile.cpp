#include "reportfile.h"

#include "error.h"
#include "layout.h"
#include "layout_p.h"
#include "reportfile_p.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <array>
#include <cstring>

// Report file, all numbers little-endian.
//
// Header, 24 bytes:
//   0   8  magic "ZORVREP" 0x1A
//   8   2  format version, 1
//  10   2  reserved, 0
//  12   4  body length in bytes; the file is exactly header + body
//  16   4  CRC-32 of the body
//  20   4  reserved, 0
//
// Body, in this order ("str" = u32 byte count + UTF-8 bytes, "f64"/"f32" = IEEE 754):
//   str title
//   page:      f64 paper width, f64 paper height (mm, upright), u8 orientation (0 portrait,
//              1 landscape), f64 margins left, top, right, bottom (mm)
//   u32 fonts, each:     str family, f64 point size, u8 style (1 bold, 2 italic, 4 underline)
//   u32 bands, each:     str name, u8 kind (BandKind), f64 height, u8 frame sides (1 top,
//              2 bottom, 4 left, 8 right), u32 frame colour (ARGB), f64 frame width,
//              u32 background colour (ARGB), u32 elements, each:
//                  str name, u8 kind (ElementKind), f64 left, f64 top, f64 height, u16 font,
//                  u8 opaque, str text, f64 width (text and width: labels only)
//   u32 pool length in UTF-16 units, then the units (u16 each)
//   u32 texts, each:     u32 offset, u32 length (into the pool), f32 width
//   u32 placed bands, each: u16 band, f32 top (mm from the page's top)
//   u32 text slots, each: u32 text, in the order of the placed bands' data and system elements
//   u32 pages, each:     u32 first placed band, u32 first text slot
//
// Counts are checked against the bytes left before anything is allocated, and every index and
// range against what it points into before the layout is used.

namespace report {

namespace reportfile {

quint32 crc32(const char *data, qsizetype size)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (qsizetype i = 0; i < size; ++i)
        crc = table[(crc ^ quint8(data[i])) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

} // namespace reportfile

using namespace reportfile;

namespace {

class Writer {
public:
    QByteArray bytes;

    template <typename T> void put(T v)
    {
        char buf[sizeof(T)];
        qToLittleEndian(v, buf);
        bytes.append(buf, sizeof(T));
    }
    void u8(quint8 v) { bytes.append(char(v)); }
    void u16(quint16 v) { put(v); }
    void u32(quint32 v) { put(v); }
    void f64(double v)
    {
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        put(bits);
    }
    void f32(float v)
    {
        quint32 bits;
        std::memcpy(&bits, &v, sizeof bits);
        put(bits);
    }
    void str(const QString &s)
    {
        const QByteArray utf8 = s.toUtf8();
        u32(quint32(utf8.size()));
        bytes.append(utf8);
    }
};

// Thrown inside the reader, turned into Error with the file name at the top.
struct Damaged {
    QString what;
};

class Reader {
public:
    Reader(const char *data, qsizetype size) : data_(data), size_(size) {}

    qsizetype left() const { return size_ - pos_; }
    bool atEnd() const { return pos_ == size_; }

    template <typename T> T get()
    {
        need(sizeof(T));
        const T v = qFromLittleEndian<T>(data_ + pos_);
        pos_ += sizeof(T);
        return v;
    }
    quint8 u8() { return get<quint8>(); }
    quint16 u16() { return get<quint16>(); }
    quint32 u32() { return get<quint32>(); }
    double f64()
    {
        const quint64 bits = get<quint64>();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    float f32()
    {
        const quint32 bits = get<quint32>();
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    QString str()
    {
        const quint32 n = u32();
        need(n);
        const QString s = QString::fromUtf8(data_ + pos_, n);
        pos_ += n;
        return s;
    }
    // A count of records of at least minSize bytes each: no more than the bytes left can hold.
    quint32 count(qsizetype minSize, const char *what)
    {
        const quint32 n = u32();
        if (quint64(n) * quint64(minSize) > quint64(left()))
            throw Damaged{QStringLiteral("число записей «%1» (%2) больше, чем вмещает файл").arg(QString::fromUtf8(what)).arg(n)};
        return n;
    }
    template <typename E> E enumValue(E maxValue, const char *what)
    {
        const quint8 v = u8();
        if (v > quint8(maxValue))
            throw Damaged{QStringLiteral("недопустимое значение «%1»: %2").arg(QString::fromUtf8(what)).arg(v)};
        return E(v);
    }

private:
    void need(qsizetype n)
    {
        if (n > left())
            throw Damaged{QStringLiteral("данные кончаются раньше, чем положено")};
    }

    const char *data_;
    qsizetype size_;
    qsizetype pos_ = 0;
};

// Smallest encoded sizes, for the count checks.
constexpr qsizetype minFont = 4 + 8 + 1;
constexpr qsizetype minElement = 4 + 1 + 8 * 3 + 2 + 1 + 4 + 8;
constexpr qsizetype minBand = 4 + 1 + 8 + 1 + 4 + 8 + 4 + 4;

void writeBody(Writer &w, const LayoutData &d)
{
    w.str(d.title);
    w.f64(d.page.paperMm.width());
    w.f64(d.page.paperMm.height());
    w.u8(quint8(d.page.orientation));
    w.f64(d.page.marginsMm.left());
    w.f64(d.page.marginsMm.top());
    w.f64(d.page.marginsMm.right());
    w.f64(d.page.marginsMm.bottom());

    w.u32(quint32(d.fonts.size()));
    for (const FontDef &f : d.fonts) {
        w.str(f.family);
        w.f64(f.pointSize);
        w.u8(quint8((f.bold ? 1 : 0) | (f.italic ? 2 : 0) | (f.underline ? 4 : 0)));
    }

    w.u32(quint32(d.templates.size()));
    for (const BandTemplate &b : d.templates) {
        w.str(b.name);
        w.u8(quint8(b.kind));
        w.f64(b.heightMm);
        w.u8(quint8(b.frame.sides.toInt()));
        w.u32(b.frame.color.rgba());
        w.f64(b.frame.widthMm);
        w.u32(b.color.rgba());
        w.u32(quint32(b.elements.size()));
        for (const ElementTemplate &e : b.elements) {
            w.str(e.name);
            w.u8(quint8(e.kind));
            w.f64(e.leftMm);
            w.f64(e.topMm);
            w.f64(e.heightMm);
            w.u16(e.font);
            w.u8(e.opaque ? 1 : 0);
            w.str(e.text);
            w.f64(e.widthMm);
        }
    }

    w.u32(quint32(d.pool.size()));
    for (QChar c : d.pool)
        w.u16(c.unicode());
    w.u32(quint32(d.texts.size()));
    for (const TextEntry &t : d.texts) {
        w.u32(t.offset);
        w.u32(t.length);
        w.f32(t.widthMm);
    }
    w.u32(quint32(d.placed.size()));
    for (const BandSlot &s : d.placed) {
        w.u16(s.band);
        w.f32(s.topMm);
    }
    w.u32(quint32(d.slotTexts.size()));
    for (quint32 t : d.slotTexts)
        w.u32(t);
    w.u32(quint32(d.pages.size()));
    for (const PageSlot &p : d.pages) {
        w.u32(p.firstBand);
        w.u32(p.firstText);
    }
}

std::shared_ptr<LayoutData> readBody(Reader &r)
{
    auto d = std::make_shared<LayoutData>();
    d->title = r.str();
    const double paperWidth = r.f64();
    const double paperHeight = r.f64();
    d->page.paperMm = QSizeF(paperWidth, paperHeight);
    d->page.orientation = r.enumValue(Orientation::Landscape, "ориентация");
    const double left = r.f64(), top = r.f64(), right = r.f64(), bottom = r.f64();
    d->page.marginsMm = QMarginsF(left, top, right, bottom);

    const quint32 fonts = r.count(minFont, "шрифты");
    d->fonts.reserve(fonts);
    for (quint32 i = 0; i < fonts; ++i) {
        FontDef &f = d->fonts.emplace_back();
        f.family = r.str();
        f.pointSize = r.f64();
        const quint8 style = r.u8();
        f.bold = style & 1;
        f.italic = style & 2;
        f.underline = style & 4;
    }

    const quint32 bands = r.count(minBand, "полосы");
    d->templates.reserve(bands);
    for (quint32 i = 0; i < bands; ++i) {
        BandTemplate &b = d->templates.emplace_back();
        b.name = r.str();
        b.kind = r.enumValue(BandKind::PageFooter, "вид полосы");
        b.heightMm = r.f64();
        const quint8 sides = r.u8();
        if (sides > quint8(FrameSide::All))
            throw Damaged{QStringLiteral("недопустимые стороны рамки: %1").arg(sides)};
        b.frame.sides = FrameSides::fromInt(sides);
        b.frame.color = QColor::fromRgba(r.u32());
        b.frame.widthMm = r.f64();
        b.color = QColor::fromRgba(r.u32());
        const quint32 elements = r.count(minElement, "элементы");
        b.elements.reserve(elements);
        for (quint32 k = 0; k < elements; ++k) {
            ElementTemplate &e = b.elements.emplace_back();
            e.name = r.str();
            e.kind = r.enumValue(ElementKind::SysData, "вид элемента");
            e.leftMm = r.f64();
            e.topMm = r.f64();
            e.heightMm = r.f64();
            e.font = r.u16();
            e.opaque = r.u8() != 0;
            e.text = r.str();
            e.widthMm = r.f64();
            if (e.dynamic())
                ++b.dynamicCount;
        }
    }

    const quint32 pool = r.count(2, "текст");
    d->pool.resize(pool);
    for (quint32 i = 0; i < pool; ++i)
        d->pool[i] = QChar(r.u16());
    const quint32 texts = r.count(12, "тексты");
    d->texts.resize(texts);
    for (TextEntry &t : d->texts) {
        t.offset = r.u32();
        t.length = r.u32();
        t.widthMm = r.f32();
    }
    const quint32 placed = r.count(6, "полосы страниц");
    d->placed.resize(placed);
    for (BandSlot &s : d->placed) {
        s.band = r.u16();
        s.topMm = r.f32();
    }
    const quint32 slotCount = r.count(4, "ссылки на тексты");
    d->slotTexts.resize(slotCount);
    for (quint32 &t : d->slotTexts)
        t = r.u32();
    const quint32 pages = r.count(8, "страницы");
    d->pages.resize(pages);
    for (PageSlot &p : d->pages) {
        p.firstBand = r.u32();
        p.firstText = r.u32();
    }
    if (!r.atEnd())
        throw Damaged{QStringLiteral("лишние данные после страниц")};
    const QString problem = d->problem();
    if (!problem.isEmpty())
        throw Damaged{problem};
    return d;
}

} // namespace

QString reportFileFilter()
{
    return QStringLiteral("Отчёт Zorvik (*.%1)").arg(QLatin1String(reportFileSuffix));
}

QByteArray encodeReport(const Layout &layout)
{
    Writer body;
    writeBody(body, layout.data());
    Writer file;
    file.bytes.append(magic, sizeof magic);
    file.u16(version);
    file.u16(0);
    file.u32(quint32(body.bytes.size()));
    file.u32(crc32(body.bytes.constData(), body.bytes.size()));
    file.u32(0);
    file.bytes.append(body.bytes);
    return file.bytes;
}

Layout decodeReport(const QByteArray &bytes, const QString &fileName)
{
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    if (size < qsizetype(sizeof magic) || std::memcmp(data, magic, sizeof magic) != 0)
        failFile(fileName, QStringLiteral("это не файл отчёта Zorvik"));
    if (size < headerSize)
        failFile(fileName, QStringLiteral("файл обрезан: нет полного заголовка"));
    const quint16 fileVersion = qFromLittleEndian<quint16>(data + versionOffset);
    if (fileVersion != version)
        failFile(fileName, QStringLiteral("версия формата %1 не поддерживается (читается версия %2)")
                               .arg(fileVersion).arg(version));
    const quint32 bodyLength = qFromLittleEndian<quint32>(data + bodyLengthOffset);
    const qsizetype present = size - headerSize;
    if (qint64(bodyLength) > present)
        failFile(fileName, QStringLiteral("файл обрезан: не хватает %1 байт").arg(qint64(bodyLength) - present));
    if (qint64(bodyLength) < present)
        failFile(fileName, QStringLiteral("файл повреждён: лишние данные в конце"));
    const char *body = data + headerSize;
    if (crc32(body, bodyLength) != qFromLittleEndian<quint32>(data + checksumOffset))
        failFile(fileName, QStringLiteral("файл повреждён: не совпадает контрольная сумма"));
    try {
        Reader reader(body, bodyLength);
        return Layout(readBody(reader));
    } catch (const Damaged &damaged) {
        failFile(fileName, QStringLiteral("файл повреждён: %1").arg(damaged.what));
    }
}

void saveReportFile(const Layout &layout, const QString &path)
{
    const QByteArray bytes = encodeReport(layout);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        failFile(path, QStringLiteral("не удаётся записать (%1)").arg(file.errorString()));
}

Layout loadReportFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        failFile(path, QStringLiteral("не удаётся открыть (%1)").arg(file.errorString()));
    if (file.size() > maxFileSize)
        failFile(path, QStringLiteral("слишком большой для файла отчёта (%1 байт)").arg(file.size()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        failFile(path, QStringLiteral("не удаётся прочитать (%1)").arg(file.errorString()));
    return decodeReport(bytes, path);
}

} // namespace report
