#pragma once
// The pick list: the table files the user has chosen, held as two parallel lists of UTF-8
// texts, NameList (file name with extension) and PathList (its folder, with the trailing
// separator, or empty). The list box shows NameList; all three grow and empty together.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace selection {

// Where a path splits into folder and file name.
enum class PathStyle {
    Windows, // after the last backslash or drive colon
    Posix,   // after the last slash
};

#ifdef _WIN32
inline constexpr PathStyle nativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle nativePathStyle = PathStyle::Posix;
#endif

struct PathParts {
    std::string folder; // up to and including the last separator; empty for a bare name
    std::string name;   // the rest

    bool operator==(const PathParts &) const = default;
};

// "C:\DATA\CLIENTS.DBF" gives "C:\DATA\" and "CLIENTS.DBF"; "CLIENTS.DBF" gives "" and
// "CLIENTS.DBF", a file then looked for in the current directory.
PathParts splitPath(std::string_view path, PathStyle style = nativePathStyle);

// Splits `path` and appends its name to NameList, its folder to PathList and its name to the
// list box through `addItem`. Nothing checks that the file exists or is listed already.
void appendPath(std::string_view path, std::vector<std::string> &NameList, std::vector<std::string> &PathList,
                const std::function<void(const std::string &name)> &addItem, PathStyle style = nativePathStyle);

// Position of the first entry of NameList equal to `name` (whole text, case-sensitive), or -1.
int indexOfName(const std::vector<std::string> &NameList, std::string_view name);

} // namespace selection
