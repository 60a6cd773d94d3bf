#include "recognise.h"

#include "bytes.h"
#include "file.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

namespace tables {

namespace {

bool printableName(uint8_t c) { return c >= 0x20 && c != 0x7F; }

// The start of a field descriptor: a name that begins with a visible character, and a type
// letter (dBASE 7 also has '+' and '@'). A terminator (0x0D) right away is a table without
// fields, which the reader will refuse, but a table all the same. Bytes not there are a file
// cut short: the reader reports it.
bool plausibleDescriptor(const uint8_t *head, size_t n, size_t at, size_t typeAt)
{
    if (n <= at)
        return true;
    if (head[at] == 0x0D)
        return true;
    if (!printableName(head[at]) || head[at] == ' ')
        return false;
    if (n <= at + typeAt)
        return true;
    const uint8_t type = head[at + typeAt];
    return std::isalpha(type) || type == '+' || type == '@';
}

bool dBaseII(const uint8_t *head, size_t n)
{
    // Record count u16, date (month, day, year), record length u16, then 16-byte descriptors
    // whose type is C, N or L.
    if (n < 8 || head[3] > 12 || head[4] > 31 || bytes::le16(head + 6) == 0)
        return false;
    if (n <= 8 + 11)
        return true;
    return plausibleDescriptor(head, n, 8, 11) && std::strchr("CNL", head[8 + 11]) && head[8 + 11];
}

bool dBase(const uint8_t *head, size_t n)
{
    static const uint8_t known[] = {0x02, 0x03, 0x04, 0x05, 0x07, 0x30, 0x31, 0x32, 0x43, 0x63, 0x7B, 0x83,
                                    0x87, 0x8B, 0x8C, 0x8E, 0xCB, 0xE5, 0xF5, 0xFB};
    if (n < 12 || std::find(std::begin(known), std::end(known), head[0]) == std::end(known))
        return false;
    const bool level7 = (head[0] & 7) == 4;
    const size_t start = level7 ? 68 : 32;
    // Last update: year, month, day (0 where a writer left it empty).
    const bool later = head[2] <= 12 && head[3] <= 31 && bytes::le16(head + 8) >= start + 1 &&
                       bytes::le16(head + 10) >= 1 && plausibleDescriptor(head, n, start, level7 ? 32 : 11);
    return later || (head[0] == 0x02 && dBaseII(head, n));
}

bool paradox(const uint8_t *head, size_t n)
{
    if (n < 0x3A)
        return false;
    const unsigned fileType = head[0x04], blockKiB = head[0x05], version = head[0x39];
    const bool blockSize = blockKiB == 1 || blockKiB == 2 || blockKiB == 4 || blockKiB == 8 || blockKiB == 16 || blockKiB == 32;
    const int fields = int16_t(bytes::le16(head + 0x21));
    return (fileType == 0 || fileType == 2) && blockSize && version >= 3 && version <= 12 &&
           bytes::le16(head) >= 1 && bytes::le16(head + 2) >= 0x58 && fields >= 1 && fields <= 255;
}

bool hexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

} // namespace

TableKind recogniseTable(const uint8_t *head, size_t n)
{
    if (dBase(head, n))
        return TableKind::DBase;
    if (paradox(head, n))
        return TableKind::Paradox;
    return TableKind::None;
}

TableKind recogniseTableFile(const std::string &path)
{
    File file(path, File::ReadOnly);
    uint8_t head[kRecogniseBytes];
    const size_t n = file.readAt(head, sizeof head, 0);
    return recogniseTable(head, n);
}

bool isCompanionExtension(const std::string &extension)
{
    static const char *const known[] = {".dbt", ".fpt", ".mb",  ".mdx", ".cdx", ".ndx", ".ntx", ".idx",
                                        ".px",  ".val", ".cpg", ".tv",  ".fam", ".lck", ".net", ".inf",
                                        ".dbk", ".tbk", ".mbk", ".bak",
                                        // FoxPro: the database container's memo and index, and
                                        // program parts kept in table form (forms, class
                                        // libraries, reports, labels, menus, projects).
                                        ".dct", ".dcx", ".scx", ".sct", ".vcx", ".vct", ".frx", ".frt",
                                        ".lbx", ".lbt", ".mnx", ".mnt", ".pjx", ".pjt"};
    for (const char *k : known)
        if (extension == k)
            return true;
    // Paradox secondary indexes: .Xnn and .Ynn with two hexadecimal digits, .XGn and .YGn.
    if (extension.size() == 4 && (extension[1] == 'x' || extension[1] == 'y'))
        return (hexDigit(extension[2]) || extension[2] == 'g') && hexDigit(extension[3]);
    return false;
}

} // namespace tables
