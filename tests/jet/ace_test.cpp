// Access 2007 and later files: the version each was written in, the values of the
// types and columns Jet 4 lacks (calculated, extended date), an encrypted file refused.

#include <limits>

#include "engines/jet/database.h"
#include "engines/jet/format/attachment.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/value.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using namespace testing;

std::vector<std::string> RowTexts(const fs::path& file, const std::string& table) {
    const JetDatabase db = JetDatabase::Open(file);
    std::vector<std::string> lines;
    for (const auto& row : ReadTableText(db.file(), db.LoadTable(table)).rows) {
        std::string line;
        for (const auto& value : row) {
            if (!line.empty()) line += '|';
            line += value.value_or("<Null>");
        }
        lines.push_back(line);
    }
    return lines;
}

TEST(AceFiles, OpenWithTheVersionTheyWereWrittenIn) {
    const std::map<std::string, std::uint8_t> expected{
        {"V2007", kVersionAce2007}, {"V2010", kVersionAce2010}, {"V2019", kVersionAce2019}};
    for (const fs::path& path : AllAceDatabases()) {
        const PageFile file = PageFile::Open(path);
        EXPECT_TRUE(file.ace()) << path;
        EXPECT_EQ(file.format().page_size, 4096u);
        const std::string folder = path.parent_path().filename().string();
        if (expected.contains(folder)) {
            EXPECT_EQ(file.version_byte(), expected.at(folder)) << path;
        }
    }
    EXPECT_EQ(PageFile::Open(TestData() / "accdb/empty/empty2016.accdb").version_byte(), kVersionAce2016);
}

// Each value is its expression's result (the expressions are in the file's column
// properties): text, Long, a Currency result in a Double column, Yes/No, a long-value
// text, decimal results in Double and Decimal columns, a Single result in a Decimal one.
TEST(AceFiles, CalculatedColumnsShowTheirResults) {
    const std::vector<std::string> rows = RowTexts(TestData() / "accdb/V2010/calcFieldTestV2010.accdb", "Table1");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0],
              "1|Bruce|Wayne|Wayne, Bruce|Gotham|12|1000000|83333.3333|1|Wayne, Bruce=Wayne, Bruce|19230.7692307692|"
              "1000000|1|50.325|50.325|2583.2092|56505085819.42479129657228018");
    EXPECT_EQ(rows[1],
              "2|Bart|Simpson|Simpson, Bart|Springfield|13|-1|-0.0833|0|Simpson, Bart=Simpson, Bart|"
              "-0.0192307692307692|-1|1|-36.2222|-36.2222|0.0035889593|-0.0784734499180612994241100748");
}

// The extended date to 100 ns beside the same moment as Access formats it in a text
// column; a calculated date over Null is Null.
TEST(AceFiles, ExtendedDatesKeepTheirTicks) {
    const std::vector<std::string> rows = RowTexts(TestData() / "accdb/V2019/extDateTestV2019.accdb", "Table1");
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(rows[0], "1|row1|2020-06-17 00:00:00.0000000|2020-06-17 00:00:00|6/17/2020|2020-06-17 00:00:00");
    EXPECT_EQ(rows[4], "5|row5|<Null>|<Null>|<Null>|<Null>");
    EXPECT_EQ(rows[5],
              "6|row6|2021-06-14 22:45:12.3456789|2021-06-14 22:45:12|6/14/2021 10:45:12.3456789 PM|"
              "2021-06-14 22:45:12");
    EXPECT_EQ(rows[7],
              "8|row8|0100-06-14 12:45:00.1234567|0100-06-14 12:45:00|6/14/100 12:45:00.1234567 PM|"
              "0100-06-14 12:45:00");
    for (const char* bad : {"0000000000000737592:0000000000000000000", "000000000000073759x:0000000000000000000:7",
                            "0000000000000737592:0000864000000000000:7"}) {
        std::string text(bad);
        text.resize(42, '\0');
        EXPECT_EQ(
            ErrorOf([&] { ExtendedDateToText(ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), 42)); }),
            errc::kCorrupt)
            << bad;
    }
}

// Version history (text and date), multi-value items and attachments (name and decoded
// size) as each row's items; a row without items is Null.
TEST(AceFiles, ComplexColumnsShowTheirItems) {
    for (const char* file : {"accdb/V2007/complexDataTestV2007.accdb", "accdb/V2010/complexDataTestV2010.accdb"}) {
        const std::vector<std::string> rows = RowTexts(TestData() / file, "Table1");
        ASSERT_EQ(rows.size(), 4u) << file;
        EXPECT_EQ(rows[0], "row1|<Null>|<Null>|<Null>|<Null>|<Null>") << file;
        EXPECT_EQ(rows[2],
                  "row3|row3-memo (2011-09-12 21:21:19); row3-memo-revised (2011-09-12 21:22:33); row3-memo-again "
                  "(2011-09-12 21:22:45)|row3-memo|row3-memo-again|value1; value2; value3; value4|<Null>")
            << file;
        EXPECT_EQ(rows[3], "row4|row4-memo (2011-09-12 21:22:26)|row4-memo|row4-memo|<Null>|test_data2.txt (43 bytes)")
            << file;
    }
}

TEST(AceFiles, AttachmentsDecodeToTheirFiles) {
    const JetDatabase db = JetDatabase::Open(TestData() / "accdb/V2010/complexDataTestV2010.accdb");
    const TableDef def = db.LoadTable("Table1");
    const ComplexValues complex = ComplexValues::Load(db.file(), def);
    const std::vector<ComplexItem>& items = complex.Items(*def.ColumnByNumber(5), 2);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].file_name, "test_data.txt");
    EXPECT_EQ(std::string(items[0].file_bytes.begin(), items[0].file_bytes.end()),
              "this is some test data for attachment.");
    // A theme (a zip file) under dynamic codes.
    EXPECT_EQ(RowTexts(TestData() / "accdb/V2010/complexDataTestV2010.accdb", "MSysResources").at(0),
              "Office Theme.thmx (3096 bytes)|thmx|1|Office Theme|thmx");
    // Stored rather than deflated; then damage: a checksum, a length, a form.
    const Bytes deflated = FromHex(
        "010000003A000000785E1361606060046216202E61A80062209D9159AC0044C5F9B9A90A25A9C5250A298925890A69F9450A8925258"
        "9C919B9A979257A0052A90F7A");
    EXPECT_EQ(DecodeAttachment(deflated).extension, "txt");
    Bytes stored = FromHex("00000000160000001400000001000000040000007400780074000000");
    stored.insert(stored.end(), {'a', 'b'});
    EXPECT_EQ(DecodeAttachment(stored).bytes, (Bytes{'a', 'b'}));
    const AttachmentContent inStoredBlock = DecodeAttachment(
        FromHex("010000001B0000007801011B00E4FF140000000100000004000000740078007400000073746F726564212062042C"));
    EXPECT_EQ(std::string(inStoredBlock.bytes.begin(), inStoredBlock.bytes.end()), "stored!");
    for (const auto& damage :
         std::vector<std::function<void(Bytes&)>>{[](Bytes& b) { b.back() ^= 1; }, [](Bytes& b) { b[4] = 0x30; },
                                                  [](Bytes& b) { b[0] = 7; }, [](Bytes& b) { b.resize(20); }}) {
        Bytes bad = deflated;
        damage(bad);
        EXPECT_EQ(ErrorOf([&] { DecodeAttachment(bad); }), errc::kCorrupt);
    }
}

// No test file holds a Large Number value: its form (signed, little-endian) is checked here.
TEST(AceFiles, LargeNumbersAreSigned64BitValues) {
    const PageFile file = PageFile::FromMemory(ReadBytes(TestData() / "accdb/empty/empty2016.accdb"));
    Column column;
    column.type = coltype::kBigInt;
    for (const auto& [value, text] : {std::pair{std::int64_t{-5}, "-5"},
                                      std::pair{std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
                                      std::pair{std::int64_t{1} << 40, "1099511627776"}}) {
        Bytes row(8);
        for (std::size_t i = 0; i < 8; ++i)
            row[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i));
        FieldSpan field;
        field.present = true;
        field.offset = 0;
        field.length = 8;
        EXPECT_EQ(FieldToText(file, column, row, field), text);
    }
}

TEST(AceFiles, AnOfficeEncryptedFileIsRefusedByName) {
    Bytes bytes = ReadBytes(TestData() / "accdb/empty/empty2010.accdb");
    bytes[0x3E] ^= 0x01;  // masked: a flipped bit stays flipped
    std::string why;
    EXPECT_EQ(ErrorOf([&] { PageFile::FromMemory(bytes); }, &why), errc::kNotADatabase);
    EXPECT_NE(why.find("encrypted with a password; not supported"), std::string::npos) << why;
}

}  // namespace
}  // namespace dorvane::jet
