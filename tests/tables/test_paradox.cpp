// The Paradox reader: field lists of real and pxlib-made tables, value decoding, BLOBs from
// the record and from the .mb, and damaged files made by corrupting copies of the fixtures.
#include "allocation.h"
#include "testutil.h"
#include "tables/codepage.h"
#include "tables/error.h"
#include "tables/file.h"
#include "tables/paradoxfile.h"
#include "tables/paradoxfile_p.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

namespace fs = std::filesystem;
using tables::ParadoxFile;
using tables::Value;

namespace {

using testutil::fixture;
using testutil::allocationBound;
using testutil::largestAllocationOf;
using testutil::Scratch;
using testutil::readAll;
using testutil::writeAll;

std::vector<uint8_t> fromHex(const std::string &hex)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        if (hex[i] == ' ') {
            --i;
            continue;
        }
        out.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

void putLe16(std::vector<uint8_t> &b, size_t at, unsigned v) { b[at] = uint8_t(v); b[at + 1] = uint8_t(v >> 8); }
void putLe32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    putLe16(b, at, v & 0xFFFF);
    putLe16(b, at + 2, v >> 16);
}


// One line per value, so that expectations read as text.
std::string show(const Value &v)
{
    char buf[64];
    switch (v.kind) {
    case Value::Kind::Null: return "null";
    case Value::Kind::Text: return "text " + v.text;
    case Value::Kind::Integer: return "integer " + std::to_string(v.integer);
    case Value::Kind::Number: std::snprintf(buf, sizeof buf, "number %.15g", v.number); return buf;
    case Value::Kind::Currency: std::snprintf(buf, sizeof buf, "currency %.15g", v.number); return buf;
    case Value::Kind::Boolean: return v.integer ? "true" : "false";
    case Value::Kind::Date: return "date " + std::to_string(v.integer);
    case Value::Kind::Time: return "time " + std::to_string(v.integer);
    case Value::Kind::DateTime: return "datetime " + std::to_string(v.integer) + " " + std::to_string(v.ms);
    case Value::Kind::Binary: return "binary " + std::to_string(v.size);
    case Value::Kind::Memo:
        return v.text.size() <= 40 ? "memo " + v.text
                                   : "memo " + v.text.substr(0, 30) + "... (" + std::to_string(v.text.size()) + ")";
    case Value::Kind::Missing: return "missing " + v.text;
    }
    return "?";
}

// Every fixture's structure, as its README gives it.

struct FieldRow {
    std::string name;
    int type;
    int size;
};

struct StructureCase {
    std::string file;
    int version;
    int codePage;
    int64_t records;
    std::vector<FieldRow> fields;
};

void PrintTo(const StructureCase &c, std::ostream *os) { *os << c.file; }

class ParadoxStructure : public testing::TestWithParam<StructureCase> {};

TEST_P(ParadoxStructure, FieldsAsTheReadmeGivesThem)
{
    const StructureCase &c = GetParam();
    ParadoxFile table(fixture(c.file));
    EXPECT_EQ(table.version(), c.version);
    EXPECT_EQ(table.codePage(), c.codePage);
    EXPECT_EQ(table.recordCount(), c.records);
    EXPECT_EQ(table.warning(), "");
    EXPECT_FALSE(table.encrypted());
    ASSERT_EQ(table.fields().size(), c.fields.size());
    int offset = 0;
    for (size_t i = 0; i < c.fields.size(); ++i) {
        const tables::FieldDef &f = table.fields()[i];
        SCOPED_TRACE(c.fields[i].name);
        EXPECT_EQ(f.name, c.fields[i].name);
        EXPECT_EQ(f.type, c.fields[i].type);
        EXPECT_EQ(f.size, c.fields[i].size);
        EXPECT_EQ(f.offset, offset);
        offset += f.width;
    }
}

// Generic type codes: 1 String, 2 Smallint, 3 Integer, 5 Boolean, 6 Float, 7 Currency, 8 BCD,
// 9 Date, 10 Time, 11 DateTime, 12 Bytes, 14 AutoInc, 15 Blob, 16 Memo, 17 Graphic, 18 FmtMemo,
// 19 ParadoxOle.
INSTANTIATE_TEST_SUITE_P(Fixtures, ParadoxStructure, testing::Values(
    StructureCase{"paradox/alltypes.db", 70, 1252, 3,
        {{"ALPHA", 1, 20}, {"DATE", 9, 0}, {"SHORT", 2, 0}, {"LONGINT", 3, 0}, {"MONEY", 7, 0},
         {"NUMBER", 6, 0}, {"LOGICAL", 5, 0}, {"MEMO", 16, 10}, {"BLOB", 15, 10}, {"FMTMEMO", 18, 10},
         {"OLE", 19, 10}, {"GRAPHIC", 17, 10}, {"TIME", 10, 0}, {"TIMESTAMP", 11, 0}, {"AUTOINC", 14, 0},
         {"BCD", 8, 2}, {"BYTES", 12, 8}, {"FIELD_NAME_25_CHARS_ABCDE", 1, 10}}}, // 25 characters, kept whole
    StructureCase{"paradox/cyr1251.db", 70, 1251, 4, {{"ID", 3, 0}, {"NAME", 1, 30}, {"ГОРОД", 1, 20}}},
    StructureCase{"paradox/cyr866.db", 70, 866, 4, {{"ID", 3, 0}, {"NAME", 1, 30}, {"ГОРОД", 1, 20}}},
    StructureCase{"paradox/empty.db", 70, 1252, 0, {{"CODE", 2, 0}, {"TITLE", 1, 40}, {"PRICE", 7, 0}, {"WHEN", 9, 0}}},
    StructureCase{"paradox/many.db", 70, 1252, 5000, {{"N", 3, 0}, {"LABEL", 1, 24}, {"SQUARE", 6, 0}}},
    StructureCase{"real/paradox/AREACODE.DB", 40, 437, 135,
        {{"Area Code", 1, 3}, {"Country", 1, 30}, {"Full State", 1, 21}, {"State", 1, 2}}},
    StructureCase{"real/paradox/CONTACTS.DB", 70, 437, 55,
        {{"Last Name", 1, 10}, {"First Name", 1, 20}, {"Company", 1, 30}, {"Phone", 1, 15}}},
    StructureCase{"real/paradox/CUSTOMER.DB", 70, 1252, 20,
        {{"CustNo", 14, 0}, {"FirstName", 1, 51}, {"LastName", 1, 50}, {"EMail", 1, 100}, {"Street", 1, 30},
         {"City", 1, 15}, {"State/Prov", 1, 20}, {"Zip/Postal Code", 1, 10}, {"Comments", 16, 100},
         {"DateEntered", 9, 0}}},
    StructureCase{"real/paradox/DECIMAL.DB", 70, 1252, 9, {{"DECIMAL", 6, 0}}},
    StructureCase{"real/paradox/bcd.db", 50, 850, 3, {{"A", 8, 2}, {"B", 8, 0}, {"C", 8, 32}}},
    StructureCase{"real/paradox/bytes.db", 50, 850, 1, {{"BYTES", 12, 255}}},
    StructureCase{"real/paradox/date35.db", 35, tables::codepage::localeDefault(), 3, {{"DATE", 9, 0}}},
    StructureCase{"real/paradox/date5.db", 50, 850, 3, {{"DATE", 9, 0}, {"TIME", 10, 0}}},
    StructureCase{"real/paradox/fmemo.db", 50, 850, 2, {{"Id", 14, 0}, {"FMEMO", 18, 0}}}, // no leader,
    StructureCase{"real/paradox/graphic240.db", 50, 850, 1, {{"Id", 14, 0}, {"Graph", 17, 240}}},
    StructureCase{"real/paradox/logical.db", 50, 1252, 4, {{"BOOL", 5, 0}}},
    StructureCase{"real/paradox/long.db", 50, 850, 3, {{"Id", 14, 0}, {"LONG", 3, 0}}},
    StructureCase{"real/paradox/memo.db", 50, 850, 2, {{"Id", 14, 0}, {"MEMO", 16, 240}}},
    StructureCase{"real/paradox/time.db", 50, 1252, 3, {{"Time", 10, 0}}}));

// Level 3.0 shares the layout of 3.5 (field array at 0x58, no data header).
TEST(ParadoxLevels, Level30ReadsLike35)
{
    Scratch dir;
    ParadoxFile table(dir.copy("real/paradox/date35.db", "date30.db", [](std::vector<uint8_t> &b) { b[0x39] = 3; }));
    EXPECT_EQ(table.version(), 30);
    ASSERT_EQ(table.fields().size(), 1u);
    EXPECT_EQ(table.fields()[0].name, "DATE");
    EXPECT_EQ(show(table.value(0, 0)), "date 736695");
}

// Values held in the record, decoded from their stored bytes.

struct StoredCase {
    std::string label;
    uint8_t code;
    int sizeByte;
    std::string hex;
    int codePage;
    std::string expected;
};

void PrintTo(const StoredCase &c, std::ostream *os) { *os << c.label; }

class ParadoxStored : public testing::TestWithParam<StoredCase> {};

TEST_P(ParadoxStored, Decodes)
{
    const StoredCase &c = GetParam();
    std::vector<uint8_t> bytes = fromHex(c.hex);
    tables::FieldDef f;
    f.nativeType = char(c.code);
    f.width = c.code == tables::paradox::tcBcd ? 17 : c.sizeByte;
    f.decimals = c.code == tables::paradox::tcBcd ? c.sizeByte : 0;
    ASSERT_EQ(bytes.size(), size_t(f.width));
    EXPECT_EQ(show(tables::paradox::decodeStored(f, bytes.data(), c.codePage)), c.expected);
}

using namespace tables::paradox;
const std::string kZeros14 = "0000000000000000000000000000";
const std::string kOnes14 = "ffffffffffffffffffffffffffff";

INSTANTIATE_TEST_SUITE_P(Kinds, ParadoxStored, testing::Values(
    StoredCase{"alpha", tcAlpha, 8, "48656c6c6f000000", 1252, "text Hello"},
    StoredCase{"alpha filling the field", tcAlpha, 3, "474946", 1252, "text GIF"},
    StoredCase{"alpha blank", tcAlpha, 4, "00000000", 1252, "null"},
    StoredCase{"alpha cp866", tcAlpha, 8, "8caee1aaa2a00000", 866, "text Москва"},
    StoredCase{"alpha cp1251", tcAlpha, 8, "cceef1eae2e00000", 1251, "text Москва"},
    StoredCase{"alpha cp1251 yo", tcAlpha, 4, "cfb8f2f0", 1251, "text Пётр"},
    StoredCase{"short 1", tcShort, 2, "8001", 0, "integer 1"},
    StoredCase{"short 256", tcShort, 2, "8100", 0, "integer 256"},
    StoredCase{"short -1", tcShort, 2, "7fff", 0, "integer -1"},
    StoredCase{"short 0 is not blank", tcShort, 2, "8000", 0, "integer 0"},
    StoredCase{"short blank", tcShort, 2, "0000", 0, "null"},
    StoredCase{"long 1", tcLong, 4, "80000001", 0, "integer 1"},
    StoredCase{"long -2147483647", tcLong, 4, "00000001", 0, "integer -2147483647"},
    StoredCase{"long -1", tcLong, 4, "7fffffff", 0, "integer -1"},
    StoredCase{"long blank", tcLong, 4, "00000000", 0, "null"},
    StoredCase{"autoincrement", tcAutoInc, 4, "80000003", 0, "integer 3"},
    StoredCase{"date 2018-01-01", tcDate, 4, "800b3db7", 0, "date 736695"},
    StoredCase{"date blank", tcDate, 4, "00000000", 0, "null"},
    StoredCase{"time 10:00:00", tcTime, 4, "82255100", 0, "time 36000000"},
    StoredCase{"time midnight is not blank", tcTime, 4, "80000000", 0, "time 0"},
    StoredCase{"timestamp 2020-02-01 01:00:01", tcTimestamp, 8, "c2ccf98acb193400", 0, "datetime 737456 3601000"},
    StoredCase{"timestamp negative", tcTimestamp, 8, "400fffffffffffff", 0, "missing неверное значение даты и времени"},
    StoredCase{"timestamp blank", tcTimestamp, 8, "0000000000000000", 0, "null"},
    StoredCase{"number 1", tcNumber, 8, "bff0000000000000", 0, "number 1"},
    StoredCase{"number -1", tcNumber, 8, "400fffffffffffff", 0, "number -1"},
    StoredCase{"number 100.5", tcNumber, 8, "c059200000000000", 0, "number 100.5"},
    StoredCase{"number -3.25", tcNumber, 8, "3ff5ffffffffffff", 0, "number -3.25"},
    StoredCase{"number 0 is not blank", tcNumber, 8, "8000000000000000", 0, "number 0"},
    StoredCase{"number blank", tcNumber, 8, "0000000000000000", 0, "null"},
    StoredCase{"money", tcMoney, 8, "c0934a3d70a3d70a", 0, "currency 1234.56"},
    StoredCase{"logical false", tcLogical, 1, "80", 0, "false"},
    StoredCase{"logical true", tcLogical, 1, "81", 0, "true"},
    StoredCase{"logical blank", tcLogical, 1, "00", 0, "null"},
    StoredCase{"bcd 1.23", tcBcd, 2, "c2" + kZeros14 + "0123", 0, "text 1.23"},
    StoredCase{"bcd -1.23", tcBcd, 2, "42" + kOnes14 + "fedc", 0, "text -1.23"},
    StoredCase{"bcd 0.00", tcBcd, 2, "c2" + kZeros14 + "0000", 0, "text 0.00"},
    StoredCase{"bcd -0.50", tcBcd, 2, "42" + kOnes14 + "ffaf", 0, "text -0.50"},
    StoredCase{"bcd 12345.67", tcBcd, 2, "c2000000000000000000000000" + std::string("01234567"), 0, "text 12345.67"},
    StoredCase{"bcd no decimals", tcBcd, 0, "c0" + kZeros14 + "0001", 0, "text 1"},
    StoredCase{"bcd stops at a non-digit", tcBcd, 32, "e01229999999999999980b00e00000bf4a", 0, "text 0.1229999999999999980"},
    StoredCase{"bcd non-digit in the whole part", tcBcd, 2, "c2" + kZeros14 + "a100", 0, "missing неверное значение BCD"},
    StoredCase{"bcd blank", tcBcd, 2, "00" + kZeros14 + "0000", 0, "null"},
    // A flag byte of 0 (no sign, no decimals: no value has it) is blank, whatever follows.
    StoredCase{"bcd blank, digits left behind", tcBcd, 2, "00" + kZeros14 + "0123", 0, "null"},
    StoredCase{"bcd blank, all nibbles 15", tcBcd, 2, "00" + kOnes14 + "ffff", 0, "null"},
    StoredCase{"bytes", tcBytes, 4, "31003200", 0, "binary 4"},
    StoredCase{"bytes blank", tcBytes, 4, "00000000", 0, "null"},
    StoredCase{"unknown kind", 0x07, 3, "010203", 0, "binary 3"}));

// Values read through the table: records in several blocks, BLOBs in the leader and in the
// .mb (type 3 blocks of small values, type 2 blocks of one value), Cyrillic text.

struct CellCase {
    std::string file;
    int64_t record;
    int field;
    std::string expected;
};

void PrintTo(const CellCase &c, std::ostream *os) { *os << c.file << " record " << c.record << " field " << c.field; }

class ParadoxCells : public testing::TestWithParam<CellCase> {};

TEST_P(ParadoxCells, Read)
{
    const CellCase &c = GetParam();
    ParadoxFile table(fixture(c.file));
    EXPECT_EQ(show(table.value(c.record, c.field)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ParadoxCells, testing::Values(
    CellCase{"paradox/alltypes.db", 0, 0, "text Hello Paradox"},
    CellCase{"paradox/alltypes.db", 0, 1, "date 738960"},
    CellCase{"paradox/alltypes.db", 0, 2, "integer -1234"},
    CellCase{"paradox/alltypes.db", 0, 4, "currency 1234.56"},
    CellCase{"paradox/alltypes.db", 0, 7, "memo short memo"},          // in the leader
    CellCase{"paradox/alltypes.db", 0, 8, "binary 6"},                 // in the leader
    CellCase{"paradox/alltypes.db", 0, 9, "memo fmt memo"},
    CellCase{"paradox/alltypes.db", 0, 10, "null"},
    CellCase{"paradox/alltypes.db", 0, 11, "binary 14"},               // .mb, type 3
    CellCase{"paradox/alltypes.db", 0, 13, "datetime 738960 49530000"},
    CellCase{"paradox/alltypes.db", 0, 15, "text 12345.67"},
    CellCase{"paradox/alltypes.db", 0, 16, "binary 8"},
    CellCase{"paradox/alltypes.db", 0, 17, "text name25"},
    CellCase{"paradox/alltypes.db", 1, 0, "text ABCDEFGHIJKLMNOPQRST"},
    CellCase{"paradox/alltypes.db", 1, 3, "integer -2147483647"},
    CellCase{"paradox/alltypes.db", 1, 4, "currency 0"},
    CellCase{"paradox/alltypes.db", 1, 5, "number 10000000000"},
    CellCase{"paradox/alltypes.db", 1, 7, "memo abcdefghijklmnopqrstuvwxyzabcd... (1199)"}, // .mb, type 3
    CellCase{"paradox/alltypes.db", 1, 12, "time 0"},
    CellCase{"paradox/alltypes.db", 1, 15, "text -0.50"},
    CellCase{"paradox/alltypes.db", 2, 7, "null"},
    CellCase{"paradox/alltypes.db", 2, 14, "integer 3"},
    CellCase{"paradox/cyr866.db", 1, 1, "text Пётр Щукин"},
    CellCase{"paradox/cyr866.db", 2, 1, "text ЁЖИК ёжик Ъъ Ыы"},
    CellCase{"paradox/cyr866.db", 3, 2, "text Омск"},
    CellCase{"paradox/cyr1251.db", 0, 1, "text Иванов Иван Иванович"},
    CellCase{"paradox/cyr1251.db", 2, 1, "text ЁЖИК ёжик Ъъ Ыы"},
    CellCase{"paradox/cyr1251.db", 3, 1, "text Latin mixed Ж"},
    CellCase{"real/paradox/AREACODE.DB", 0, 2, "text New Jersey"},
    CellCase{"real/paradox/AREACODE.DB", 134, 0, "text 919"},        // last record of block 4
    CellCase{"real/paradox/CUSTOMER.DB", 0, 8, "memo Small comment (less 100 symbols)"},
    CellCase{"real/paradox/CUSTOMER.DB", 1, 8, "memo \tThe length of the leader may ... (518)"},
    CellCase{"real/paradox/CUSTOMER.DB", 3, 8, "memo  The PARADOX File Structure   ... (56864)"}, // type 2
    CellCase{"real/paradox/CUSTOMER.DB", 5, 8, "null"},
    CellCase{"real/paradox/CUSTOMER.DB", 19, 0, "integer 20"},
    CellCase{"real/paradox/DECIMAL.DB", 0, 0, "number -200"},
    CellCase{"real/paradox/bcd.db", 1, 2, "text -0.1229999999999999980"},
    CellCase{"real/paradox/bcd.db", 2, 1, "null"},
    CellCase{"real/paradox/date35.db", 1, 0, "date 736726"},
    CellCase{"real/paradox/date5.db", 1, 1, "time 37800000"},
    CellCase{"real/paradox/graphic240.db", 0, 1, "binary 20086"},    // type 2, with its 8-byte prefix
    CellCase{"real/paradox/logical.db", 1, 0, "false"},
    CellCase{"real/paradox/long.db", 2, 1, "null"},
    CellCase{"real/paradox/memo.db", 0, 1, "memo 012345678900123456789001234567... (555)"},
    CellCase{"real/paradox/memo.db", 1, 1, "memo 01234567890\n"},
    CellCase{"real/paradox/time.db", 0, 0, "time 3601000"},
    CellCase{"real/paradox/time.db", 1, 0, "null"}));

TEST(ParadoxBlobs, LongMemoFromTheMbIsWhole)
{
    ParadoxFile table(fixture("paradox/alltypes.db"));
    std::string expected;
    for (int i = 0; i < 1199; ++i)
        expected += char('a' + i % 26);
    EXPECT_EQ(table.value(1, 7).text, expected);

    ParadoxFile fmemo(fixture("real/paradox/fmemo.db"));
    EXPECT_EQ(fmemo.value(1, 1).kind, Value::Kind::Memo);
    EXPECT_NE(fmemo.value(1, 1).text.find("Arial"), std::string::npos);
}

TEST(ParadoxBlobs, MbFoundInAnyLetterCase)
{
    Scratch dir;
    std::string db = dir.copy("real/paradox/memo.db", "Memo.db");
    dir.copy("real/paradox/memo.mb", "MEMO.MB");
    ParadoxFile table(db);
    EXPECT_EQ(table.warning(), "");
    EXPECT_EQ(show(table.value(0, 1)), "memo 012345678900123456789001234567... (555)");
}

TEST(ParadoxBlobs, MissingMbSparesTheLeaderAndTheOtherFields)
{
    Scratch dir;
    std::string db = dir.copy("real/paradox/memo.db", "memo.db");
    ParadoxFile table(db);
    EXPECT_EQ(table.warning(), "Файл «" + db + "»: нет файла MB «memo.mb», длинные значения полей BLOB недоступны");
    EXPECT_EQ(show(table.value(0, 0)), "integer 1");
    EXPECT_EQ(show(table.value(0, 1)), "missing нет файла MB");
    EXPECT_EQ(show(table.value(1, 1)), "memo 01234567890\n");
}

// Damaged .mb files: only the cells whose value lives there suffer.

struct MbCase {
    std::string label;
    std::string table;      // fixture .db; its .mb is copied beside it and changed
    size_t cut;             // .mb length kept (0: whole)
    size_t at;              // where to write `hex`
    std::string hex;
    int64_t record;
    int field;
    std::string expected;
};

void PrintTo(const MbCase &c, std::ostream *os) { *os << c.label; }

class ParadoxDamagedMb : public testing::TestWithParam<MbCase> {};

TEST_P(ParadoxDamagedMb, OnlyTheCellIsMissing)
{
    const MbCase &c = GetParam();
    Scratch dir;
    fs::path db(c.table);
    std::string mbName = db.stem().string() + (db.extension() == ".DB" ? ".MB" : ".mb");
    std::string path = dir.copy(c.table, db.filename().string());
    dir.copy((db.parent_path() / mbName).string(), mbName, [&](std::vector<uint8_t> &b) {
        if (c.cut)
            b.resize(c.cut);
        std::vector<uint8_t> patch = fromHex(c.hex);
        std::copy(patch.begin(), patch.end(), b.begin() + std::ptrdiff_t(c.at));
    });
    ParadoxFile table(path);
    const size_t largest = largestAllocationOf([&] { EXPECT_EQ(show(table.value(c.record, c.field)), c.expected); });
    EXPECT_LE(largest, allocationBound(fs::file_size(path) + fs::file_size(dir.path(mbName))));
    EXPECT_EQ(show(table.value(0, 0)), "integer 1"); // the rest of the record reads
}

// memo.db: row 1 is entry 63 of the type 3 block at 0x1000 (entry at 0x1147: 15 23 01 00 0B).
// CUSTOMER.DB: row 4 is a type 2 block at 0x2000 of 56864 bytes.
INSTANTIATE_TEST_SUITE_P(Cases, ParadoxDamagedMb, testing::Values(
    MbCase{"mb header not a header", "real/paradox/memo.db", 0, 0x0000, "03", 0, 1, "missing файл MB повреждён"},
    MbCase{"mb cut before the block", "real/paradox/memo.db", 4096, 0, "", 0, 1, "missing файл MB повреждён"},
    MbCase{"mb cut to nothing", "real/paradox/memo.db", 1, 0, "", 0, 1, "missing файл MB повреждён"},
    MbCase{"type 3 block of another type", "real/paradox/memo.db", 0, 0x1000, "04", 0, 1, "missing файл MB повреждён"},
    MbCase{"type 3 entry of another length", "real/paradox/memo.db", 0, 0x1147, "1524", 0, 1, "missing файл MB повреждён"},
    MbCase{"type 3 entry deleted", "real/paradox/memo.db", 0, 0x114B, "00", 0, 1, "missing файл MB повреждён"},
    MbCase{"type 3 entry past the block", "real/paradox/memo.db", 0, 0x1147, "fa", 0, 1, "missing файл MB повреждён"},
    MbCase{"type 2 block of another type", "real/paradox/CUSTOMER.DB", 0, 0x2000, "03", 3, 8, "missing файл MB повреждён"},
    MbCase{"type 2 length differs", "real/paradox/CUSTOMER.DB", 0, 0x2003, "ffffff7f", 3, 8, "missing файл MB повреждён"},
    MbCase{"type 2 block cut", "real/paradox/CUSTOMER.DB", 0x4000, 0, "", 3, 8, "missing файл MB повреждён"},
    MbCase{"type 2 size too small", "real/paradox/CUSTOMER.DB", 0, 0x2001, "0100", 3, 8, "missing файл MB повреждён"},
    MbCase{"graphic in a cut mb", "real/paradox/graphic240.db", 0x2000, 0, "", 0, 1, "missing файл MB повреждён"},
    MbCase{"type 3 neighbour intact", "real/paradox/CUSTOMER.DB", 0, 0x2000, "03", 1, 8, "memo \tThe length of the leader may ... (518)"}));

TEST(ParadoxBlobs, PointerOutsideTheMb)
{
    // memo.db row 1: the pointer (offset 0x1000, index 63) sits at 0x8FA.
    for (const char *pointer : {"3f000000", "3f100100", "3f200000", "40100000", "ffffffff"}) {
        SCOPED_TRACE(pointer);
        Scratch dir;
        std::string db = dir.copy("real/paradox/memo.db", "memo.db", [&](std::vector<uint8_t> &b) {
            std::vector<uint8_t> p = fromHex(pointer);
            std::copy(p.begin(), p.end(), b.begin() + 0x8FA);
        });
        dir.copy("real/paradox/memo.mb", "memo.mb");
        ParadoxFile table(db);
        EXPECT_EQ(show(table.value(0, 1)), "missing файл MB повреждён");
    }
}

TEST(ParadoxBlobs, HugeLengthReadsNothing)
{
    // A length of 4 GiB - 1 in a record: checked against the .mb before anything is allocated.
    Scratch dir;
    std::string db = dir.copy("real/paradox/memo.db", "memo.db", [](std::vector<uint8_t> &b) { putLe32(b, 0x8FE, 0xFFFFFFFF); });
    dir.copy("real/paradox/memo.mb", "memo.mb");
    const size_t largest = largestAllocationOf([&] { EXPECT_EQ(show(ParadoxFile(db).value(0, 1)), "missing файл MB повреждён"); });
    EXPECT_LE(largest, allocationBound(fs::file_size(db) + fs::file_size(dir.path("memo.mb"))));
}

// Records spread over many blocks, read in and against file order through the bounded cache.
TEST(ParadoxRecords, EveryRowOfManyBlocks)
{
    ParadoxFile table(fixture("paradox/many.db"));
    ASSERT_EQ(table.recordCount(), 5000);
    auto check = [&](int64_t r) {
        const int64_t i = r + 1;
        char label[16];
        std::snprintf(label, sizeof label, "row %05d", int(i));
        ASSERT_EQ(table.value(r, 0).integer, i);
        ASSERT_EQ(table.value(r, 1).text, label);
        ASSERT_EQ(table.value(r, 2).number, double(i * i));
    };
    for (int64_t r = 0; r < 5000; ++r)
        check(r);
    for (int64_t r = 4999; r >= 0; r -= 7)
        check(r);
}

TEST(ParadoxRecords, OutOfRangeThrows)
{
    ParadoxFile table(fixture("paradox/cyr866.db"));
    EXPECT_THROW(table.value(4, 0), tables::Error);
    EXPECT_THROW(table.value(-1, 0), tables::Error);
    EXPECT_THROW(table.value(0, 3), tables::Error);
    ParadoxFile empty(fixture("paradox/empty.db"));
    EXPECT_THROW(empty.value(0, 0), tables::Error);
}

TEST(ParadoxRecords, ReadFailureNamesTheFile)
{
    ParadoxFile table(fixture("paradox/many.db"));
    tables::faults::failAt(tables::faults::Read, 1, EIO);
    try {
        table.value(100, 0);
        ADD_FAILURE() << "no error";
    } catch (const tables::Error &e) {
        EXPECT_EQ(std::string(e.what()), "Файл «" + fixture("paradox/many.db") + "»: ошибка чтения: ошибка ввода-вывода");
    }
    tables::faults::reset();
    EXPECT_EQ(table.value(100, 0).integer, 101);
}

// Tables that do not record their code page: the field names decide, then the Alpha values,
// then the locale.
TEST(ParadoxCodePage, GuessedWhenTheHeaderHasNone)
{
    Scratch dir;
    auto noCodePage = [](std::vector<uint8_t> &b) { putLe16(b, 0x6A, 0); };
    ParadoxFile dos(dir.copy("paradox/cyr866.db", "dos.db", noCodePage));
    EXPECT_EQ(dos.codePage(), 866);
    EXPECT_EQ(dos.fields()[2].name, "ГОРОД");
    EXPECT_EQ(dos.value(0, 2).text, "Москва");

    ParadoxFile win(dir.copy("paradox/cyr1251.db", "win.db", noCodePage));
    EXPECT_EQ(win.codePage(), 1251);
    EXPECT_EQ(win.fields()[2].name, "ГОРОД");

    // Latin names: the Cyrillic values tell. The third name is at 0x78 + 265 + 6 * 3 + 8.
    ParadoxFile latin(dir.copy("paradox/cyr866.db", "latin.db", [&](std::vector<uint8_t> &b) {
        noCodePage(b);
        const std::vector<uint8_t> city = {'G', 'O', 'R', 'O', 'D'};
        std::copy(city.begin(), city.end(), b.begin() + 0x78 + 265 + 18 + 8);
    }));
    EXPECT_EQ(latin.fields()[2].name, "GOROD");
    EXPECT_EQ(latin.codePage(), 866);
    EXPECT_EQ(latin.value(1, 1).text, "Пётр Щукин");

    // The same values in UTF-8, cut to the fields' widths in bytes (one city inside a letter):
    // UTF-8 before DOS or Windows Cyrillic. Records of 54 bytes from 2048 + 6.
    ParadoxFile utf8(dir.copy("paradox/cyr866.db", "utf8.db", [&](std::vector<uint8_t> &b) {
        noCodePage(b);
        const std::vector<uint8_t> city = {'G', 'O', 'R', 'O', 'D'};
        std::copy(city.begin(), city.end(), b.begin() + 0x78 + 265 + 18 + 8);
        for (size_t r = 0; r < 4; ++r) {
            uint8_t *rec = b.data() + 2048 + 6 + 54 * r;
            for (auto [offset, width] : {std::pair<size_t, size_t>{4, 30}, {34, 20}}) {
                const std::string text = tables::codepage::toUtf8(
                    std::string(reinterpret_cast<const char *>(rec + offset), strnlen(reinterpret_cast<const char *>(rec + offset), width)), 866);
                std::fill(rec + offset, rec + offset + width, 0);
                std::copy_n(text.begin(), std::min(text.size(), width), rec + offset);
            }
        }
    }));
    EXPECT_EQ(utf8.codePage(), 65001);
    EXPECT_EQ(utf8.value(1, 1).text, "Пётр Щукин");
    EXPECT_EQ(utf8.value(0, 2).text, "Москва");
    EXPECT_EQ(utf8.value(0, 1).text, "Иванов Иван Иван");
    EXPECT_EQ(utf8.value(1, 2).text, "Санкт-Пете\xEF\xBF\xBD");
}

// The scrambling of one 256-byte chunk with the parameters a, b, c, d, as the inverse of the
// reader's unscrambling, worked out from it: unscrambling is a reordering of the bytes, then a
// fixed mask, so unscrambling zeros gives the mask and a single byte shows where it goes.
class ChunkScrambler {
public:
    ChunkScrambler(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
    {
        using tables::paradox::unscrambleChunk;
        uint8_t chunk[256] = {};
        unscrambleChunk(chunk, a, b, c, d);
        std::copy(chunk, chunk + 256, mask_);
        for (int from = 0; from < 256; ++from) {
            std::fill(chunk, chunk + 256, 0);
            chunk[from] = 1;
            unscrambleChunk(chunk, a, b, c, d);
            for (int to = 0; to < 256; ++to)
                if (chunk[to] != mask_[to])
                    storedAt_[to] = uint8_t(from);
        }
    }
    void scramble(uint8_t *chunk) const
    {
        uint8_t stored[256];
        for (int x = 0; x < 256; ++x)
            stored[storedAt_[x]] = chunk[x] ^ mask_[x];
        std::copy(stored, stored + 256, chunk);
    }

private:
    uint8_t mask_[256] = {};
    uint8_t storedAt_[256] = {};
};

// Password-protects a table as Paradox does: the key in the header, every data block
// scrambled (chunk i of block n with c = i, d = n); and its .mb, when given, every chunk
// alike (c = a + 1, d = b + 1).
void protect(std::vector<uint8_t> &db, std::vector<uint8_t> *mb, uint32_t key)
{
    const uint8_t a = uint8_t(key), b = uint8_t(key >> 8);
    const size_t header = size_t(db[2]) | size_t(db[3]) << 8, block = size_t(db[5]) * 1024;
    putLe32(db, 0x5C, key);
    for (size_t at = header, n = 1; at + block <= db.size(); at += block, ++n)
        for (size_t i = 0; i < block / 256; ++i)
            ChunkScrambler(a, b, uint8_t(i), uint8_t(n)).scramble(db.data() + at + 256 * i);
    if (mb) {
        const ChunkScrambler scrambler(a, b, uint8_t(a + 1), uint8_t(b + 1));
        for (size_t at = 0; at + 256 <= mb->size(); at += 256)
            scrambler.scramble(mb->data() + at);
    }
}

TEST(ParadoxEncrypted, RecordsReadWithoutThePassword)
{
    // Written by pxlib with a password; the key is the password's checksum at 0x5C.
    ParadoxFile table(fixture("paradox/encrypted7.db"));
    EXPECT_TRUE(table.encrypted());
    EXPECT_EQ(table.codePage(), 1252);
    ASSERT_EQ(table.recordCount(), 5);
    EXPECT_EQ(table.warning(), "");
    for (int i = 1; i <= 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(show(table.value(i - 1, 0)), "integer " + std::to_string(i));
        EXPECT_EQ(show(table.value(i - 1, 1)), "text Secret row " + std::to_string(i));
        char amount[32];
        std::snprintf(amount, sizeof amount, "number %.15g", 10.5 * i);
        EXPECT_EQ(show(table.value(i - 1, 2)), amount);
    }

    // The test's scrambler, worked out from the reader, gives back pxlib's bytes exactly.
    std::vector<uint8_t> bytes = readAll(fixture("paradox/encrypted7.db"));
    const std::vector<uint8_t> stored(bytes.begin() + 2048, bytes.end());
    std::vector<uint8_t> block = stored;
    tables::paradox::unscrambleDataBlock(block.data(), block.size(), 0x6E25449A, 1);
    EXPECT_EQ(block[6 + 4], 'S'); // the first NAME, after the block header and the first ID
    for (size_t i = 0; i < block.size() / 256; ++i)
        ChunkScrambler(0x9A, 0x44, uint8_t(i), 1).scramble(block.data() + 256 * i);
    EXPECT_TRUE(block == stored);
}

TEST(ParadoxEncrypted, EveryKindAndBlobReadsAsInThePlainTable)
{
    // alltypes (16 KiB blocks, values of every kind, blobs in the record and in the .mb),
    // protected; its .mb scrambled too, or left plain.
    const ParadoxFile plain(fixture("paradox/alltypes.db"));
    for (bool scrambledMb : {true, false}) {
        SCOPED_TRACE(scrambledMb ? "scrambled .mb" : "plain .mb");
        Scratch dir;
        std::vector<uint8_t> db = readAll(fixture("paradox/alltypes.db"));
        std::vector<uint8_t> mb = readAll(fixture("paradox/alltypes.mb"));
        protect(db, scrambledMb ? &mb : nullptr, 0x0A25E09A);
        writeAll(dir.path("t.db"), db);
        writeAll(dir.path("t.mb"), mb);
        ParadoxFile table(dir.path("t.db"));
        EXPECT_TRUE(table.encrypted());
        EXPECT_EQ(table.warning(), "");
        ASSERT_EQ(table.recordCount(), plain.recordCount());
        for (int64_t r = 0; r < plain.recordCount(); ++r)
            for (int f = 0; f < int(plain.fields().size()); ++f)
                EXPECT_EQ(show(table.value(r, f)), show(plain.value(r, f))) << "record " << r << " field " << f;
        EXPECT_EQ(show(table.value(1, 7)), "memo abcdefghijklmnopqrstuvwxyzabcd... (1199)");
    }
}

TEST(ParadoxEncrypted, ScramblingThatCannotBeUndoneKeepsTheRecordsClosed)
{
    Scratch dir;
    // A key in the header, but data blocks that do not unscramble into a block.
    // Level 5: the key is at 0x5C; level 3.5: at 0x25.
    ParadoxFile v5(dir.copy("real/paradox/long.db", "long.db", [](std::vector<uint8_t> &b) { putLe32(b, 0x5C, 0x0A25E09A); }));
    EXPECT_TRUE(v5.encrypted());
    ASSERT_EQ(v5.fields().size(), 2u);
    EXPECT_EQ(v5.fields()[1].name, "LONG");
    EXPECT_EQ(v5.recordCount(), 3);
    EXPECT_EQ(show(v5.value(0, 1)), "missing таблица защищена паролем");
    EXPECT_EQ(v5.warning(), "Файл «" + dir.path("long.db") + "»: таблица защищена паролем, записи не расшифровываются");

    ParadoxFile v35(dir.copy("real/paradox/date35.db", "date35.db", [](std::vector<uint8_t> &b) { putLe32(b, 0x25, 0x0A25E09A); }));
    EXPECT_TRUE(v35.encrypted());
    EXPECT_EQ(v35.fields()[0].name, "DATE");
    EXPECT_EQ(show(v35.value(2, 0)), "missing таблица защищена паролем");

    ParadoxFile plain(fixture("real/paradox/date35.db"));
    EXPECT_FALSE(plain.encrypted());
}

// Damaged headers: an error naming the file and the fault.

struct HeaderCase {
    std::string label;
    std::string file;
    size_t cut;             // bytes kept (0: all)
    size_t at;
    std::string hex;
    std::string expected;   // after "Файл «path»: "
};

void PrintTo(const HeaderCase &c, std::ostream *os) { *os << c.label; }

class ParadoxDamagedHeader : public testing::TestWithParam<HeaderCase> {};

TEST_P(ParadoxDamagedHeader, Refused)
{
    const HeaderCase &c = GetParam();
    Scratch dir;
    std::string path = dir.copy(c.file, "t.db", [&](std::vector<uint8_t> &b) {
        if (c.cut)
            b.resize(c.cut == size_t(-1) ? 0 : c.cut);
        std::vector<uint8_t> patch = fromHex(c.hex);
        std::copy(patch.begin(), patch.end(), b.begin() + std::ptrdiff_t(c.at));
    });
    const size_t largest = largestAllocationOf([&] {
        try {
            ParadoxFile table(path);
            ADD_FAILURE() << "opened";
        } catch (const tables::Error &e) {
            EXPECT_EQ(std::string(e.what()), "Файл «" + path + "»: " + c.expected);
        }
    });
    EXPECT_LE(largest, allocationBound(fs::file_size(path)));
}

const std::string kDamaged = "повреждён заголовок таблицы Paradox ";

// Offsets: 0x00 record size, 0x02 header size, 0x04 file type, 0x05 block size in KiB,
// 0x21 number of fields, 0x39 version; field array at 0x78 (level 4+) or 0x58 (level 3).
INSTANTIATE_TEST_SUITE_P(Cases, ParadoxDamagedHeader, testing::Values(
    HeaderCase{"empty file", "paradox/empty.db", size_t(-1), 0, "", kDamaged + "(файл короче заголовка)"},
    HeaderCase{"cut in the fixed part", "paradox/empty.db", 0x40, 0, "", kDamaged + "(файл короче заголовка)"},
    HeaderCase{"cut in the field names", "paradox/alltypes.db", 0x300, 0, "", kDamaged + "(размер заголовка 2048 больше файла)"},
    HeaderCase{"primary index", "paradox/empty.db", 0, 0x04, "01", "это не таблица Paradox (тип файла 1)"},
    HeaderCase{"secondary index", "paradox/empty.db", 0, 0x04, "08", "это не таблица Paradox (тип файла 8)"},
    HeaderCase{"version 2", "paradox/empty.db", 0, 0x39, "02", "неизвестная версия формата Paradox (0x02)"},
    HeaderCase{"version 13", "paradox/empty.db", 0, 0x39, "0d", "неизвестная версия формата Paradox (0x0D)"},
    HeaderCase{"block size 0", "paradox/empty.db", 0, 0x05, "00", kDamaged + "(размер блока 0 КБ)"},
    HeaderCase{"block size 33", "paradox/empty.db", 0, 0x05, "21", kDamaged + "(размер блока 33 КБ)"},
    HeaderCase{"record size 0", "paradox/empty.db", 0, 0x00, "0000", kDamaged + "(размер записи 0)"},
    HeaderCase{"record size off by one", "paradox/alltypes.db", 0, 0x00, "c700", kDamaged + "(размер записи 199 не равен сумме размеров полей 198)"},
    HeaderCase{"record bigger than a block", "paradox/many.db", 0, 0x00, "8813", kDamaged + "(запись в 5000 байт не помещается в блок в 2048 байт)"},
    HeaderCase{"header size 16", "paradox/empty.db", 0, 0x02, "1000", kDamaged + "(размер заголовка 16)"},
    HeaderCase{"header size beyond the file", "paradox/empty.db", 0, 0x02, "ffff", kDamaged + "(размер заголовка 65535 больше файла)"},
    HeaderCase{"no fields", "paradox/empty.db", 0, 0x21, "0000", kDamaged + "(число полей 0)"},
    HeaderCase{"negative fields", "paradox/empty.db", 0, 0x21, "ffff", kDamaged + "(число полей -1)"},
    HeaderCase{"too many fields", "paradox/empty.db", 0, 0x21, "3075", kDamaged + "(число полей 30000)"},
    HeaderCase{"more fields than names", "paradox/empty.db", 0, 0x21, "f000", kDamaged + "(имена полей выходят за заголовок)"},
    HeaderCase{"date of 5 bytes", "paradox/alltypes.db", 0, 0x78 + 3, "05", kDamaged + "(поле 2 типа 0x02 размером 5)"},
    HeaderCase{"alpha of 0 bytes", "paradox/empty.db", 0, 0x78 + 3, "00", kDamaged + "(поле 2 типа 0x01 размером 0)"},
    HeaderCase{"memo of 5 bytes", "paradox/alltypes.db", 0, 0x78 + 15, "05", kDamaged + "(поле 8 типа 0x0C размером 5)"},
    HeaderCase{"bcd of 33 decimals", "paradox/alltypes.db", 0, 0x78 + 31, "21", kDamaged + "(поле 16 типа 0x17 размером 33)"},
    HeaderCase{"unknown kind changes the record size", "paradox/empty.db", 0, 0x78, "0704", kDamaged + "(размер записи 54 не равен сумме размеров полей 56)"}));

TEST(ParadoxDamaged, NamesRunningPastTheHeader)
{
    // empty.db (level 7, 4 fields): names start at 0x78 + 8 + 4 + 16 + 261 = 0x199.
    Scratch dir;
    std::string path = dir.copy("paradox/empty.db", "t.db", [](std::vector<uint8_t> &b) {
        std::fill(b.begin() + 0x199, b.end(), uint8_t('x'));
    });
    try {
        ParadoxFile table(path);
        ADD_FAILURE() << "opened";
    } catch (const tables::Error &e) {
        EXPECT_EQ(std::string(e.what()), "Файл «" + path + "»: " + kDamaged + "(имена полей выходят за заголовок)");
    }
}

TEST(ParadoxDamaged, RandomBytesAreNoTable)
{
    Scratch dir;
    std::mt19937 random(20240315);
    for (size_t size : {16, 100, 2048, 9000}) {
        std::vector<uint8_t> bytes(size);
        for (uint8_t &b : bytes)
            b = uint8_t(random());
        writeAll(dir.path("r.db"), bytes);
        SCOPED_TRACE(size);
        try {
            ParadoxFile table(dir.path("r.db"));
            ADD_FAILURE() << "opened";
        } catch (const tables::Error &e) {
            EXPECT_EQ(std::string(e.what()).rfind("Файл «" + dir.path("r.db") + "»: ", 0), 0u) << e.what();
        }
    }
}

// A damaged chain of data blocks: the records before the damage, and a warning.

struct ChainCase {
    std::string label;
    size_t cut;             // bytes of many.db kept (0: all)
    size_t at;
    std::string hex;
    int64_t records;
    int64_t lastN;          // N of the last record kept (0: not checked)
    std::string warning;    // after "Файл «path»: "
};

void PrintTo(const ChainCase &c, std::ostream *os) { *os << c.label; }

class ParadoxDamagedChain : public testing::TestWithParam<ChainCase> {};

TEST_P(ParadoxDamagedChain, KeepsTheRecordsBefore)
{
    const ChainCase &c = GetParam();
    Scratch dir;
    std::string path = dir.copy("paradox/many.db", "many.db", [&](std::vector<uint8_t> &b) {
        if (c.cut)
            b.resize(c.cut);
        std::vector<uint8_t> patch = fromHex(c.hex);
        std::copy(patch.begin(), patch.end(), b.begin() + std::ptrdiff_t(c.at));
    });
    std::unique_ptr<ParadoxFile> opened;
    const size_t largest = largestAllocationOf([&] {
        opened = std::make_unique<ParadoxFile>(path);
        for (int64_t r = 0; r < opened->recordCount(); ++r)
            (void)opened->value(r, 0);
    });
    EXPECT_LE(largest, allocationBound(fs::file_size(path)));
    ParadoxFile &table = *opened;
    EXPECT_EQ(table.recordCount(), c.records);
    EXPECT_EQ(table.warning(), c.warning.empty() ? "" : "Файл «" + path + "»: " + c.warning);
    if (c.lastN) {
        EXPECT_EQ(table.value(0, 0).integer, 1);
        EXPECT_EQ(table.value(c.records - 1, 0).integer, c.lastN);
    }
}

// many.db: 2 KiB blocks from 0x800, 90 blocks chained 1 -> 2 -> ... -> 90, 56 records each
// (the last one 16). Block n starts at 0x800 * n; its header: next u16, previous u16,
// last record offset s16. Header: 0x06 record count, 0x0C file blocks, 0x0E first block.
INSTANTIATE_TEST_SUITE_P(Cases, ParadoxDamagedChain, testing::Values(
    ChainCase{"cycle back to block 2", 0, 0x800 * 3, "0200", 168, 168,
              "цепочка блоков данных замкнута в кольцо на блоке 2; прочитано записей: 168 из 5000 по заголовку"},
    ChainCase{"cycle onto itself", 0, 0x800 * 1, "0100", 56, 56,
              "цепочка блоков данных замкнута в кольцо на блоке 1; прочитано записей: 56 из 5000 по заголовку"},
    ChainCase{"next block past the end", 0, 0x800 * 3, "f401", 168, 168,
              "блок данных 500 за концом файла; прочитано записей: 168 из 5000 по заголовку"},
    ChainCase{"first block past the end", 0, 0x0E, "ffff", 0, 0,
              "блок данных 65535 за концом файла; прочитано записей: 0 из 5000 по заголовку"},
    ChainCase{"no first block", 0, 0x0E, "0000", 0, 0, "прочитано записей: 0 из 5000 по заголовку"},
    ChainCase{"file cut inside block 45", 0x800 * 45 + 6 + 10 * 36 + 5, 0, "", 44 * 56 + 10, 44 * 56 + 10,
              "файл обрывается в блоке данных 45; прочитано записей: 2474 из 5000 по заголовку"},
    ChainCase{"file cut inside a block header", 0x800 * 45 + 3, 0, "", 44 * 56, 44 * 56,
              "файл обрывается в блоке данных 45; прочитано записей: 2464 из 5000 по заголовку"},
    ChainCase{"absurd record count in the last block", 0, 0x800 * 90 + 4, "ff7f", 89 * 56 + 56, 0,
              "в блоке данных 90 неверное число записей; прочитано записей: 5040 из 5000 по заголовку"},
    ChainCase{"empty block in the chain", 0, 0x800 * 2 + 4, "dcff", 5000 - 56, 5000,
              "прочитано записей: 4944 из 5000 по заголовку"},
    ChainCase{"absurd header record count", 0, 0x06, "ffffffff", 5000, 5000,
              "прочитано записей: 5000 из 4294967295 по заголовку"},
    ChainCase{"absurd header block count", 0, 0x0C, "ffff", 5000, 5000, ""}));

// Corrupted copies with bytes changed at random (fixed seeds): whatever opens must read
// every cell without a crash; whatever does not must say why with an Error.
TEST(ParadoxDamaged, RandomCorruptionNeverCrashes)
{
    struct Source { std::string db, mb; size_t span; };
    const Source sources[] = {
        {"paradox/alltypes.db", "paradox/alltypes.mb", 0x900},
        {"real/paradox/CUSTOMER.DB", "real/paradox/CUSTOMER.MB", 0x2000},
        {"real/paradox/memo.db", "real/paradox/memo.mb", 0x1000},
        {"real/paradox/date35.db", "", 0x900},
    };
    Scratch dir;
    std::mt19937 random(7);
    int opened = 0;
    for (const Source &s : sources) {
        for (int round = 0; round < 80; ++round) {
            std::string db = dir.copy(s.db, "t.db", [&](std::vector<uint8_t> &b) {
                const int flips = 1 + int(random() % 6);
                for (int i = 0; i < flips; ++i)
                    b[random() % std::min(s.span, b.size())] = uint8_t(random());
            });
            if (!s.mb.empty())
                dir.copy(s.mb, "t.mb", [&](std::vector<uint8_t> &b) {
                    for (int i = 0; i < 4; ++i)
                        b[random() % b.size()] = uint8_t(random());
                });
            const size_t largest = largestAllocationOf([&] {
                try {
                    ParadoxFile table(db);
                    ++opened;
                    for (int64_t r = 0; r < table.recordCount(); ++r)
                        for (int f = 0; f < int(table.fields().size()); ++f)
                            (void)table.value(r, f);
                } catch (const tables::Error &e) {
                    EXPECT_EQ(std::string(e.what()).rfind("Файл «", 0), 0u) << e.what();
                }
            });
            const size_t held = fs::file_size(db) + (s.mb.empty() ? 0 : fs::file_size(dir.path("t.mb")));
            EXPECT_LE(largest, allocationBound(held)) << s.db << " round " << round;
        }
    }
    EXPECT_GT(opened, 0);
}

} // namespace
