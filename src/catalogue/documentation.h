#pragma once
// The build that documents: the same catalogue as Do it makes (same rows, same numbers), and
// beside it the complete structure of every picked table. Unlike Do it, a table that cannot be
// read does not stop it: that table gets its entry with the error, no catalogue row and no
// number, and the build goes on with the next one.
#include "catalogue/catalogue.h"
#include "tables/tableinfo.h"

#include <functional>
#include <string>
#include <vector>

namespace catalogue {

std::vector<tables::TableInfo> buildDocumented(tables::Table &Current, tables::Table &MainData,
                                               tables::Table &TablesData, tables::DataSource &DataSource2,
                                               const std::vector<std::string> &NameList,
                                               const std::vector<std::string> &PathList,
                                               const Progress &progress = {}, const CodePageOf &codePageOf = {});

// The same build handing each table over, in the order of NameList, as soon as its catalogue rows
// are written: still open, with what describes it (`describe()` gives the description and lets
// the file go). The description may be made later, on another thread, while the build reads the
// next tables; Current is closed when the build ends.
using Describing = std::function<tables::TableInfo()>;
using DescribeLater = std::function<void(Describing &&describe)>;
void buildDocumented(tables::Table &Current, tables::Table &MainData, tables::Table &TablesData,
                     tables::DataSource &DataSource2, const std::vector<std::string> &NameList,
                     const std::vector<std::string> &PathList, const DescribeLater &later,
                     const Progress &progress = {}, const CodePageOf &codePageOf = {});

// The same descriptions without touching the catalogue, for tables a build has already put in it
// (numbered in order; a table that can no longer be read gets its error and no number).
std::vector<tables::TableInfo> describeTables(const std::vector<std::string> &NameList,
                                              const std::vector<std::string> &PathList,
                                              const CodePageOf &codePageOf = {});

// Puts the catalogue's view of each field (name cut as stored, type label, size) beside the
// table's fields, from the fields the table engine presented in `presented`.
void addCatalogueView(tables::TableInfo &info, const tables::FieldDefs &presented);

} // namespace catalogue
