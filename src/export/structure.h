#pragma once
// The complete structure of the tables of one build, written out for people (HTML, Markdown)
// and for programs (JSON, CSV). Plain C++: the writers know the table descriptions only.
#include "tables/tableinfo.h"

#include <optional>
#include <string>
#include <vector>

namespace exporter {

enum class Format { Html, Markdown, Json, Csv };

// The format an output file's extension names (.html/.htm, .md, .json, .csv; any letter case).
std::optional<Format> formatOf(const std::string &path);

std::string toHtml(const std::vector<tables::TableInfo> &tables);
std::string toMarkdown(const std::vector<tables::TableInfo> &tables);
std::string toJson(const std::vector<tables::TableInfo> &tables);
std::string toCsv(const std::vector<tables::TableInfo> &tables);
std::string render(Format format, const std::vector<tables::TableInfo> &tables);

// Writes `bytes` to `path` whole or not at all: into a new file beside it, then renamed over it,
// so a failed write leaves an older file of that name as it was. Throws tables::Error.
void writeWhole(const std::string &path, const std::string &bytes);

// A table read without error and without findings.
bool clean(const tables::TableInfo &table);

// Exit statuses of an export.
enum Status { AllClean = 0, SomeProblems = 1, NotWritten = 2 };

} // namespace exporter
