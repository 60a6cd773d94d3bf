#pragma once
// The storage behind a Layout, shared by the layout builder, the painter and the report file.
#include "layout.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace report {

// An element of a band template. Labels keep their resolved text and width here; data and
// system elements ("dynamic") take theirs from the placed band's text slots, in element order.
struct ElementTemplate {
    QString name;
    ElementKind kind = ElementKind::Label;
    double leftMm = 0, topMm = 0, heightMm = 0;     // from the band's top-left corner
    quint16 font = 0;                               // index into LayoutData::fonts
    bool opaque = true;
    QString text;                                   // labels only
    double widthMm = 0;                             // labels only
    bool dynamic() const { return kind != ElementKind::Label; }
};

struct BandTemplate {
    QString name;
    BandKind kind = BandKind::Detail;
    double heightMm = 0;
    Frame frame;
    QColor color;
    std::vector<ElementTemplate> elements;
    quint16 dynamicCount = 0;                       // dynamic elements among them
};

struct TextEntry {
    quint32 offset = 0;     // into LayoutData::pool, UTF-16 units
    quint32 length = 0;
    float widthMm = 0;
};

struct BandSlot {
    quint16 band = 0;       // index into LayoutData::templates
    float topMm = 0;        // from the page's top edge
};

struct PageSlot {
    quint32 firstBand = 0;  // index into LayoutData::placed
    quint32 firstText = 0;  // index into LayoutData::slotTexts
};

struct LayoutData {
    QString title;
    PageSetup page;
    std::vector<FontDef> fonts;
    std::vector<BandTemplate> templates;
    std::vector<BandSlot> placed;
    std::vector<quint32> slotTexts;                 // index into texts, per dynamic element placed
    std::vector<TextEntry> texts;
    QString pool;
    std::vector<PageSlot> pages;

    quint32 bandEnd(int page) const;
    quint32 textEnd(int page) const;
    // Checks every index and range; returns what is wrong (Russian), or an empty string.
    QString problem() const;
};

} // namespace report
