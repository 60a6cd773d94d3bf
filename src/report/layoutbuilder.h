#pragma once
// Runs a report: walks its data sets and places its bands on pages (no painting involved).
//
// Page rules: the title band opens the first page; every page then has the column header band
// at its top and the page footer band at the bottom of its content area. Bands follow one
// another from top to bottom; a band that does not fit in the rest of the page starts the next
// page (a band too high for an empty page stays where it is). Each detail row prints the detail
// band, then for every sub-detail band its rows from the linked data set and its footer; each
// band is followed by its child band, if any.
#include "layout.h"

#include <QDateTime>
#include <QLocale>

#include <memory>

namespace report {

class Report;

class LayoutBuilder {
public:
    // printed: the date and time shown by date-time elements; locale: how they are written.
    LayoutBuilder(const Report &report, const QDateTime &printed, const QLocale &locale = QLocale::system());
    ~LayoutBuilder();
    LayoutBuilder(const LayoutBuilder &) = delete;
    LayoutBuilder &operator=(const LayoutBuilder &) = delete;

    // Moves the report's data sets through all their rows; exceptions from them pass through.
    Layout run();

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

Layout layOut(const Report &report, const QDateTime &printed = QDateTime::currentDateTime(),
              const QLocale &locale = QLocale::system());

} // namespace report
