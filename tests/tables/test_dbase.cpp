// The dBASE-family reader: the field list of every dBASE fixture, value decoding of each native
// kind (from fixture cells and from bytes written here), memo files, code pages, and damaged
// files made by corrupting copies of the fixtures.
#include "allocation.h"
#include "testutil.h"
#include "tables/codepage.h"
#include "tables/codepage_p.h"
#include "tables/dbffile.h"
#include "tables/error.h"
#include "tables/file.h"
#include "tables/recordsource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;
using tables::DbfFile;
using tables::Value;

namespace {

using testutil::fixture;
using testutil::largestAllocation;
using testutil::Scratch;
using testutil::readAll;
using testutil::writeAll;

std::vector<uint8_t> bytesOf(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

void putLe16(std::vector<uint8_t> &b, size_t at, unsigned v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void putLe32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    putLe16(b, at, v & 0xFFFF);
    putLe16(b, at + 2, v >> 16);
}

std::vector<uint8_t> le(uint64_t v, int n)
{
    std::vector<uint8_t> out;
    for (int i = 0; i < n; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
    return out;
}
std::vector<uint8_t> be(uint64_t v, int n)
{
    std::vector<uint8_t> out = le(v, n);
    return std::vector<uint8_t>(out.rbegin(), out.rend());
}
uint64_t bitsOf(double d)
{
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}
// dBASE 7 O: big-endian, positives with the sign bit set, negatives with all bits inverted.
std::vector<uint8_t> sortableDouble(double d)
{
    uint64_t u = bitsOf(d);
    return be(d >= 0 ? u | (1ull << 63) : ~u, 8);
}
std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}


// "2024-03-15" for a day number (1 = 0001-01-01).
std::string civil(int64_t day)
{
    int64_t z = day - 719163 + 719468; // days since 0000-03-01
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char buf[80];
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld", (long long)y, (long long)m, (long long)d);
    return buf;
}

// One text per value, so that cases can state what they expect in one string.
std::string describe(const Value &v)
{
    char buf[64];
    switch (v.kind) {
    case Value::Kind::Null: return "null";
    case Value::Kind::Text: return "text:" + v.text;
    case Value::Kind::Memo: return "memo:" + v.text;
    case Value::Kind::Integer: return "int:" + std::to_string(v.integer);
    case Value::Kind::Boolean: return v.integer ? "bool:T" : "bool:F";
    case Value::Kind::Number:
        std::snprintf(buf, sizeof buf, "num:%.15g", v.number);
        return v.decimals >= 0 ? buf + ("/" + std::to_string(v.decimals)) : buf;
    case Value::Kind::Currency: std::snprintf(buf, sizeof buf, "cur:%.4f", v.number); return buf;
    case Value::Kind::Date: return "date:" + civil(v.integer);
    case Value::Kind::Time: return "time:" + std::to_string(v.integer);
    case Value::Kind::DateTime:
        std::snprintf(buf, sizeof buf, " %02lld:%02lld:%02lld.%03lld", (long long)(v.ms / 3600000),
                      (long long)(v.ms / 60000 % 60), (long long)(v.ms / 1000 % 60), (long long)(v.ms % 1000));
        return "datetime:" + civil(v.integer) + buf;
    case Value::Kind::Binary: return "binary:" + std::to_string(v.size);
    case Value::Kind::Missing: return "missing:" + v.text;
    }
    return "?";
}

Value cell(const DbfFile &t, int64_t record, const std::string &field)
{
    int i = t.fieldIndex(field);
    if (i < 0)
        throw std::runtime_error("no field " + field);
    return t.value(record, i);
}

// Every cell of every record, as a test of "reads without failing".
void readEverything(const tables::RecordSource &t)
{
    for (int64_t r = 0; r < t.recordCount(); ++r) {
        (void)t.isDeleted(r);
        for (size_t f = 0; f < t.fields().size(); ++f)
            (void)t.value(r, int(f));
    }
    (void)t.warning();
}

std::string testName(std::string s)
{
    for (char &c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return s;
}

// ---------------------------------------------------------------- field lists

struct Expected {
    std::string file; // relative to the fixtures folder
    int64_t records = 0;
    struct Field { std::string name; int type; int size; };
    std::vector<Field> fields;
};

// fields.txt beside the fixtures: "table FILE RECORDS", then "NAME TYPE SIZE" lines.
std::vector<Expected> loadExpected()
{
    std::vector<Expected> out;
    for (const char *dir : {"dbase", "real/dbase"}) {
        std::ifstream in(fixture(std::string(dir) + "/fields.txt"));
        std::string line;
        while (std::getline(in, line)) {
            line = line.substr(0, line.find('#'));
            std::istringstream words(line);
            std::string first;
            if (!(words >> first))
                continue;
            if (first == "table") {
                Expected e;
                words >> e.file >> e.records;
                e.file = std::string(dir) + "/" + e.file;
                out.push_back(e);
            } else if (!out.empty()) {
                Expected::Field f{first, 0, 0};
                words >> f.type >> f.size;
                out.back().fields.push_back(f);
            }
        }
    }
    return out;
}

void PrintTo(const Expected &e, std::ostream *os) { *os << e.file; }

class FieldList : public testing::TestWithParam<Expected> {};

TEST_P(FieldList, IsTheOneTheFixtureDescribes)
{
    const Expected &e = GetParam();
    auto t = tables::openRecordSource(fixture(e.file), tables::ttDefault);
    ASSERT_EQ(t->fields().size(), e.fields.size());
    for (size_t i = 0; i < e.fields.size(); ++i) {
        SCOPED_TRACE(e.fields[i].name);
        EXPECT_EQ(t->fields()[i].name, e.fields[i].name);
        EXPECT_EQ(int(t->fields()[i].type), e.fields[i].type);
        EXPECT_EQ(t->fields()[i].size, e.fields[i].size);
    }
    EXPECT_EQ(t->recordCount(), e.records);
    readEverything(*t);
}

INSTANTIATE_TEST_SUITE_P(dbase, FieldList, testing::ValuesIn(loadExpected()),
                         [](const testing::TestParamInfo<Expected> &i) { return testName(i.param.file); });

TEST(dbaseFieldListFile, DescribesEveryFixtureTable)
{
    std::vector<std::string> described;
    for (const Expected &e : loadExpected())
        described.push_back(e.file);
    for (const char *dir : {"dbase", "real/dbase"})
        for (const auto &entry : fs::directory_iterator(fixture(dir)))
            if (entry.path().extension() == ".dbf") {
                std::string rel = std::string(dir) + "/" + entry.path().filename().string();
                EXPECT_NE(std::find(described.begin(), described.end(), rel), described.end()) << rel;
            }
}

// ---------------------------------------------------------------- values of fixture cells

struct CellCase {
    std::string file;
    int64_t record;
    std::string field;
    std::string expected;
};

void PrintTo(const CellCase &c, std::ostream *os) { *os << c.file << " #" << c.record << " " << c.field; }

class FixtureCell : public testing::TestWithParam<CellCase> {};

TEST_P(FixtureCell, Decodes)
{
    const CellCase &c = GetParam();
    DbfFile t(fixture(c.file), false);
    EXPECT_EQ(describe(cell(t, c.record, c.field)), c.expected);
}

const std::string kW300(300, 'W');

INSTANTIATE_TEST_SUITE_P(
    dbaseText, FixtureCell,
    testing::Values(
        // Cyrillic by the language driver (866, 1251) and by the .cpg beside a GDAL table.
        CellCase{"dbase/cp866.dbf", 0, "NAME", "text:Иванов Иван"},
        CellCase{"dbase/cp866.dbf", 1, "CITY", "text:Санкт-Петербург"},
        CellCase{"dbase/cp866.dbf", 2, "NAME", "text:ЁЖИК ёжик Ъъ"},
        CellCase{"dbase/cp1251.dbf", 0, "NAME", "text:Иванов Иван"},
        CellCase{"dbase/cp1251.dbf", 1, "CITY", "text:Санкт-Петербург"},
        CellCase{"dbase/cp1251.dbf", 2, "NAME", "text:ЁЖИК ёжик Ъъ"},
        CellCase{"dbase/gdal_cp1251.dbf", 0, "NAME", "text:Иванов Иван"},
        CellCase{"dbase/gdal_cp1251.dbf", 2, "CITY", "text:Ярославль"},
        CellCase{"real/dbase/cp1251.dbf", 1, "NAME", "text:больничное"},
        // Clipper: 300 wide, the high byte of the width in the decimal count.
        CellCase{"dbase/clipper_wide.dbf", 0, "LONGTXT", "text:" + kW300},
        CellCase{"dbase/clipper_wide.dbf", 1, "LONGTXT", "text:short"},
        CellCase{"real/dbase/dbase_02.dbf", 0, "LAST", "text:Stegman"},
        CellCase{"real/dbase/dbase_32.dbf", 0, "NAME", "text:Bad Meets Evil"},
        CellCase{"real/dbase/dbase_f5.dbf", 0, "NOM", "text:joan-ramon"}),
    [](const testing::TestParamInfo<CellCase> &i) { return "case" + std::to_string(i.index); });

INSTANTIATE_TEST_SUITE_P(
    dbaseNumbersDatesLogicals, FixtureCell,
    testing::Values(CellCase{"dbase/db3_plain.dbf", 0, "QTY", "num:1/0"},
                    CellCase{"dbase/db3_plain.dbf", 1, "QTY", "num:-20/0"},
                    CellCase{"dbase/db3_plain.dbf", 0, "PRICE", "num:12.5/2"},
                    CellCase{"dbase/db3_plain.dbf", 1, "PRICE", "num:0.01/2"},
                    CellCase{"dbase/db3_plain.dbf", 2, "PRICE", "num:99999.99/2"},
                    CellCase{"dbase/db3_plain.dbf", 0, "BORN", "date:2024-03-15"},
                    CellCase{"dbase/db3_plain.dbf", 1, "BORN", "date:1999-12-31"},
                    CellCase{"dbase/db3_plain.dbf", 2, "BORN", "null"},
                    CellCase{"dbase/db3_plain.dbf", 0, "OK", "bool:T"},
                    CellCase{"dbase/db3_plain.dbf", 1, "OK", "bool:F"},
                    CellCase{"dbase/db3_plain.dbf", 2, "OK", "null"},
                    CellCase{"dbase/db4_memo.dbf", 2, "OK", "null"}, // '?'
                    CellCase{"dbase/db4_memo.dbf", 1, "AMOUNT", "num:2/0"},
                    CellCase{"dbase/db4_memo.dbf", 2, "PRICE", "null"},
                    CellCase{"dbase/fox26_memo.dbf", 0, "AMOUNT", "num:3.125/3"},
                    CellCase{"dbase/fox26_memo.dbf", 1, "AMOUNT", "num:-1.5/3"},
                    CellCase{"real/dbase/dbase_8b.dbf", 0, "NUMERICAL", "num:1/2"},
                    CellCase{"real/dbase/dbase_8b.dbf", 0, "FLOAT", "num:1.23456789012346/18"},
                    CellCase{"real/dbase/dbase_8b.dbf", 0, "DATE", "date:1970-01-01"},
                    CellCase{"real/dbase/dbase_8b.dbf", 0, "LOGICAL", "bool:T"},
                    CellCase{"real/dbase/dbase_02.dbf", 0, "PAYRATE", "num:6/3"}),
    [](const testing::TestParamInfo<CellCase> &i) { return "case" + std::to_string(i.index); });

INSTANTIATE_TEST_SUITE_P(
    dbaseMemos, FixtureCell,
    testing::Values(
        // .dbt of dBASE III (text ended by 0x1A), over several blocks.
        CellCase{"dbase/db3_memo.dbf", 0, "NOTES", "memo:short memo"},
        CellCase{"dbase/db3_memo.dbf", 1, "NOTES", "memo:" + std::string(1500, 'x') + " end"},
        CellCase{"dbase/db3_memo.dbf", 2, "NOTES", "null"},
        // .dbt of dBASE IV (blocks with a length).
        CellCase{"dbase/db4_memo.dbf", 0, "NOTES", "memo:dBASE IV memo one"},
        CellCase{"dbase/db4_memo.dbf", 1, "NOTES", "memo:" + std::string(1000, 'z') + " tail"},
        CellCase{"dbase/db4_memo.dbf", 2, "NOTES", "null"},
        CellCase{"real/dbase/dbase_8b.dbf", 0, "MEMO", "memo:First memo\r\n"},
        // .fpt of FoxPro 2.x and Visual FoxPro; a General field is binary.
        CellCase{"dbase/fox26_memo.dbf", 0, "DESCR", "memo:FoxPro memo text"},
        CellCase{"dbase/fox26_memo.dbf", 1, "DESCR", "memo:" + std::string(700, 'y')},
        CellCase{"dbase/fox26_memo.dbf", 0, "PIC", "binary:3"},
        CellCase{"dbase/fox26_memo.dbf", 1, "PIC", "null"},
        CellCase{"dbase/vfp_types.dbf", 0, "NOTE", "memo:vfp memo"},
        CellCase{"dbase/vfp_types.dbf", 0, "OBJ", "binary:2"},
        CellCase{"dbase/vfp_varlen.dbf", 0, "BLOBW", "binary:4"},
        CellCase{"dbase/vfp_varlen.dbf", 1, "BLOBW", "null"},
        CellCase{"real/dbase/dbase_30.dbf", 0, "CLASSES", "memo:Domestic Life\r\nWeddings\r\n"},
        // No .dbt beside the table: the memo cells say so, the rest reads.
        CellCase{"real/dbase/dbase_83_missing_memo.dbf", 0, "DESC", "missing:нет файла примечаний «dbase_83_missing_memo.dbt»"},
        CellCase{"real/dbase/dbase_83_missing_memo.dbf", 0, "NAME", "text:Assorted Petits Fours"}),
    [](const testing::TestParamInfo<CellCase> &i) { return "case" + std::to_string(i.index); });

INSTANTIATE_TEST_SUITE_P(
    dbaseVisualFoxProAndDbase7, FixtureCell,
    testing::Values(CellCase{"dbase/vfp_types.dbf", 0, "NAME", "text:one"},
                    CellCase{"dbase/vfp_types.dbf", 1, "NAME", "null"},
                    CellCase{"dbase/vfp_types.dbf", 0, "MONEY", "cur:12.3455"},
                    CellCase{"dbase/vfp_types.dbf", 1, "MONEY", "cur:-0.5000"},
                    CellCase{"dbase/vfp_types.dbf", 0, "STAMP", "datetime:2024-03-15 13:45:30.000"},
                    CellCase{"dbase/vfp_types.dbf", 1, "STAMP", "datetime:1999-12-31 23:59:59.000"},
                    CellCase{"dbase/vfp_types.dbf", 0, "CNT", "int:42"},
                    CellCase{"dbase/vfp_types.dbf", 1, "CNT", "int:-7"},
                    CellCase{"dbase/vfp_types.dbf", 0, "DBL", "num:3.5"},
                    CellCase{"dbase/vfp_types.dbf", 1, "DBL", "num:-1e+100"},
                    CellCase{"dbase/vfp_types.dbf", 0, "WHEN", "date:2024-03-15"},
                    CellCase{"dbase/vfp_types.dbf", 0, "AMT", "num:1.25/2"},
                    CellCase{"dbase/vfp_types.dbf", 1, "AMT", "null"},
                    // Stored as 61984999 ms: Visual FoxPro keeps whole seconds.
                    CellCase{"real/dbase/dbase_30.dbf", 0, "UPDATED", "datetime:2006-04-20 17:13:05.000"},
                    CellCase{"real/dbase/types.dbf", 1, "CONTACT_TY", "int:2"},
                    CellCase{"dbase/db7_types.dbf", 0, "LONG_FIELD_NAME_OF_31_CHARACTER", "int:-5"},
                    CellCase{"dbase/db7_types.dbf", 1, "LONG_FIELD_NAME_OF_31_CHARACTER", "int:100000"},
                    CellCase{"dbase/db7_types.dbf", 0, "AUTO", "int:1"},
                    CellCase{"dbase/db7_types.dbf", 1, "AUTO", "int:2"},
                    CellCase{"dbase/db7_types.dbf", 0, "DBL", "num:2.5"},
                    CellCase{"dbase/db7_types.dbf", 1, "DBL", "num:-0.125"},
                    CellCase{"dbase/db7_types.dbf", 1, "STAMP", "null"},
                    CellCase{"dbase/db7_types.dbf", 0, "NUM", "num:3.25/2"},
                    CellCase{"dbase/db7_types.dbf", 1, "OK", "null"}),
    [](const testing::TestParamInfo<CellCase> &i) { return "case" + std::to_string(i.index); });

// ---------------------------------------------------------------- values of stored bytes

// A table of one field (plus _NullFlags for Visual FoxPro when `nullFlags` >= 0) holding one
// record with `stored` in it. Level 7 (versions 0x04, 0x8C) gets the 68-byte header and
// 48-byte descriptors.
std::vector<uint8_t> oneFieldTable(uint8_t version, char type, int width, int decimals, uint8_t flags,
                                   const std::vector<uint8_t> &stored, int nullFlags)
{
    const bool level7 = (version & 7) == 4;
    const bool vfp = version == 0x30;
    const int descriptor = level7 ? 48 : 32;
    const int nfields = nullFlags >= 0 ? 2 : 1;
    const int start = level7 ? 68 : 32;
    const int header = start + descriptor * nfields + 1 + (vfp ? 263 : 0);
    const int record = 1 + width + (nullFlags >= 0 ? 1 : 0);
    std::vector<uint8_t> b(size_t(header), 0);
    b[0] = version;
    b[1] = 124, b[2] = 3, b[3] = 15;
    putLe32(b, 4, 1);
    putLe16(b, 8, unsigned(header));
    putLe16(b, 10, unsigned(record));
    auto put = [&](int at, const char *name, char t, int w, int dec, uint8_t fl) {
        std::memcpy(b.data() + at, name, std::strlen(name));
        b[size_t(at + (level7 ? 32 : 11))] = uint8_t(t);
        b[size_t(at + (level7 ? 33 : 16))] = uint8_t(w);
        b[size_t(at + (level7 ? 34 : 17))] = uint8_t(dec);
        if (!level7)
            b[size_t(at + 18)] = fl;
    };
    put(start, "F", type, width, decimals, flags);
    if (nullFlags >= 0)
        put(start + descriptor, "_NullFlags", '0', 1, 0, 0x05);
    b[size_t(start + descriptor * nfields)] = 0x0D;
    std::vector<uint8_t> rec(size_t(record), ' ');
    std::vector<uint8_t> data = stored;
    data.resize(size_t(width), ' ');
    std::copy(data.begin(), data.end(), rec.begin() + 1);
    if (nullFlags >= 0)
        rec.back() = uint8_t(nullFlags);
    b.insert(b.end(), rec.begin(), rec.end());
    b.push_back(0x1A);
    return b;
}

struct ByteCase {
    std::string what;
    uint8_t version;
    char type;
    int width;
    int decimals;
    uint8_t flags;
    std::vector<uint8_t> stored;
    std::string expected;
    int nullFlags = -1;
};

void PrintTo(const ByteCase &c, std::ostream *os) { *os << c.what; }

class StoredBytes : public testing::TestWithParam<ByteCase> {};

TEST_P(StoredBytes, Decode)
{
    const ByteCase &c = GetParam();
    Scratch dir;
    const std::string path = dir.path("t.dbf");
    writeAll(path, oneFieldTable(c.version, c.type, c.width, c.decimals, c.flags, c.stored, c.nullFlags));
    DbfFile t(path, false);
    ASSERT_EQ(t.fields().size(), 1u);
    EXPECT_EQ(describe(t.value(0, 0)), c.expected);
}

// 2024-03-15 13:45:30 as a BDE time stamp: day 738960 (1 = 0001-01-01) in milliseconds.
const double kStamp = 738960.0 * 86400000.0 + 49530000.0;
const std::string kStampText = "datetime:2024-03-15 13:45:30.000";

INSTANTIATE_TEST_SUITE_P(
    dbase, StoredBytes,
    testing::Values(
        ByteCase{"LogicalT", 0x03, 'L', 1, 0, 0, bytesOf("T"), "bool:T"},
        ByteCase{"Logicaly", 0x03, 'L', 1, 0, 0, bytesOf("y"), "bool:T"},
        ByteCase{"Logicalf", 0x03, 'L', 1, 0, 0, bytesOf("f"), "bool:F"},
        ByteCase{"LogicalN", 0x03, 'L', 1, 0, 0, bytesOf("N"), "bool:F"},
        ByteCase{"LogicalUnknown", 0x03, 'L', 1, 0, 0, bytesOf("?"), "null"},
        ByteCase{"LogicalBlank", 0x03, 'L', 1, 0, 0, bytesOf(" "), "null"},
        ByteCase{"NumericDecimals", 0x03, 'N', 8, 2, 0, bytesOf("   12.50"), "num:12.5/2"},
        ByteCase{"NumericNegative", 0x03, 'N', 6, 1, 0, bytesOf("  -0.5"), "num:-0.5/1"},
        ByteCase{"NumericOverflowKeptAsStored", 0x03, 'N', 5, 0, 0, bytesOf("*****"), "text:*****"},
        ByteCase{"NumericBlank", 0x03, 'N', 5, 0, 0, bytesOf("     "), "null"},
        ByteCase{"FloatType", 0x8B, 'F', 10, 3, 0, bytesOf("    -1.250"), "num:-1.25/3"},
        ByteCase{"DateLeapDay", 0x03, 'D', 8, 0, 0, bytesOf("20240229"), "date:2024-02-29"},
        ByteCase{"DateZeros", 0x03, 'D', 8, 0, 0, bytesOf("00000000"), "null"},
        ByteCase{"DateImpossibleKeptAsStored", 0x03, 'D', 8, 0, 0, bytesOf("20230229"), "text:20230229"},
        ByteCase{"CharacterNulPadded", 0x03, 'C', 6, 0, 0, {'a', 'b', 'c', 0, 0, 0}, "text:abc"},
        // A decimal count that the record length shows is no high byte of the width.
        ByteCase{"CharacterDecimalsNotAWidth", 0x03, 'C', 5, 2, 0, bytesOf("hello"), "text:hello"},
        ByteCase{"MemoBlank", 0x83, 'M', 10, 0, 0, bytesOf("          "), "null"},
        ByteCase{"UnknownLetterShownAsText", 0x03, 'X', 2, 0, 0, bytesOf("zz"), "text:zz"},
        // dBASE 7: big-endian integers with the sign bit flipped, O in sortable form.
        ByteCase{"Level7LongOne", 0x04, 'I', 4, 0, 0, {0x80, 0, 0, 1}, "int:1"},
        ByteCase{"Level7LongMinusOne", 0x04, 'I', 4, 0, 0, {0x7F, 0xFF, 0xFF, 0xFF}, "int:-1"},
        ByteCase{"Level7LongZero", 0x04, 'I', 4, 0, 0, {0x80, 0, 0, 0}, "int:0"},
        ByteCase{"Level7LongEmpty", 0x04, 'I', 4, 0, 0, {0, 0, 0, 0}, "null"},
        ByteCase{"Level7AutoInc", 0x04, '+', 4, 0, 0, {0x80, 0, 0, 0x0B}, "int:11"},
        ByteCase{"Level7DoublePositive", 0x04, 'O', 8, 0, 0, sortableDouble(2.5), "num:2.5"},
        ByteCase{"Level7DoubleNegative", 0x04, 'O', 8, 0, 0, sortableDouble(-1234.5), "num:-1234.5"},
        ByteCase{"Level7DoubleEmpty", 0x04, 'O', 8, 0, 0, std::vector<uint8_t>(8, 0), "null"},
        // @: a BDE time stamp as TDbf writes it (a plain big-endian double), and in the
        // sortable form of O that other writers use.
        ByteCase{"Level7TimestampPlain", 0x04, '@', 8, 0, 0, be(bitsOf(kStamp), 8), kStampText},
        ByteCase{"Level7TimestampSortable", 0x04, '@', 8, 0, 0, sortableDouble(kStamp), kStampText},
        ByteCase{"Level7TimestampEmpty", 0x04, '@', 8, 0, 0, std::vector<uint8_t>(8, 0), "null"},
        // Visual FoxPro binary kinds.
        ByteCase{"VfpCurrency", 0x30, 'Y', 8, 4, 0, le(123456, 8), "cur:12.3456"},
        ByteCase{"VfpCurrencyNegative", 0x30, 'Y', 8, 4, 0, le(uint64_t(-5000), 8), "cur:-0.5000"},
        ByteCase{"VfpDateTime", 0x30, 'T', 8, 0, 0, le(2460385, 4) + le(49530000, 4), kStampText},
        ByteCase{"VfpDateTimeRoundsToTheNextDay", 0x30, 'T', 8, 0, 0, le(2460385, 4) + le(86399700, 4),
                 "datetime:2024-03-16 00:00:00.000"},
        ByteCase{"VfpDateTimeEmpty", 0x30, 'T', 8, 0, 0, std::vector<uint8_t>(8, 0), "null"},
        ByteCase{"VfpInteger", 0x30, 'I', 4, 0, 0, le(uint32_t(-7), 4), "int:-7"},
        ByteCase{"VfpDouble", 0x30, 'B', 8, 0, 0, le(bitsOf(-0.25), 8), "num:-0.25"},
        ByteCase{"VfpMemoNone", 0x30, 'M', 4, 0, 0, le(0, 4), "null"},
        // _NullFlags: the NULL bit of a nullable field; for V and Q the "shorter than the
        // width" bit comes first (length in the last byte), then the NULL bit.
        ByteCase{"VfpNullBitSet", 0x30, 'N', 8, 2, 0x02, bytesOf("    1.25"), "null", 0x01},
        ByteCase{"VfpNullBitClear", 0x30, 'N', 8, 2, 0x02, bytesOf("    1.25"), "num:1.25/2", 0x00},
        ByteCase{"VfpVarcharShort", 0x30, 'V', 10, 0, 0x00, {'a', 'b', 'c', 0, 0, 0, 0, 0, 0, 3}, "text:abc", 0x01},
        ByteCase{"VfpVarcharFull", 0x30, 'V', 4, 0, 0x00, bytesOf("abcd"), "text:abcd", 0x00},
        ByteCase{"VfpNullableVarcharShort", 0x30, 'V', 10, 0, 0x02, {'a', 'b', 0, 0, 0, 0, 0, 0, 0, 2}, "text:ab",
                 0x01},
        ByteCase{"VfpNullableVarcharNull", 0x30, 'V', 10, 0, 0x02, {'a', 'b', 0, 0, 0, 0, 0, 0, 0, 2}, "null",
                 0x02},
        ByteCase{"VfpVarbinaryShort", 0x30, 'Q', 6, 0, 0x04, {1, 2, 0, 0, 0, 2}, "binary:2", 0x01},
        // Harbour's kinds in level-3 tables: @ and = are a little-endian Julian day number and
        // milliseconds since midnight, ^ a 64-bit row version, 2/4 integers, 8 a double.
        ByteCase{"HarbourTimestamp", 0x03, '@', 8, 0, 0, le(2460385, 4) + le(49530123, 4),
                 "datetime:2024-03-15 13:45:30.123"},
        ByteCase{"HarbourTimestampEmpty", 0x03, '@', 8, 0, 0, std::vector<uint8_t>(8, 0), "null"},
        ByteCase{"HarbourModTime", 0x03, '=', 8, 0, 0, le(2460385, 4) + le(49530000, 4), kStampText},
        ByteCase{"HarbourRowVersion", 0x03, '^', 8, 0, 0, le(123456789012ull, 8), "int:123456789012"},
        ByteCase{"HarbourAutoInc", 0x03, '+', 4, 0, 0, le(11, 4), "int:11"},
        ByteCase{"HarbourShort", 0x03, '2', 2, 0, 0, le(uint16_t(-3), 2), "int:-3"},
        ByteCase{"HarbourLong", 0x03, '4', 4, 0, 0, le(uint32_t(-70000), 4), "int:-70000"},
        ByteCase{"HarbourDouble", 0x03, '8', 8, 0, 0, le(bitsOf(-2.5), 8), "num:-2.5"},
        // A kind nobody decodes shows its bytes in hex once they are not plain text.
        ByteCase{"UnknownKindBytesInHex", 0x03, 'X', 4, 0, 0, {0x01, 0x1B, 'a', 0xFF}, "text:01 1B 61 FF"}),
    [](const testing::TestParamInfo<ByteCase> &i) { return i.param.what; });

// ---------------------------------------------------------------- field kinds

// Each native kind as a one-field table built from bytes: the type code the engine presents it
// with, and the size the catalogue stores (the README's table of kinds, row by row).
struct KindCase {
    std::string what;
    uint8_t version;
    char type;
    int width;
    int decimals;
    tables::FieldType presented;
    int size;
};

void PrintTo(const KindCase &c, std::ostream *os) { *os << c.what; }

class FieldKind : public testing::TestWithParam<KindCase> {};

TEST_P(FieldKind, IsPresentedWithItsCodeAndSize)
{
    const KindCase &c = GetParam();
    Scratch dir;
    writeAll(dir.path("t.dbf"), oneFieldTable(c.version, c.type, c.width, c.decimals, 0, {}, -1));
    DbfFile t(dir.path("t.dbf"), false);
    ASSERT_EQ(t.fields().size(), 1u);
    EXPECT_EQ(t.fields()[0].type, c.presented);
    EXPECT_EQ(t.fields()[0].size, c.size);
}

INSTANTIATE_TEST_SUITE_P(
    dbase, FieldKind,
    testing::Values(KindCase{"Character", 0x03, 'C', 12, 0, tables::ftString, 12},
                    KindCase{"VfpVarchar", 0x30, 'V', 9, 0, tables::ftString, 9},
                    KindCase{"Numeric", 0x03, 'N', 8, 2, tables::ftFloat, 0},
                    KindCase{"Float", 0x8B, 'F', 10, 3, tables::ftFloat, 0},
                    KindCase{"VfpDouble", 0x30, 'B', 8, 0, tables::ftFloat, 0},
                    KindCase{"Level7Double", 0x04, 'O', 8, 0, tables::ftFloat, 0},
                    KindCase{"VfpInteger", 0x30, 'I', 4, 0, tables::ftInteger, 0},
                    KindCase{"Level7Long", 0x04, 'I', 4, 0, tables::ftInteger, 0},
                    KindCase{"VfpCurrency", 0x30, 'Y', 8, 4, tables::ftCurrency, 0},
                    KindCase{"Date", 0x03, 'D', 8, 0, tables::ftDate, 0},
                    KindCase{"VfpDateTime", 0x30, 'T', 8, 0, tables::ftDateTime, 0},
                    KindCase{"Level7Timestamp", 0x04, '@', 8, 0, tables::ftDateTime, 0},
                    KindCase{"Logical", 0x03, 'L', 1, 0, tables::ftBoolean, 0},
                    KindCase{"Level7AutoIncrement", 0x04, '+', 4, 0, tables::ftAutoInc, 0},
                    KindCase{"Memo", 0x83, 'M', 10, 0, tables::ftMemo, 10},
                    KindCase{"VfpMemo", 0x30, 'M', 4, 0, tables::ftMemo, 4},
                    KindCase{"Dbase5Binary", 0x8B, 'B', 10, 0, tables::ftBlob, 10},
                    KindCase{"VfpBlob", 0x30, 'W', 4, 0, tables::ftBlob, 4},
                    KindCase{"General", 0xF5, 'G', 10, 0, tables::ftDBaseOle, 10},
                    KindCase{"FoxProPicture", 0xF5, 'P', 10, 0, tables::ftGraphic, 10},
                    KindCase{"VfpVarbinary", 0x30, 'Q', 6, 0, tables::ftVarBytes, 6},
                    // Harbour's kinds in level-3 tables, presented as what they hold.
                    KindCase{"HarbourTimestamp", 0x03, '@', 8, 0, tables::ftDateTime, 0},
                    KindCase{"HarbourModTime", 0x03, '=', 8, 0, tables::ftDateTime, 0},
                    KindCase{"HarbourRowVersion", 0x03, '^', 8, 0, tables::ftFloat, 0},
                    KindCase{"HarbourAutoInc", 0x03, '+', 4, 0, tables::ftAutoInc, 0},
                    KindCase{"HarbourShort", 0x03, '2', 2, 0, tables::ftSmallint, 0},
                    KindCase{"HarbourLong", 0x03, '4', 4, 0, tables::ftInteger, 0},
                    KindCase{"HarbourDouble", 0x03, '8', 8, 0, tables::ftFloat, 0},
                    // A letter no reader knows: "Unknown", size 0, whatever its width.
                    KindCase{"UnknownLetter", 0x03, 'X', 7, 0, tables::ftUnknown, 0},
                    KindCase{"UnknownLetterLevel7", 0x04, 'X', 7, 0, tables::ftUnknown, 0}),
    [](const testing::TestParamInfo<KindCase> &i) { return i.param.what; });

// ---------------------------------------------------------------- records and counts

TEST(dbaseRecords, DeletedOnesAreFlaggedAndStillRead)
{
    DbfFile t(fixture("dbase/deleted.dbf"), false);
    ASSERT_EQ(t.recordCount(), 5);
    std::vector<bool> deleted;
    for (int64_t r = 0; r < 5; ++r)
        deleted.push_back(t.isDeleted(r));
    EXPECT_EQ(deleted, (std::vector<bool>{false, true, false, true, false}));
    EXPECT_EQ(describe(cell(t, 1, "S")), "text:row2");
}

TEST(dbaseRecords, HeaderCountIsBelievedOnlyAsFarAsTheFileHolds)
{
    struct Case { std::string file; int64_t records; std::vector<std::string> warning; };
    const Case cases[] = {
        {"dbase/bad_count.dbf", 2, {"bad_count.dbf", "указано записей: 10", "только 2"}},
        {"real/dbase/dbase_8b_incorrect_record_count.dbf", 10, {"указано записей: 15", "только 10"}},
        {"dbase/short_count.dbf", 2, {}}, // a record past the count is not part of the table
        {"dbase/empty.dbf", 0, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        DbfFile t(fixture(c.file), false);
        EXPECT_EQ(t.recordCount(), c.records);
        for (const std::string &w : c.warning)
            EXPECT_NE(t.warning().find(w), std::string::npos) << t.warning();
        if (c.warning.empty()) {
            EXPECT_EQ(t.warning(), "");
        }
    }
    DbfFile bad(fixture("dbase/bad_count.dbf"), false);
    EXPECT_EQ(describe(cell(bad, 1, "S")), "text:two");
}

TEST(dbaseRecords, OnlyTheLayoutsTheWriterKnowsOpenForWriting)
{
    const std::pair<std::string, bool> cases[] = {
        {"dbase/db3_plain.dbf", true},      {"dbase/db4_memo.dbf", true},
        {"real/dbase/dbase_02.dbf", false}, {"dbase/db7_types.dbf", false},
        {"dbase/vfp_types.dbf", false},
    };
    for (const auto &[file, writable] : cases) {
        SCOPED_TRACE(file);
        Scratch dir;
        const std::string path = dir.copy(file, "t.dbf");
        const std::vector<uint8_t> before = readAll(path);
        if (writable) {
            EXPECT_NO_THROW(DbfFile(path, true));
        } else {
            try {
                DbfFile t(path, true);
                ADD_FAILURE() << "opened for writing";
            } catch (const tables::Error &e) {
                EXPECT_NE(std::string(e.what()).find("можно только читать"), std::string::npos) << e.what();
            }
        }
        EXPECT_EQ(readAll(path), before);
    }
}

// ---------------------------------------------------------------- memo files

TEST(dbaseMemo, MissingFileGivesMissingCellsAndAWarning)
{
    DbfFile t(fixture("real/dbase/dbase_83_missing_memo.dbf"), false);
    ASSERT_EQ(t.recordCount(), 67);
    const int desc = t.fieldIndex("DESC");
    for (int64_t r = 0; r < t.recordCount(); ++r) {
        Value v = t.value(r, desc);
        ASSERT_EQ(v.kind, Value::Kind::Missing) << r;
        EXPECT_NE(v.text.find("dbase_83_missing_memo.dbt"), std::string::npos) << v.text;
    }
    EXPECT_NE(t.warning().find("нет файла примечаний «dbase_83_missing_memo.dbt»"), std::string::npos)
        << t.warning();
}

TEST(dbaseMemo, DamageStaysInsideTheMemoCells)
{
    // Each case: a copy of a memo table whose memo file is cut, replaced or pointed past. The
    // damaged cells say what is wrong, in the words the grid shows in brackets (the scratch
    // folder left out of the file names).
    const std::string kUnreadable = "missing:примечание не читается: Файл ";
    struct Case {
        std::string what, table, memo;
        std::function<void(std::vector<uint8_t> &dbf, std::vector<uint8_t> &memo)> damage;
        std::string field;
        std::vector<std::string> expected; // per record
    };
    const Case cases[] = {
        {"dBASE IV memo file cut after the first memo", "db4_memo.dbf", "db4_memo.dbt",
         [](auto &, auto &m) { m.resize(600); }, "NOTES",
         {"memo:dBASE IV memo one", kUnreadable + "«db4_memo.dbt»: ссылка на блок 2 за концом файла примечаний", "null"}},
        {"dBASE III memo file cut in the second memo", "db3_memo.dbf", "db3_memo.dbt",
         [](auto &, auto &m) { m.resize(1100); }, "NOTES",
         {"memo:short memo", "memo:" + std::string(1100 - 1024, 'x'),
          kUnreadable + "«db3_memo.dbt»: ссылка на блок 5 за концом файла примечаний"}},
        {"memo file shorter than its header", "db4_memo.dbf", "db4_memo.dbt", [](auto &, auto &m) { m.resize(10); },
         "NOTES",
         {kUnreadable + "«db4_memo.dbt»: ссылка на блок 1 за концом файла примечаний",
          kUnreadable + "«db4_memo.dbt»: ссылка на блок 2 за концом файла примечаний", "null"}},
        {"block number past the end", "db4_memo.dbf", "db4_memo.dbt",
         [](auto &d, auto &) { std::memcpy(d.data() + 225 + 60, "   9999999", 10); }, "NOTES",
         {kUnreadable + "«db4_memo.dbt»: ссылка на блок 9999999 за концом файла примечаний",
          "memo:" + std::string(1000, 'z') + " tail", "null"}},
        {"block number not a number", "db4_memo.dbf", "db4_memo.dbt",
         [](auto &d, auto &) { std::memcpy(d.data() + 225 + 60, "   12x4   ", 10); }, "NOTES",
         {"missing:повреждена ссылка на примечание: «12x4»", "memo:" + std::string(1000, 'z') + " tail", "null"}},
        {"FoxPro memo length past the end", "fox26_memo.dbf", "fox26_memo.fpt",
         [](auto &d, auto &m) {
             // Record 1's DESCR (header 488, field at 32) names the block; the .fpt header
             // gives the block size (u16 BE at 6). That memo's u32 BE data length made huge.
             const size_t block = std::stoul(std::string(d.begin() + 488 + 32, d.begin() + 488 + 42));
             const size_t blockSize = size_t(m[6]) * 256 + m[7];
             m[block * blockSize + 4] = 0x7F;
         },
         "DESCR", {kUnreadable + "«fox26_memo.fpt»: длина примечания в блоке 4 больше файла",
                   "memo:" + std::string(700, 'y'), "null"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Scratch dir;
        std::vector<uint8_t> dbf = readAll(fixture("dbase/" + c.table));
        std::vector<uint8_t> memo = readAll(fixture("dbase/" + c.memo));
        c.damage(dbf, memo);
        writeAll(dir.path(c.table), dbf);
        writeAll(dir.path(c.memo), memo);
        DbfFile t(dir.path(c.table), false);
        ASSERT_EQ(t.recordCount(), int64_t(c.expected.size()));
        for (size_t r = 0; r < c.expected.size(); ++r) {
            std::string got = describe(cell(t, int64_t(r), c.field));
            for (size_t at; (at = got.find(dir.folder())) != std::string::npos;)
                got.erase(at, dir.folder().size());
            EXPECT_EQ(got, c.expected[r]) << "record " << r;
        }
        readEverything(t);
    }
}

TEST(dbaseMemo, AMemoFileHoldingOnlyItsHeaderIsNotDamaged)
{
    // A dBASE IV .dbt that holds no memo yet: its header alone, shorter than one block, beside
    // a table with no rows or whose records point into no block. Nothing is wrong with it.
    auto noRows = [](std::vector<uint8_t> &d) {
        const size_t header = size_t(d[8]) | size_t(d[9]) << 8;
        d.resize(header);
        d.push_back(0x1A);
        d[4] = d[5] = d[6] = d[7] = 0;
    };
    auto noMemos = [](std::vector<uint8_t> &d) {
        for (size_t r = 0; r < 3; ++r) // NOTES: the last 10 bytes of each 70-byte record
            std::memset(d.data() + 225 + 70 * r + 60, ' ', 10);
    };
    auto headerOnly = [](size_t bytes, unsigned blockSize) {
        return [bytes, blockSize](std::vector<uint8_t> &m) {
            m.resize(bytes);
            m[20] = uint8_t(blockSize), m[21] = uint8_t(blockSize >> 8);
            m[0] = 1, m[1] = m[2] = m[3] = 0; // the next free block is the first
        };
    };
    struct Case {
        std::string what;
        std::function<void(std::vector<uint8_t> &)> table, memo;
        int64_t rows;
    };
    const Case cases[] = {
        {"no rows, the 24 header bytes that matter", noRows, headerOnly(24, 512), 0},
        {"no rows, a 512-byte header of a 1024-byte block", noRows, headerOnly(512, 1024), 0},
        {"no rows, a header of 8 bytes", noRows, headerOnly(8, 512), 0},
        {"rows without memos, the 24 header bytes", noMemos, headerOnly(24, 512), 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Scratch dir;
        std::vector<uint8_t> dbf = readAll(fixture("dbase/db4_memo.dbf"));
        std::vector<uint8_t> memo = readAll(fixture("dbase/db4_memo.dbt"));
        c.table(dbf);
        c.memo(memo);
        writeAll(dir.path("t.dbf"), dbf);
        writeAll(dir.path("t.dbt"), memo);
        DbfFile t(dir.path("t.dbf"), false);
        EXPECT_EQ(t.warning(), "");
        ASSERT_EQ(t.recordCount(), c.rows);
        for (int64_t r = 0; r < c.rows; ++r)
            EXPECT_EQ(describe(cell(t, r, "NOTES")), "null") << "record " << r;
    }
}

TEST(dbaseMemo, Dbase5AndLevel7FieldsReadTheDbt)
{
    // db4_memo.dbt (dBASE IV kind) holds "dBASE IV memo one" in block 1 and 1000 × "z" +
    // " tail" in block 2; tables of dBASE 5 (0x8B) and level 7 (0x8C) point into it.
    struct Case { uint8_t version; char type; std::string block; tables::FieldType presented; std::string expected; };
    const Case cases[] = {
        {0x8B, 'B', "         1", tables::ftBlob, "binary:17"},
        {0x8B, 'G', "         2", tables::ftDBaseOle, "binary:1005"},
        {0x8C, 'M', "         1", tables::ftMemo, "memo:dBASE IV memo one"},
        {0x8C, 'B', "         2", tables::ftBlob, "binary:1005"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(1, c.type) + " in version " + std::to_string(c.version));
        Scratch dir;
        writeAll(dir.path("t.dbf"), oneFieldTable(c.version, c.type, 10, 0, 0, bytesOf(c.block), -1));
        dir.copy("dbase/db4_memo.dbt", "t.dbt");
        DbfFile t(dir.path("t.dbf"), false);
        ASSERT_EQ(t.fields().size(), 1u);
        EXPECT_EQ(t.fields()[0].type, c.presented);
        EXPECT_EQ(t.fields()[0].size, 10);
        EXPECT_EQ(describe(t.value(0, 0)), c.expected);
    }
}

TEST(dbaseCompanions, FoundInAnyLetterCaseAndWhenCreatedLater)
{
    Scratch dir;
    // A memo file spelt in neither the table's case nor upper or lower case.
    const std::string table = dir.copy("dbase/db3_memo.dbf", "Notes.DBF");
    {
        DbfFile t(table, false);
        EXPECT_EQ(describe(cell(t, 0, "NOTES")), "missing:нет файла примечаний «Notes.dbt»");
    }
    dir.copy("dbase/db3_memo.dbt", "NoTeS.dBt");
    DbfFile t(table, false);
    EXPECT_EQ(describe(cell(t, 0, "NOTES")), "memo:short memo");
    EXPECT_EQ(t.warning(), "");
}

#ifndef _WIN32
// A name that is not UTF-8 (cp1251 bytes, as old Linux folders hold) is still a name: the table
// opens and its memo file is found through the folder listing.
TEST(FileLayer, NamesThatAreNotUtf8StillOpen)
{
    Scratch dir;
    const std::string table = dir.copy("dbase/db3_memo.dbf", "\xC0\xE2.dbf");
    dir.copy("dbase/db3_memo.dbt", "\xC0\xE2.dBt");
    EXPECT_EQ(tables::findCompanion(dir.path(""), "\xC0\xE2", ".dbt"), dir.path("\xC0\xE2.dBt"));
    DbfFile t(table, false);
    EXPECT_EQ(describe(cell(t, 0, "NOTES")), "memo:short memo");
}
#endif

// The one-writer lock: a second open cannot take it (in this process as from another), the
// same open can take it again, reads and writes through other opens go on while it is held
// (Windows locks stop I/O on the bytes they cover), and closing gives it up.
TEST(FileLayer, OneWriterLockStopsOtherLocksOnly)
{
    Scratch dir;
    const std::string path = dir.path("t.dbf");
    testutil::writeAll(path, {'a', 'b', 'c', 'd'});
    tables::File holder(path, tables::File::ReadOnly);
    tables::File other(path, tables::File::ReadWrite);
    ASSERT_TRUE(holder.tryLock());
    EXPECT_TRUE(holder.tryLock());
    EXPECT_FALSE(other.tryLock());
    other.writeAt("XY", 2, 1);
    char got[4] = {};
    EXPECT_EQ(holder.readAt(got, 4, 0), 4u);
    EXPECT_EQ(std::string(got, 4), "aXYd");
    holder.close();
    EXPECT_TRUE(other.tryLock());
    tables::File third(path, tables::File::ReadOnly);
    EXPECT_FALSE(third.tryLock());
}

// Paths are UTF-8 on every system: Cyrillic folder and file names open, and a companion in
// another letter case of its extension is found.
TEST(FileLayer, NonAsciiPathsOpenAndFindTheirCompanions)
{
    Scratch dir;
    const std::string folder = dir.path("Данные/");
    fs::create_directories(tables::fsPath(folder));
    const std::string table = folder + "Склад.DBF";
    fs::copy_file(fixture("dbase/db3_memo.dbf"), tables::fsPath(table));
    fs::copy_file(fixture("dbase/db3_memo.dbt"), tables::fsPath(folder + "Склад.Dbt"));
    const std::string memo = tables::findCompanion(folder, "Склад", ".dbt");
    ASSERT_FALSE(memo.empty());
    EXPECT_TRUE(fs::equivalent(tables::fsPath(memo), tables::fsPath(folder + "Склад.Dbt"))) << memo;
    DbfFile t(table, false);
    EXPECT_EQ(describe(cell(t, 0, "NOTES")), "memo:short memo");
    try {
        tables::File missing(folder + "Нет.dbf", tables::File::ReadOnly);
        ADD_FAILURE() << "opened a missing file";
    } catch (const tables::Error &e) {
        EXPECT_EQ(std::string(e.what()), "Файл «" + folder + "Нет.dbf»: не удаётся открыть: файл не найден");
    }
}

TEST(dbaseCompanions, CpgIsReadInTheLikelySpellingsOnly)
{
#ifdef _WIN32
    constexpr bool kNamesIgnoreCase = true; // every spelling names the same file
#else
    constexpr bool kNamesIgnoreCase = false;
#endif
    // gdal_cp1251 has no code page mark: a .cpg decides, else the text is judged (1251 here).
    struct Case { std::string cpgName, cpgText; int codePage; };
    const Case cases[] = {
        {"", "", 1251},
        {"t.cpg", "CP1251", 1251},
        {"t.cpg", "866", 866},           // the .cpg wins over the look at the text
        {"T.CPG", "866", 866},
        {"t.CPG", "866", 866},
        {"T.cpg", "866", kNamesIgnoreCase ? 866 : 1251}, // an unusual spelling: not looked for
        {"t.cpg", "no idea", 1251},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.cpgName + " " + c.cpgText);
        Scratch dir;
        const std::string table = dir.copy("dbase/gdal_cp1251.dbf", "t.dbf");
        if (!c.cpgName.empty())
            writeAll(dir.path(c.cpgName), bytesOf(c.cpgText));
        DbfFile t(table, false);
        EXPECT_EQ(t.codePage(), c.codePage);
    }
}

// ---------------------------------------------------------------- code pages

TEST(dbaseCodePage, TheHeaderMarkComesBeforeACpgAndTheDriverNameBeforeTheByte)
{
    // cp866.dbf carries driver byte 0x26 (DOS 866); a .cpg saying otherwise is not read.
    {
        Scratch dir;
        const std::string table = dir.copy("dbase/cp866.dbf", "t.dbf");
        writeAll(dir.path("t.cpg"), bytesOf("1251"));
        DbfFile t(table, false);
        EXPECT_EQ(t.codePage(), 866);
        EXPECT_EQ(describe(cell(t, 0, "NAME")), "text:Иванов Иван");
    }
    // Level 7: the language driver name at byte 32 decides over the driver byte (29); the byte
    // counts when the name is empty or unknown.
    struct Case { const char *name; uint8_t byte; int codePage; };
    const Case cases[] = {
        {"DB866RU0", 0xC9, 866}, {"ANCYRR", 0x65, 1251}, {"", 0xC9, 1251}, {"NONSENSE", 0x65, 866},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + std::to_string(c.byte));
        std::vector<uint8_t> b = oneFieldTable(0x04, 'C', 5, 0, 0, bytesOf("abc"), -1);
        std::memcpy(b.data() + 32, c.name, std::strlen(c.name));
        b[29] = c.byte;
        Scratch dir;
        writeAll(dir.path("t.dbf"), b);
        DbfFile t(dir.path("t.dbf"), false);
        EXPECT_EQ(t.codePage(), c.codePage);
    }
}

TEST(dbaseCodePage, LanguageDriverIds)
{
    const std::pair<int, int> cases[] = {
        {0x00, 0},    {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x1B, 437},  {0x26, 866},
        {0x37, 850},  {0x57, 1252}, {0x58, 1252}, {0x64, 852},  {0x65, 866},  {0x66, 865},
        {0x7D, 1255}, {0xC8, 1250}, {0xC9, 1251}, {0xCB, 1253}, {0xF0, 0},    {0xFF, 0},
    };
    for (auto [id, cp] : cases)
        EXPECT_EQ(tables::codepage::fromLanguageDriver(uint8_t(id)), cp) << std::hex << id;
}

TEST(dbaseCodePage, Level7DriverNames)
{
    const std::pair<const char *, int> cases[] = {
        {"DB866RU0", 866}, {"DBWINUS0", 1252}, {"DBWINWE0", 1252}, {"DB437US0", 437}, {"DB850US0", 850},
        {"ANCYRR", 1251},  {"ancyrr", 1251},   {"CYRR", 866},      {"BGPD1251", 1251}, {"FOXDE437", 437},
        {"", 0},           {"NONSENSE", 0},
    };
    for (auto [name, cp] : cases)
        EXPECT_EQ(tables::codepage::fromDriverName(name), cp) << name;
}

TEST(dbaseCodePage, CpgTexts)
{
    const std::pair<const char *, int> cases[] = {
        {"CP1251", 1251}, {"1251\r\n", 1251}, {"ANSI 1251", 1251}, {"windows-1251", 1251}, {"UTF-8", 65001},
        {"utf8", 65001},  {"KOI8-R", 20866},  {"ISO-8859-5", 28595}, {"ISO88591", 28591}, {"866", 866},
        {"", 0},          {"OEM", 0},
    };
    for (auto [text, cp] : cases)
        EXPECT_EQ(tables::codepage::fromCpgText(text), cp) << text;
}

// The raw bytes of every character field of a fixture, as stored.
std::string rawText(const std::string &file)
{
    DbfFile t(fixture(file), false);
    std::string s;
    for (int64_t r = 0; r < t.recordCount(); ++r)
        for (size_t f = 0; f < t.fields().size(); ++f)
            if (t.fields()[f].nativeType == 'C')
                s += t.rawField(r, int(f)) + " ";
    return s;
}

TEST(dbaseCodePage, GuessCyrillicTellsDosFromWindows)
{
    using tables::codepage::fromUtf8;
    using tables::codepage::guessCyrillic;
    // A sentence rich in р..я, the letters whose cp866 bytes are cp1251's а..п.
    const std::string sentence = "Сырость стояла в погребе; сторож тут же вытер руки о фартук";
    EXPECT_EQ(guessCyrillic(rawText("dbase/cp866.dbf")), 866);
    EXPECT_EQ(guessCyrillic(rawText("dbase/cp1251.dbf")), 1251);
    EXPECT_EQ(guessCyrillic(rawText("real/dbase/cp1251.dbf")), 1251);
    EXPECT_EQ(guessCyrillic(fromUtf8(sentence, 866)), 866);
    EXPECT_EQ(guessCyrillic(fromUtf8(sentence, 1251)), 1251);
    EXPECT_EQ(guessCyrillic(fromUtf8("ИВАНОВ ПЁТР СЕРГЕЕВИЧ", 866)), 866);
    EXPECT_EQ(guessCyrillic(fromUtf8("ИВАНОВ ПЁТР СЕРГЕЕВИЧ", 1251)), 1251);
    // Nothing to judge by, or accented letters inside Latin words: not Cyrillic.
    EXPECT_EQ(guessCyrillic("plain ASCII"), 0);
    EXPECT_EQ(guessCyrillic(rawText("real/dbase/dbase_f5.dbf")), 0);
    EXPECT_EQ(guessCyrillic(fromUtf8("Müller, Gérard, Ærøskøbing", 1252)), 0);
}

TEST(dbaseCodePage, MultiByteUtf8IsToldBeforeCyrillic)
{
    using tables::codepage::fromUtf8;
    using tables::codepage::guessFromText;
    const std::string sentence = "Сырость стояла в погребе; сторож тут же вытер руки о фартук";
    // -1: anything but UTF-8.
    const std::pair<std::string, int> cases[] = {
        {sentence, 65001},
        {"ШАР Шарикоподшипник", 65001},
        {"Müller, Gérard", 65001},
        {"ШАР Шарикоподш\xD0 next", 65001},     // a value cut inside its last character
        {"ШАР Шарикоподш\xD0", 65001},
        {fromUtf8(sentence, 1251), 1251},
        {fromUtf8(sentence, 866), 866},
        {fromUtf8("ИВАНОВ ПЁТР СЕРГЕЕВИЧ", 866), 866},
        {rawText("dbase/cp866.dbf"), 866},
        {rawText("dbase/cp1251.dbf"), 1251},
        {"plain ASCII", 0},                        // no multi-byte character: nothing to judge by
        {"ШАР \xD0x", -1},                         // a cut character inside a word: not UTF-8
        {"ШАР \xFF", -1},
        {fromUtf8("Müller, Gérard, Ærøskøbing", 1252), 0},
    };
    for (const auto &[text, cp] : cases) {
        if (cp < 0)
            EXPECT_NE(guessFromText(text), 65001) << text;
        else
            EXPECT_EQ(guessFromText(text), cp) << text;
    }
}

// Tables written by current tools: UTF-8 names and values, with no code page mark or a driver
// byte no table format defines (0xF0), or a .cpg naming UTF-8. A known mark still wins.
TEST(dbaseCodePage, UnmarkedUtf8TablesReadAsUtf8)
{
    const std::string name = "ШАР", value = "Шарикоподшипник"; // 6 and 30 bytes
    struct Case { uint8_t driver; std::string cpg; std::string stored; int codePage; std::string shown; };
    const Case cases[] = {
        {0x00, "", value, 65001, value},
        {0xF0, "", value, 65001, value},
        {0x00, "UTF-8", value, 65001, value},
        {0xF0, "", value.substr(0, 29), 65001, "Шарикоподшипни\xEF\xBF\xBD"}, // cut by a byte-counting writer
        {0xC9, "", value, 1251, tables::codepage::toUtf8(value, 1251)},
        {0x00, "", tables::codepage::fromUtf8(value, 866), 866, value},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.driver) + " " + c.cpg + " " + c.shown);
        std::vector<uint8_t> b = oneFieldTable(0x03, 'C', 30, 0, 0, bytesOf(c.stored), -1);
        b[29] = c.driver;
        const std::string storedName = c.codePage == 866 ? tables::codepage::fromUtf8(name, 866) : name;
        std::memcpy(b.data() + 32, storedName.data(), storedName.size());
        Scratch dir;
        writeAll(dir.path("t.dbf"), b);
        if (!c.cpg.empty())
            writeAll(dir.path("t.cpg"), bytesOf(c.cpg));
        DbfFile t(dir.path("t.dbf"), false);
        EXPECT_EQ(t.codePage(), c.codePage);
        ASSERT_EQ(t.fields().size(), 1u);
        if (c.codePage != 1251) {
            EXPECT_EQ(t.fields()[0].name, name);
        }
        EXPECT_EQ(describe(t.value(0, 0)), "text:" + c.shown);
    }
}

TEST(dbaseCodePage, LettersACodePageLacksAreSpelledInAscii)
{
    // Our own table, so the C locale (where a C library's transliteration gives "?") and every
    // platform write the same.
    using tables::codepage::fromUtf8;
    const char *previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    std::setlocale(LC_ALL, "C");
    struct Case { std::string text; int codePage; std::string stored; };
    const Case cases[] = {
        {"Währung", 1251, "Wahrung"},
        {"Łódź", 1251, "Lodz"},
        {"Straße", 1251, "Strasse"},
        {"Ærøskøbing Þór Đorđe", 1251, "AEroskobing Thor Dorde"},
        {"Œuvre ﬁn Příliš Şişli", 1251, "OEuvre fin Prilis Sisli"},
        {"Ца\xCC\x88", 1251, "\xD6\xE0"},     // a combining accent the code page lacks is dropped
        {"Währung Цена", 866, "Wahrung \x96\xA5\xAD\xA0"},
        {"Währung", 1252, "W\xE4hrung"},        // held by the code page: kept
        {"Łódź", 1250, "\xA3\xF3" "d\x9F"},
        {"«Łódź» — 1 €", 866, "<<Lodz>> - 1 ?"},  // no spelling: '?'
        {"日本", 1251, "??"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(fromUtf8(c.text, c.codePage), c.stored) << c.text << " " << c.codePage;
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(dbaseCodePage, ConversionNeverYieldsBadUtf8)
{
    using tables::codepage::fromUtf8;
    using tables::codepage::toUtf8;
    EXPECT_EQ(toUtf8("\x88\xA2\xA0\xAD\xAE\xA2", 866), "Иванов");
    EXPECT_EQ(toUtf8("\xC8\xE2\xE0\xED\xEE\xE2", 1251), "Иванов");
    EXPECT_EQ(toUtf8("ok\xFF", 65001), "ok\xEF\xBF\xBD");      // not UTF-8 in a UTF-8 table
    EXPECT_EQ(toUtf8("\x98", 1251), "\xEF\xBF\xBD");           // a byte cp1251 leaves undefined
    EXPECT_EQ(fromUtf8("Иванов", 866), "\x88\xA2\xA0\xAD\xAE\xA2");
    EXPECT_EQ(fromUtf8("日本", 1251), "??");
}

// Every code page we read from a mark or a .cpg and every one we write, both ways, through
// whichever conversion the system has (iconv, or the Windows API).
TEST(dbaseCodePage, EachCodePageConvertsBothWays)
{
    using tables::codepage::fromUtf8;
    using tables::codepage::toUtf8;
    struct Case { int codePage; const char *stored; const char *text; };
    const Case cases[] = {
        {437, "\x81\xE1", "üß"},     {850, "\x9C", "£"},         {852, "\xA5", "ą"},
        {866, "\xF0\x80", "ЁА"},     {1250, "\xA3", "Ł"},        {1251, "\xB9\xA8", "№Ё"},
        {1252, "\x80\xE4", "€ä"},    {20866, "\xC1\xE1", "аА"}, {21866, "\xA4", "є"},
        {28595, "\xB0", "А"},         {10007, "\x80", "А"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.codePage);
        EXPECT_EQ(toUtf8(c.stored, c.codePage), c.text);
        EXPECT_EQ(fromUtf8(c.text, c.codePage), c.stored);
    }
    EXPECT_EQ(toUtf8("\x81", 1252), "\xEF\xBF\xBD"); // unassigned in cp1252
    EXPECT_EQ(fromUtf8("€", 866), "?");                  // not in cp866, and no ASCII spelling
    EXPECT_EQ(toUtf8("\xE4", 99999), "ä");              // an unknown code page reads as cp1252
}

// Pages of one byte per character read through a table of their bytes: every byte, in any
// order and beside any other, must read as the system's converter reads the whole text.
TEST(dbaseCodePage, TheByteTableReadsAsTheConverter)
{
    std::mt19937 random(7);
    std::string text;
    for (int b = 1; b < 256; ++b)
        text.push_back(char(b));
    for (int cp : {437, 737, 775, 850, 852, 855, 857, 860, 861, 862, 863, 865, 866, 869, 874, 1250, 1251,
                   1252, 1253, 1254, 1256, 1257, 10000, 10006, 10007, 10029, 20866, 21866, 28591, 28592,
                   28595, 28597, 28599, 28605}) {
        SCOPED_TRACE(cp);
        for (int round = 0; round < 3; ++round) {
            std::string expected;
            if (!tables::codepage::backend::toUtf8(text, cp, "\xEF\xBF\xBD", expected))
                continue; // a page this system cannot convert reads as cp1252, through the converter
            EXPECT_EQ(tables::codepage::toUtf8(text, cp), expected);
            std::shuffle(text.begin(), text.end(), random);
        }
    }
}

TEST(dbaseCodePage, LeftCharsCountsCharactersNotBytes)
{
    using tables::codepage::leftChars;
    const std::string name = "Нижнетагильский металлург"; // 25 characters, 49 bytes
    EXPECT_EQ(leftChars(name, 20), "Нижнетагильский мета");
    EXPECT_EQ(leftChars(name, 40), name);
    EXPECT_EQ(leftChars("ab\xFF" "cd", 3), "ab\xFF"); // a stray byte counts as one
}

TEST(dbaseCodePage, Level7CyrillicNameByDriverName)
{
    // A level 7 table whose 25-character field name is in cp866, as "DB866RU0" says.
    const std::string name = "Нижнетагильский_металлург";
    std::vector<uint8_t> b = oneFieldTable(0x04, 'C', 5, 0, 0, bytesOf("abc"), -1);
    std::memcpy(b.data() + 32, "DB866RU0", 8);
    std::string stored = tables::codepage::fromUtf8(name, 866);
    ASSERT_EQ(stored.size(), 25u);
    std::memcpy(b.data() + 68, stored.data(), stored.size());
    Scratch dir;
    writeAll(dir.path("t.dbf"), b);
    DbfFile t(dir.path("t.dbf"), false);
    EXPECT_EQ(t.codePage(), 866);
    ASSERT_EQ(t.fields().size(), 1u);
    EXPECT_EQ(t.fields()[0].name, name);
    EXPECT_EQ(tables::codepage::leftChars(t.fields()[0].name, 20), "Нижнетагильский_мета");
}

// ---------------------------------------------------------------- damaged files

// db3_plain.dbf: header 193 bytes (5 fields), records of 48 bytes, 3 of them; 338 bytes.
struct Damage {
    std::string what;
    std::function<std::string(const Scratch &)> make; // returns the path to open
    std::vector<std::string> words;                  // in the error, or in the warning
    int64_t rows = -1;                               // >= 0: opens with a warning and these rows
};

std::function<std::string(const Scratch &)> edited(std::function<void(std::vector<uint8_t> &)> edit)
{
    return [edit](const Scratch &dir) {
        std::vector<uint8_t> b = readAll(fixture("dbase/db3_plain.dbf"));
        edit(b);
        writeAll(dir.path("bad.dbf"), b);
        return dir.path("bad.dbf");
    };
}

std::vector<uint8_t> randomBytes(unsigned seed, size_t n)
{
    std::mt19937 gen(seed);
    std::vector<uint8_t> b(n);
    for (uint8_t &x : b)
        x = uint8_t(gen());
    return b;
}

void PrintTo(const Damage &d, std::ostream *os) { *os << d.what; }

class Damaged : public testing::TestWithParam<Damage> {};

TEST_P(Damaged, GivesAnErrorOrAWarningNamingTheFile)
{
    const Damage &d = GetParam();
    Scratch dir;
    const std::string path = d.make(dir);
    const size_t fileSize = fs::is_regular_file(path) ? size_t(fs::file_size(path)) : 0;
    std::string error, warning;
    int64_t rows = -1;
    largestAllocation = 0;
    try {
        DbfFile t(path, false);
        readEverything(t);
        rows = t.recordCount();
        warning = t.warning();
    } catch (const tables::Error &e) {
        error = e.what();
    }
    const size_t largest = largestAllocation;
    EXPECT_LE(largest, fileSize + 4096) << "allocated " << largest << " for a file of " << fileSize;
    const std::string &message = d.rows >= 0 ? warning : error;
    if (d.rows >= 0)
        EXPECT_EQ(rows, d.rows) << error;
    else
        EXPECT_EQ(rows, -1) << "opened with " << rows << " rows";
    EXPECT_NE(message.find("«" + path + "»"), std::string::npos) << message;
    for (const std::string &w : d.words)
        EXPECT_NE(message.find(w), std::string::npos) << "«" << w << "» not in: " << message;
}

INSTANTIATE_TEST_SUITE_P(
    dbase, Damaged,
    testing::Values(
        Damage{"EmptyFile", edited([](auto &b) { b.clear(); }), {"пуст"}},
        Damage{"TenBytes", edited([](auto &b) { b.resize(10); }), {"слишком короткий", "10 байт"}},
        Damage{"HeaderCutShort", edited([](auto &b) { b.resize(100); }),
               {"длина заголовка 193", "больше размера файла (100 байт)"}},
        Damage{"HeaderLengthPastTheFile", edited([](auto &b) { putLe16(b, 8, 4000); }),
               {"длина заголовка 4000", "больше размера файла (338 байт)"}},
        Damage{"HeaderLengthTooSmall", edited([](auto &b) { putLe16(b, 8, 20); }), {"длина заголовка 20"}},
        Damage{"DescriptorRunsPastTheHeader", edited([](auto &b) { putLe16(b, 8, 32 + 4 * 32 + 16); }),
               {"описание поля 5", "выходит за конец заголовка"}},
        Damage{"DescriptorsFillTheHeaderWithoutEnd", edited([](auto &b) { putLe16(b, 8, 32 + 4 * 32); }),
               {"описания полей не помещаются в заголовок"}},
        Damage{"RecordLengthSmallerThanTheFields", edited([](auto &b) { putLe16(b, 10, 20); }),
               {"длина записи 20 байт меньше", "48 байт"}},
        Damage{"RecordLengthZero", edited([](auto &b) { putLe16(b, 10, 0); }), {"длина записи равна нулю"}},
        Damage{"UnknownVersion", edited([](auto &b) { b[0] = 0x9A; }), {"не таблица dBASE", "0x9A"}},
        Damage{"RandomBytes", edited([](auto &b) { b = randomBytes(7, 2048); }), {"не таблица dBASE"}},
        // Version 2 with bytes 8-9 that are no header length (dBASE II keeps a name there).
        Damage{"DbaseTwoTooShort", edited([](auto &b) { b[0] = 0x02, putLe16(b, 8, 0x4D45), b.resize(300); }),
               {"слишком короткий для таблицы dBASE II"}},
        Damage{"Folder",
               [](const Scratch &dir) {
                   fs::create_directory(dir.path("folder.dbf"));
                   return dir.path("folder.dbf");
               },
               {"это папка"}},
        Damage{"MissingFile", [](const Scratch &dir) { return dir.path("absent.dbf"); },
               {"не удаётся открыть", "файл не найден"}},
        // Damage after the header: the rows before it are read, with a warning.
        Damage{"AbsurdRecordCount", edited([](auto &b) { putLe32(b, 4, 0xFFFFFFFF); }),
               {"указано записей: 4294967295", "только 3"}, 3},
        Damage{"RecordsCutShort", edited([](auto &b) { b.resize(193 + 2 * 48 + 20); }),
               {"указано записей: 3", "только 2"}, 2}),
    [](const testing::TestParamInfo<Damage> &i) { return i.param.what; });

TEST(dbaseDamaged, RandomBytesCaseReallyStartsWithNoVersion)
{
    // Keeps the case above honest: its first byte is no dBASE version byte.
    const uint8_t v = randomBytes(7, 1)[0];
    for (uint8_t known : {0x02, 0x03, 0x04, 0x05, 0x07, 0x30, 0x31, 0x32, 0x43, 0x63, 0x7B, 0x83, 0x87, 0x8B,
                          0x8C, 0x8E, 0xCB, 0xE5, 0xF5, 0xFB})
        EXPECT_NE(v, known);
}

// Fixtures with a few bytes changed at random (fixed seeds, so a failure can be replayed):
// opening and reading every cell either works or throws tables::Error, and never reads or
// allocates past what the files hold (the sanitizer build checks the reads).
TEST(dbaseDamaged, MutatedFixturesNeverCrash)
{
    struct Source { std::string table, memo; };
    const Source sources[] = {{"db3_plain.dbf", ""},           {"db4_memo.dbf", "db4_memo.dbt"},
                              {"db3_memo.dbf", "db3_memo.dbt"}, {"fox26_memo.dbf", "fox26_memo.fpt"},
                              {"vfp_types.dbf", "vfp_types.fpt"}, {"db7_types.dbf", ""},
                              {"clipper_wide.dbf", ""}};
    for (const Source &s : sources) {
        const std::vector<uint8_t> table = readAll(fixture("dbase/" + s.table));
        const std::vector<uint8_t> memo = s.memo.empty() ? std::vector<uint8_t>() : readAll(fixture("dbase/" + s.memo));
        for (unsigned seed = 1; seed <= 40; ++seed) {
            SCOPED_TRACE(s.table + " seed " + std::to_string(seed));
            std::mt19937 gen(seed);
            std::vector<uint8_t> t = table, m = memo;
            // Mostly the header, sometimes anywhere; the memo file's header and blocks too.
            for (int k = 0; k < 1 + int(gen() % 4); ++k) {
                size_t at = gen() % 2 ? gen() % std::min<size_t>(t.size(), 64) : gen() % t.size();
                t[at] = uint8_t(gen());
            }
            if (!m.empty())
                for (int k = 0; k < int(gen() % 3); ++k)
                    m[gen() % m.size()] = uint8_t(gen());
            Scratch dir;
            writeAll(dir.path(s.table), t);
            if (!m.empty())
                writeAll(dir.path(s.memo), m);
            largestAllocation = 0;
            try {
                DbfFile f(dir.path(s.table), false);
                readEverything(f);
            } catch (const tables::Error &) {
            }
            EXPECT_LE(size_t(largestAllocation), t.size() + m.size() + 4096);
        }
    }
}

} // namespace
