#pragma once
// The pick list: the table files the user has chosen, held as two parallel lists of UTF-8
// texts, NameList (file name with extension) and PathList (its folder, with the trailing
// separator, or empty). The list box shows NameList; all three grow and empty together.
#include "tables/file.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace selection {

// Paths are split by the table engine's rule: "C:\DATA\CLIENTS.DBF" gives "C:\DATA\" and
// "CLIENTS.DBF"; "CLIENTS.DBF" gives "" and "CLIENTS.DBF", a file then looked for in the current
// directory.
using tables::nativePathStyle;
using tables::PathParts;
using tables::PathStyle;
using tables::splitPath;

// Splits `path` and appends its name to NameList, its folder to PathList and its name to the
// list box through `addItem`. Nothing checks that the file exists or is listed already.
void appendPath(std::string_view path, std::vector<std::string> &NameList, std::vector<std::string> &PathList,
                const std::function<void(const std::string &name)> &addItem, PathStyle style = nativePathStyle);

// Position of the first entry of NameList equal to `name` (whole text, case-sensitive), or -1.
int indexOfName(const std::vector<std::string> &NameList, std::string_view name);

} // namespace selection
