#pragma once
// The complete structure of one table file, as a plain description: what the file is, its code
// page and where that came from, its counts and lengths, its companion files and index tags,
// what is wrong with it, and every field with its native description. Made by describeTable(),
// which never throws: a file that cannot be read gets its `error` and whatever was learnt before.
#include "fielddef.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tables {

class RecordSource;

struct CodePageVerdict {
    enum Source { Header, CpgFile, Text, User, Locale };
    int codePage = 0;            // 866, 1251, 20866 (KOI8-R), 65001 (UTF-8) ...
    Source source = Locale;
    std::string mark;            // what said so: "0x65", "DB866RU0", the .cpg text; empty else
    // Of the characters outside ASCII in the field names and the first records' text, how many
    // read as letters in this code page. checked = 0 when the text is all ASCII.
    int lettersChecked = 0;
    int lettersFit = 0;
};

struct CompanionInfo {
    enum State { Found, Missing, Damaged };
    std::string kind;            // "memo", "blob", "index", "cpg", "primary-index", "secondary-index", "validity", ...
    std::string file;            // file name (as found, or as expected when missing)
    State state = Found;
    std::string note;            // what is wrong with it, in Russian; empty when all is well
};

struct IndexTagInfo {
    std::string file;            // the index file's name
    std::string name;            // tag name
    std::string expression;      // key expression
    bool descending = false;
    bool unique = false;
    std::string filter;          // FOR condition, empty when none
};

struct FieldInfo {
    int number = 0;              // 1-based position among the table's descriptors
    std::string name;            // exactly as stored, decoded to UTF-8, uncut
    // As the catalogue records it (filled by the catalogue build; absent for system columns and
    // tables the build did not describe).
    bool catalogued = false;
    std::string catalogueName;   // cut to 20 characters
    std::string catalogueType;   // type label
    int catalogueSize = 0;
    FieldType type = ftUnknown;  // generic kind presented
    std::string nativeCode;      // dBASE type letter ("C") or Paradox type ("A", with byte "0x01")
    std::string nativeName;      // "Character", "Alpha" ...
    int width = 0;               // bytes in the record
    int decimals = 0;
    int offset = 0;              // in the record (dBASE: the deletion flag is byte 0)
    bool nullable = false;
    bool binary = false;
    bool system = false;         // hidden system column (Visual FoxPro _NullFlags)
    bool autoIncrement = false;
    std::optional<int64_t> autoNext;  // next value the table will give, when the file says
    std::optional<int64_t> autoStep;
    bool key = false;            // part of the primary key (keyed Paradox table)
};

struct TableInfo {
    std::string path;            // full path as given
    std::string folder;          // as picked (with its trailing separator)
    std::string name;            // file name with extension
    int number = 0;              // table number in the catalogue; 0 when the build did not number it
    std::string error;           // not empty: the table could not be read, this says why
    std::string format;          // "dBASE" or "Paradox"; empty when not known
    std::string level;           // "dBASE III+", "dBASE IV", "Visual FoxPro", "Paradox 7.x" ...
    int versionByte = -1;        // the header's version byte
    CodePageVerdict codePage;
    bool codePageKnown = false;
    std::optional<int64_t> headerRecords;   // as the header counts them
    std::optional<int64_t> fileRecords;     // as the file really holds them
    std::optional<int64_t> deletedRecords;  // dBASE: records marked deleted among fileRecords
    std::string lastUpdate;      // YYYY-MM-DD from the header, empty when none or impossible
    std::optional<int64_t> headerLength;
    std::optional<int64_t> recordLength;
    std::optional<int64_t> blockSize;       // Paradox data block
    std::optional<int64_t> fileSize;
    std::string fileTime;        // modification time, UTC, "YYYY-MM-DDTHH:MM:SSZ"
    bool encrypted = false;
    std::vector<CompanionInfo> companions;
    std::vector<IndexTagInfo> indexTags;
    std::vector<std::string> keyFields;     // keyed Paradox table: its key fields in order
    std::vector<std::string> findings;      // health findings, one short Russian sentence each
    std::vector<FieldInfo> fields;
};

// Describes the table at `path`; `codePage` other than 0 is the user's choice for its text.
TableInfo describeTable(const std::string &path, int codePage = 0);
// The same from a table already open in `source` (a dBASE or Paradox reader over `path`), so a
// build that has just opened the table does not open it again.
TableInfo describeTable(const std::string &path, const RecordSource &source, int codePage);

// Native type names.
std::string dbaseTypeName(char letter, bool visualFoxPro);
std::string paradoxTypeName(uint8_t code);
char paradoxTypeLetter(uint8_t code);

} // namespace tables
