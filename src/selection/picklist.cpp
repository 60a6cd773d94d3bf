#include "selection/picklist.h"

#include <algorithm>

namespace selection {

PathParts splitPath(std::string_view path, PathStyle style)
{
    const std::string_view separators = style == PathStyle::Windows ? std::string_view("\\:") : std::string_view("/");
    const size_t last = path.find_last_of(separators);
    if (last == std::string_view::npos)
        return {{}, std::string(path)};
    return {std::string(path.substr(0, last + 1)), std::string(path.substr(last + 1))};
}

void appendPath(std::string_view path, std::vector<std::string> &NameList, std::vector<std::string> &PathList,
                const std::function<void(const std::string &name)> &addItem, PathStyle style)
{
    PathParts parts = splitPath(path, style);
    addItem(parts.name);
    NameList.push_back(parts.name);
    PathList.push_back(std::move(parts.folder));
}

int indexOfName(const std::vector<std::string> &NameList, std::string_view name)
{
    const auto found = std::find(NameList.begin(), NameList.end(), name);
    return found == NameList.end() ? -1 : int(found - NameList.begin());
}

} // namespace selection
