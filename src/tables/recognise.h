#pragma once
// Telling a table from the other files of a folder by its first bytes, without opening it:
// the header of a dBASE-family or a Paradox table, and the extensions of the files that live
// beside tables (memo, blob, index, validity, code page ...).
#include <cstddef>
#include <cstdint>
#include <string>

namespace tables {

enum class TableKind { None, DBase, Paradox };

// Bytes from the start of a file that recogniseTable() looks at.
inline constexpr size_t kRecogniseBytes = 128;

// What the first `n` bytes of a file (`n` = min(file size, kRecogniseBytes)) say it is. Only the
// start of the header is checked: a table whose header is damaged further on, or whose file is
// cut short after its first descriptor, is still a table (the reader then says what is wrong).
TableKind recogniseTable(const uint8_t *head, size_t n);

// Reads the start of `path` and recognises it. Throws Error, naming the file, when it cannot be
// opened or read (missing, no access, a folder).
TableKind recogniseTableFile(const std::string &path);

// An extension (lower case, with its dot, as splitPath gives it) of a file that belongs to a
// table rather than being one: .dbt, .fpt, .mb, .mdx, .cdx, .ndx, .ntx, .idx, .px, .xnn/.ynn
// (Paradox secondary indexes, nn hexadecimal), .xgn/.ygn, .val, .cpg, .tv, .fam, .lck, .net ...;
// also FoxPro forms, reports, menus and projects (.scx, .frx, .mnx, .pjx ...), which are kept
// in table form but hold a program's parts, not its data.
bool isCompanionExtension(const std::string &extension);

} // namespace tables
