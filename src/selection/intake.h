#pragma once
// Intake of paths for the pick list: a file is taken as it is named; a folder gives every table
// in it and below it, folder by folder, each folder's tables in natural order ("2" before
// "10"), then its subfolders in the same order. A table is recognised by its header (dBASE
// family or Paradox), whatever its extension; files that belong to a table (memo, blob, index,
// validity, code page files ...) and files that are not tables are passed over.
//
// Nothing found in a folder can stop or hang the search: a folder that cannot be read, a
// symbolic link back into a folder already searched (a loop), a file that vanishes or cannot be
// read meanwhile, a name that is not valid in the system's encoding, a ".dbf" or ".db" file
// whose header is no table header -- each is skipped, with one note saying so.
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace selection {

struct IntakeProgress {
    int folders = 0;          // folders searched so far
    int tables = 0;           // tables found so far
    std::string folder;       // the folder being searched
};

// Called now and then during a search (at least once per folder); returning false cancels it.
using IntakeCallback = std::function<bool(const IntakeProgress &)>;

struct Intake {
    std::vector<std::string> paths;   // for the pick list, in order
    std::vector<size_t> named;        // for each of `paths`, the position of the named path it came from
    std::vector<std::string> notes;   // what was skipped and why, one sentence each (UTF-8)
    int folders = 0;                  // folders searched
    int passedOver = 0;               // companion files and other files that are no tables
    bool cancelled = false;           // the callback said stop: `paths` is incomplete
};

// Expands `paths` in order (see above). A path that is not a folder, or that does not exist,
// is taken as named: it fails only when it is opened, like a table named in the file dialog.
Intake expandPaths(const std::vector<std::string> &paths, const IntakeCallback &progress = {});

// Natural order of names: runs of digits compare by their value, everything else by letter
// without regard to case; names equal so compare by their bytes.
bool naturalLess(std::string_view a, std::string_view b);

// One message for the user: how many tables were added and what was skipped (at most `shown`
// notes, then how many more there were).
QString intakeSummary(const Intake &intake, int shown = 15);

} // namespace selection
