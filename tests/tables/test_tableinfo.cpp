// The complete description of a table file: level, code page verdict, counts, companions, index
// tags, key fields and autoincrement, and the findings on damaged copies of the fixtures; the
// code page a user chooses, for the readers and for the verdict.
#include "tables/codepagechoice.h"
#include "tables/dbffile.h"
#include "tables/file.h"
#include "tables/paradoxfile.h"
#include "tables/tableinfo.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstring>

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using tables::CodePageVerdict;
using tables::CompanionInfo;
using tables::TableInfo;
using testutil::fixture;
using testutil::TempDir;

bool hasFinding(const TableInfo &t, const std::string &part)
{
    return std::any_of(t.findings.begin(), t.findings.end(), [&](const std::string &f) { return f.find(part) != std::string::npos; });
}

std::string allFindings(const TableInfo &t)
{
    std::string s;
    for (const std::string &f : t.findings)
        s += "[" + f + "] ";
    return s;
}

struct LevelCase {
    const char *file;
    const char *level;
    int codePage;
    CodePageVerdict::Source source;
    const char *mark;
    int64_t headerRecords, fileRecords;
};

class Levels : public testing::TestWithParam<LevelCase> {};

TEST_P(Levels, FormatLevelCodePageAndCounts)
{
    const LevelCase &c = GetParam();
    const TableInfo t = tables::describeTable(fixture(c.file));
    EXPECT_EQ(t.error, "");
    EXPECT_EQ(t.level, c.level);
    if (c.codePage != 0) { // 0: the locale's, whatever it is here
        EXPECT_EQ(t.codePage.codePage, c.codePage);
    }
    EXPECT_EQ(t.codePage.source, c.source);
    EXPECT_EQ(t.codePage.mark, c.mark);
    EXPECT_EQ(t.headerRecords.value_or(-1), c.headerRecords);
    EXPECT_EQ(t.fileRecords.value_or(-1), c.fileRecords);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, Levels,
    testing::Values(LevelCase{"dbase/db3_plain.dbf", "dBASE III+", 0, CodePageVerdict::Locale, "", 3, 3},
                    LevelCase{"dbase/cp866.dbf", "dBASE IV", 866, CodePageVerdict::Header, "0x26", 3, 3},
                    LevelCase{"dbase/cp1251.dbf", "dBASE IV", 1251, CodePageVerdict::Header, "0xC9", 3, 3},
                    LevelCase{"dbase/gdal_cp1251.dbf", "dBASE III+", 1251, CodePageVerdict::CpgFile, "CP1251", 3, 3},
                    LevelCase{"dbase/db4_memo.dbf", "dBASE IV", 1252, CodePageVerdict::Header, "0x57", 3, 3},
                    LevelCase{"dbase/db7_types.dbf", "dBASE 7", 1252, CodePageVerdict::Header, "DBWINUS0", 2, 2},
                    LevelCase{"dbase/fox26_memo.dbf", "FoxPro 2", 0, CodePageVerdict::Locale, "", 3, 3},
                    LevelCase{"dbase/vfp_types.dbf", "Visual FoxPro", 0, CodePageVerdict::Locale, "", 2, 2},
                    LevelCase{"dbase/clipper_wide.dbf", "Clipper/Harbour", 0, CodePageVerdict::Locale, "", 2, 2},
                    LevelCase{"dbase/bad_count.dbf", "dBASE III+", 0, CodePageVerdict::Locale, "", 10, 2},
                    LevelCase{"real/dbase/dbase_02.dbf", "dBASE II", 0, CodePageVerdict::Locale, "", 9, 9},
                    LevelCase{"real/paradox/date35.db", "Paradox 3.5", 0, CodePageVerdict::Locale, "", 3, 3},
                    LevelCase{"real/paradox/bcd.db", "Paradox 5.x", 850, CodePageVerdict::Header, "850", 3, 3},
                    LevelCase{"paradox/cyr866.db", "Paradox 7.x", 866, CodePageVerdict::Header, "866", 4, 4}));

// Tables without a mark are read in the locale's code page; the expected value follows it.
TEST(TableInfo, UnmarkedTablesFollowTheLocale)
{
    const TableInfo t = tables::describeTable(fixture("dbase/db3_plain.dbf"));
    EXPECT_GT(t.codePage.codePage, 0);
}

TEST(TableInfo, CyrillicTextFitsItsCodePageAndNotAnother)
{
    const TableInfo right = tables::describeTable(fixture("dbase/cp866.dbf"));
    EXPECT_GT(right.codePage.lettersChecked, 20);
    EXPECT_EQ(right.codePage.lettersFit, right.codePage.lettersChecked);
    EXPECT_EQ(right.fields[0].name, "NAME");

    // The user's choice wins over the header's mark; DOS text read as Windows text fits badly.
    const TableInfo wrong = tables::describeTable(fixture("dbase/cp866.dbf"), 1251);
    EXPECT_EQ(wrong.codePage.codePage, 1251);
    EXPECT_EQ(wrong.codePage.source, CodePageVerdict::User);
    EXPECT_EQ(wrong.codePage.lettersChecked, right.codePage.lettersChecked);
    EXPECT_LT(wrong.codePage.lettersFit, right.codePage.lettersFit * 3 / 4);
}

TEST(TableInfo, ChosenCodePageDecodesTextAndNames)
{
    // Records of the DOS table read in 1251 come out as other letters; names too when not ASCII.
    tables::DbfFile dos(fixture("dbase/cp866.dbf"), false);
    tables::DbfFile forced(fixture("dbase/cp866.dbf"), false, 1251);
    EXPECT_EQ(dos.codePage(), 866);
    EXPECT_EQ(forced.codePage(), 1251);
    EXPECT_EQ(dos.fieldText(0, 0), "Иванов Иван");
    EXPECT_NE(forced.fieldText(0, 0), dos.fieldText(0, 0));

    tables::ParadoxFile px(fixture("paradox/cyr866.db"));
    tables::ParadoxFile pxForced(fixture("paradox/cyr866.db"), 1251);
    EXPECT_EQ(px.codePage(), 866);
    EXPECT_EQ(pxForced.codePage(), 1251);
    std::string names, forcedNames;
    for (size_t i = 0; i < px.fields().size(); ++i) {
        names += px.fields()[i].name + ",";
        forcedNames += pxForced.fields()[i].name + ",";
    }
    EXPECT_NE(names, forcedNames);
}

TEST(TableInfo, CodePageChoicesParse)
{
    using tables::codepage::parseChoice;
    const std::pair<const char *, int> cases[] = {
        {"auto", 0},     {"AUTO", 0},    {"866", 866},       {"cp866", 866},   {"CP1251", 1251}, {"koi8-r", 20866},
        {"KOI8R", 20866}, {"437", 437},  {"850", 850},       {"852", 852},     {"1250", 1250},   {"1252", 1252},
        {"utf-8", 65001}, {"UTF8", 65001}, {"1253", -1},     {"", -1},         {"cp", -1},       {"latin1", -1}};
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(parseChoice(text), expected) << text;
    EXPECT_EQ(tables::codepage::choices().size(), 10u);
    EXPECT_STREQ(tables::codepage::choices().front().label, "Автоматически");
}

TEST(TableInfo, FieldsCarryTheirNativeDescription)
{
    const TableInfo vfp = tables::describeTable(fixture("dbase/vfp_types.dbf"));
    ASSERT_EQ(vfp.fields.size(), 10u);
    EXPECT_EQ(vfp.fields[0].name, "NAME");
    EXPECT_TRUE(vfp.fields[0].nullable);
    EXPECT_EQ(vfp.fields[0].offset, 1);
    EXPECT_EQ(vfp.fields[4].nativeCode, "B");
    EXPECT_EQ(vfp.fields[4].nativeName, "Double");
    EXPECT_TRUE(vfp.fields[9].system);
    EXPECT_EQ(vfp.fields[9].nativeCode, "0");

    const TableInfo db7 = tables::describeTable(fixture("dbase/db7_types.dbf"));
    ASSERT_GE(db7.fields.size(), 3u);
    EXPECT_EQ(db7.fields[1].name, "LONG_FIELD_NAME_OF_31_CHARACTER"); // uncut
    EXPECT_TRUE(db7.fields[2].autoIncrement);
    EXPECT_EQ(db7.fields[2].autoNext.value_or(0), 3); // values 1 and 2 are given
    EXPECT_EQ(db7.fields[2].autoStep.value_or(0), 1);

    const TableInfo num = tables::describeTable(fixture("dbase/db3_plain.dbf"));
    EXPECT_EQ(num.fields[2].name, "PRICE");
    EXPECT_EQ(num.fields[2].width, 10);
    EXPECT_EQ(num.fields[2].decimals, 2);

    // A keyed Paradox table: its key fields, and a counter that goes on after the header's last value.
    const TableInfo customer = tables::describeTable(fixture("real/paradox/CUSTOMER.DB"));
    EXPECT_EQ(customer.keyFields, std::vector<std::string>{"CustNo"});
    EXPECT_TRUE(customer.fields[0].key);
    EXPECT_FALSE(customer.fields[1].key);
    EXPECT_EQ(customer.fields[0].autoNext.value_or(0), 45);
    ASSERT_FALSE(customer.companions.empty());
    EXPECT_EQ(customer.companions[0].kind, "primary-index");
    EXPECT_EQ(customer.companions[0].state, CompanionInfo::Missing);
    EXPECT_TRUE(hasFinding(customer, "CUSTOMER.PX")) << allFindings(customer);
}

TEST(TableInfo, DeletedRecordsAreCounted)
{
    const TableInfo t = tables::describeTable(fixture("dbase/deleted.dbf"));
    EXPECT_EQ(t.fileRecords.value_or(-1), 5);
    EXPECT_EQ(t.deletedRecords.value_or(-1), 2);
    EXPECT_TRUE(t.findings.empty()) << allFindings(t);
}

TEST(TableInfo, ProductionIndexTags)
{
    const TableInfo t = tables::describeTable(fixture("mdx/main_rows/ZORMAIN.DBF"));
    ASSERT_EQ(t.indexTags.size(), 1u);
    EXPECT_EQ(t.indexTags[0].file, "ZORMAIN.MDX");
    EXPECT_EQ(t.indexTags[0].name, "ZORID");
    EXPECT_EQ(t.indexTags[0].expression, "ZORID");
    EXPECT_FALSE(t.indexTags[0].descending);
    EXPECT_FALSE(t.indexTags[0].unique);
    ASSERT_EQ(t.companions.size(), 1u);
    EXPECT_EQ(t.companions[0].state, CompanionInfo::Found);
}

// A FoxPro structural index built here by hand from the published layout (no writer of one is at
// hand): the tag directory is a compact leaf of tag names pointing to the tags' headers.
TEST(TableInfo, CompoundIndexTags)
{
    TempDir dir;
    auto table = testutil::readAll(fixture("dbase/vfp_types.dbf"));
    table[28] |= 0x01; // structural .cdx
    testutil::writeAll(dir.str() + "vfp.dbf", table);
    testutil::copy(fixture("dbase/vfp_types.fpt"), dir.str() + "vfp.fpt");

    std::vector<unsigned char> cdx(3584, 0);
    auto put16 = [&](size_t at, unsigned v) { cdx[at] = uint8_t(v); cdx[at + 1] = uint8_t(v >> 8); };
    auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF); put16(at + 2, v >> 16); };
    auto text = [&](size_t at, const std::string &s) { std::copy(s.begin(), s.end(), cdx.begin() + std::ptrdiff_t(at)); };
    put32(0, 1024);            // directory root
    put16(12, 10);             // tag names are 10 bytes
    cdx[14] = 0xE0;
    // The directory's leaf at 1024: 2 keys, no brothers; 16 bits of header offset, 4 of
    // duplicate count, 4 of trailing blanks, 3 bytes an item; names stored from the node's end.
    const size_t leaf = 1024;
    put16(leaf, 3);
    put16(leaf + 2, 2);
    put32(leaf + 4, 0xFFFFFFFF);
    put32(leaf + 8, 0xFFFFFFFF);
    put32(leaf + 14, 0xFFFF);
    cdx[leaf + 18] = 0x0F;
    cdx[leaf + 19] = 0x0F;
    cdx[leaf + 20] = 16;
    cdx[leaf + 21] = 4;
    cdx[leaf + 22] = 4;
    cdx[leaf + 23] = 3;
    const uint32_t items[] = {1536u | (0u << 16) | (4u << 20), 2560u | (1u << 16) | (7u << 20)};
    for (int k = 0; k < 2; ++k)
        for (int b = 0; b < 3; ++b)
            cdx[leaf + 24 + size_t(k) * 3 + size_t(b)] = uint8_t(items[k] >> (8 * b));
    text(leaf + 512 - 6, "AMOUNT"); // AMOUNT + 4 blanks
    text(leaf + 512 - 8, "MT");     // A (shared with AMOUNT) + MT + 7 blanks: "AMT"
    // Tag headers: options, order, and the key and FOR texts with their lengths.
    cdx[1536 + 14] = 0x01 | 0x08 | 0x20;
    put16(1536 + 502, 1);
    put16(1536 + 506, 9);
    put16(1536 + 510, 7);
    text(1536 + 512, std::string("AMOUNT\0AMOUNT>0", 16));
    cdx[2560 + 14] = 0x20;
    text(2560 + 512, "UPPER(AMT)");
    put16(2560 + 510, 11);
    testutil::writeAll(dir.str() + "vfp.cdx", cdx);

    const TableInfo t = tables::describeTable(dir.str() + "vfp.dbf");
    ASSERT_EQ(t.indexTags.size(), 2u) << allFindings(t);
    EXPECT_EQ(t.indexTags[0].file, "vfp.cdx");
    EXPECT_EQ(t.indexTags[0].name, "AMOUNT");
    EXPECT_EQ(t.indexTags[0].expression, "AMOUNT");
    EXPECT_TRUE(t.indexTags[0].unique);
    EXPECT_TRUE(t.indexTags[0].descending);
    EXPECT_EQ(t.indexTags[0].filter, "AMOUNT>0");
    EXPECT_EQ(t.indexTags[1].name, "AMT");
    EXPECT_EQ(t.indexTags[1].expression, "UPPER(AMT)");
    EXPECT_FALSE(t.indexTags[1].unique);
    EXPECT_FALSE(t.indexTags[1].descending);
    EXPECT_EQ(t.indexTags[1].filter, "");

    // Cut inside the second tag's header: the first tag stays, the index is called damaged.
    cdx.resize(2600);
    testutil::writeAll(dir.str() + "vfp.cdx", cdx);
    const TableInfo cut = tables::describeTable(dir.str() + "vfp.dbf");
    EXPECT_EQ(cut.indexTags.size(), 2u);
    ASSERT_EQ(cut.companions.size(), 2u);
    EXPECT_EQ(cut.companions[1].state, CompanionInfo::Damaged);
    EXPECT_TRUE(hasFinding(cut, "vfp.cdx")) << allFindings(cut);
}

// Damaged copies of the fixtures: each is described, with its finding, and never throws.
TEST(TableInfo, FindingsOnDamagedTables)
{
    TempDir dir;
    const std::string d = dir.str();
    auto bytes = [](const std::string &from) { return testutil::readAll(fixture(from)); };

    // Record count beyond the file, and fewer than the file holds.
    EXPECT_TRUE(hasFinding(tables::describeTable(fixture("dbase/bad_count.dbf")), "указано записей: 10"));
    EXPECT_TRUE(hasFinding(tables::describeTable(fixture("dbase/short_count.dbf")), "После последней записи"));

    // No end marker after the last record.
    auto plain = bytes("dbase/db3_plain.dbf");
    ASSERT_EQ(plain.back(), 0x1A);
    plain.pop_back();
    testutil::writeAll(d + "noeof.dbf", plain);
    EXPECT_TRUE(hasFinding(tables::describeTable(d + "noeof.dbf"), "1Ah"));

    // A record length longer than the fields need.
    auto longer = bytes("dbase/db3_plain.dbf");
    const int rl = longer[10] | (longer[11] << 8);
    const int64_t records = longer[4];
    longer[10] = uint8_t(rl + 1);
    longer.insert(longer.end() - 1, size_t(records), ' ');
    testutil::writeAll(d + "longrec.dbf", longer);
    const TableInfo lr = tables::describeTable(d + "longrec.dbf");
    EXPECT_TRUE(hasFinding(lr, "больше суммы длин полей")) << allFindings(lr);

    // Memo pointers past the memo file: the .dbt cut after its header.
    testutil::copy(fixture("dbase/db3_memo.dbf"), d + "memo.dbf");
    auto memo = bytes("dbase/db3_memo.dbt");
    memo.resize(512);
    testutil::writeAll(d + "memo.dbt", memo);
    const TableInfo m = tables::describeTable(d + "memo.dbf");
    EXPECT_TRUE(hasFinding(m, "за концом файла примечаний")) << allFindings(m);

    // A memo pointer of more digits than a block number has (a damaged field width of 20): far
    // past the file, however the product of block and block size would overflow.
    std::vector<unsigned char> wide(32 + 32 + 1, 0);
    wide[0] = 0x83;
    wide[4] = 1;                               // one record
    wide[8] = 65;                              // header length
    wide[10] = 21;                             // record length
    std::memcpy(&wide[32], "NOTE", 4);
    wide[32 + 11] = 'M';
    wide[32 + 16] = 20;
    wide[64] = 0x0D;
    const std::string pointer = " " + std::string("  345678901234600001");
    wide.insert(wide.end(), pointer.begin(), pointer.end());
    wide.push_back(0x1A);
    testutil::writeAll(d + "widememo.dbf", wide);
    std::vector<unsigned char> dbt(512, 0);
    dbt[0] = 1;
    testutil::writeAll(d + "widememo.dbt", dbt);
    const TableInfo wm = tables::describeTable(d + "widememo.dbf");
    EXPECT_TRUE(hasFinding(wm, "за концом файла примечаний: 1")) << allFindings(wm);

    // The memo file missing altogether.
    testutil::copy(fixture("dbase/db3_memo.dbf"), d + "nomemo.dbf");
    const TableInfo nm = tables::describeTable(d + "nomemo.dbf");
    ASSERT_FALSE(nm.companions.empty());
    EXPECT_EQ(nm.companions[0].state, CompanionInfo::Missing);
    EXPECT_TRUE(hasFinding(nm, "Нет файла примечаний")) << allFindings(nm);

    // A production index announced in the header but absent, and one that is no index at all.
    testutil::copy(fixture("mdx/main_rows/ZORMAIN.DBF"), d + "ZORMAIN.DBF");
    const TableInfo noMdx = tables::describeTable(d + "ZORMAIN.DBF");
    EXPECT_TRUE(hasFinding(noMdx, "ZORMAIN.MDX")) << allFindings(noMdx);
    testutil::writeAll(d + "ZORMAIN.MDX", std::vector<unsigned char>(100, 0x41));
    const TableInfo badMdx = tables::describeTable(d + "ZORMAIN.DBF");
    ASSERT_FALSE(badMdx.companions.empty());
    EXPECT_EQ(badMdx.companions[0].state, CompanionInfo::Damaged);

    // A Paradox block chain pointing past the end of the file.
    auto px = bytes("paradox/many.db");
    const int header = px[2] | (px[3] << 8);
    px[size_t(header)] = 0xFF;
    px[size_t(header) + 1] = 0x7F;
    testutil::writeAll(d + "chain.db", px);
    const TableInfo chain = tables::describeTable(d + "chain.db");
    EXPECT_EQ(chain.error, "");
    EXPECT_TRUE(hasFinding(chain, "за концом файла")) << allFindings(chain);
    EXPECT_LT(chain.fileRecords.value_or(0), chain.headerRecords.value_or(0));

    // Not a table, an empty file, a missing file: the error, and the file facts that exist.
    const std::string words = "This is a text file, not a table at all; it only ends in .dbf.\n";
    testutil::writeAll(d + "text.dbf", std::vector<unsigned char>(words.begin(), words.end()));
    const TableInfo text = tables::describeTable(d + "text.dbf");
    EXPECT_NE(text.error.find("не таблица"), std::string::npos) << text.error;
    EXPECT_EQ(text.fileSize.value_or(0), int64_t(words.size()));
    testutil::writeAll(d + "empty.db", {});
    EXPECT_NE(tables::describeTable(d + "empty.db").error, "");
    const TableInfo missing = tables::describeTable(d + "missing.dbf");
    EXPECT_NE(missing.error.find("не найден"), std::string::npos);
    EXPECT_FALSE(missing.fileSize.has_value());
}

// The file's time is told in UTC to the second, cut (not rounded), on either side of 1970, for a
// table that opens and for a file that is no table.
TEST(TableInfo, FileTimeInUtc)
{
    using namespace std::chrono;
    TempDir dir;
    const auto table = testutil::readAll(fixture("dbase/db3_plain.dbf"));
    const std::string text = "not a table\n";
    testutil::writeAll(dir.str() + "t.dbf", table);
    testutil::writeAll(dir.str() + "x.dbf", std::vector<unsigned char>(text.begin(), text.end()));
    struct Case {
        sys_time<milliseconds> when;
        const char *shown;
    };
    const Case cases[] = {
        {sys_days{2024y / 2 / 29} + 23h + 59min + 58s + 700ms, "2024-02-29T23:59:58Z"},
        {sys_days{2000y / 1 / 1}, "2000-01-01T00:00:00Z"},
        {sys_days{1969y / 12 / 31} + 23h + 59min + 59s + 500ms, "1969-12-31T23:59:59Z"},
        {sys_days{2107y / 12 / 31} + 1h + 2min + 3s, "2107-12-31T01:02:03Z"},
    };
    for (const Case &c : cases) {
#ifdef _WIN32
        // The MinGW runtime sets a file's time through the C runtime, which leaves it unchanged
        // outside 1970 to 2038: such a time cannot be made here to be read back.
        if (c.when < sys_days{1970y / 1 / 1} || c.when >= sys_days{2038y / 1 / 1})
            continue;
#endif
        for (const char *name : {"t.dbf", "x.dbf"}) {
            const fs::path path = dir.path() / name;
            fs::last_write_time(path, fs::file_time_type::clock::from_sys(c.when));
            const TableInfo info = tables::describeTable(path.string());
            EXPECT_EQ(info.fileTime, c.shown) << name;
        }
    }
}

// Prefixes of a table with memo, index and companions is described without a crash or a throw.
TEST(TableInfo, CutFilesNeverThrow)
{
    TempDir dir;
    for (const char *from : {"dbase/db4_memo.dbf", "dbase/vfp_types.dbf", "mdx/main_rows/ZORMAIN.DBF", "paradox/alltypes.db"}) {
        const auto whole = testutil::readAll(fixture(from));
        const std::string cut = dir.str() + "cut" + tables::splitPath(from).extension;
        const size_t step = std::max<size_t>(7, whole.size() / 300);
        for (size_t n = 0; n < whole.size(); n += step) {
            testutil::writeAll(cut, std::vector<unsigned char>(whole.begin(), whole.begin() + std::ptrdiff_t(n)));
            EXPECT_NO_THROW(tables::describeTable(cut)) << from << " cut at " << n;
        }
    }
}

} // namespace
