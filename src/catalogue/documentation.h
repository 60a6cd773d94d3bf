#pragma once
// The build that documents: the same catalogue as Do it makes (same rows, same numbers), and
// beside it the complete structure of every picked table. Unlike Do it, a table that cannot be
// read does not stop it: that table gets its entry with the error, no catalogue row and no
// number, and the build goes on with the next one.
#include "catalogue/catalogue.h"
#include "tables/tableinfo.h"

#include <string>
#include <vector>

namespace catalogue {

std::vector<tables::TableInfo> buildDocumented(tables::Table &Current, tables::Table &MainData,
                                               tables::Table &TablesData, tables::DataSource &DataSource2,
                                               const std::vector<std::string> &NameList,
                                               const std::vector<std::string> &PathList,
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
