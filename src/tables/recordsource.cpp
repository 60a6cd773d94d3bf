#include "recordsource.h"

#include "dbffile.h"
#include "error.h"
#include "file.h"
#include "paradoxfile.h"

#include <cctype>

namespace tables {

namespace {
std::string lowerExtension(const std::string &path)
{
    size_t dot = path.find_last_of('.');
    size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string e = path.substr(dot);
    for (char &c : e)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return e;
}
} // namespace

std::unique_ptr<RecordSource> openRecordSource(const std::string &path, TableType type)
{
    std::string ext = lowerExtension(path);
    if (type == ttDBase || (type == ttDefault && ext == ".dbf"))
        return std::make_unique<DbfFile>(path, false);
    if (type == ttParadox || (type == ttDefault && ext == ".db"))
        return std::make_unique<ParadoxFile>(path);
    // Another extension: recognise the file by its header.
    {
        File probe(path, File::ReadOnly); // reports a missing file or a folder clearly
    }
    try {
        return std::make_unique<DbfFile>(path, false);
    } catch (const Error &) {
    }
    try {
        return std::make_unique<ParadoxFile>(path);
    } catch (const Error &) {
    }
    failFile(path, "это не таблица dBASE или Paradox");
}

} // namespace tables
