#include "selection/picklist.h"

#include <algorithm>

namespace selection {

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
