#include "recordsource.h"

#include "dbffile.h"
#include "error.h"
#include "file.h"
#include "paradoxfile.h"


namespace tables {


std::unique_ptr<RecordSource> openRecordSource(const std::string &path, TableType type, int codePage)
{
    std::string ext = splitPath(path).extension;
    if (type == ttDBase || (type == ttDefault && ext == ".dbf"))
        return std::make_unique<DbfFile>(path, false, codePage);
    if (type == ttParadox || (type == ttDefault && ext == ".db"))
        return std::make_unique<ParadoxFile>(path, codePage);
    // Another extension: recognise the file by its header.
    {
        File probe(path, File::ReadOnly); // reports a missing file or a folder clearly
    }
    try {
        return std::make_unique<DbfFile>(path, false, codePage);
    } catch (const Error &) {
    }
    try {
        return std::make_unique<ParadoxFile>(path, codePage);
    } catch (const Error &) {
    }
    failFile(path, "это не таблица dBASE или Paradox");
}

} // namespace tables
