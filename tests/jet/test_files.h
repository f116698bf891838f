#pragma once
// What the Access-engine tests share: the reader, the test databases, temporary
// copies, shell commands whose output is compared, and the independent readers.

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <functional>

#include "core/error.h"
#include "engines/jet/database.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/long_value.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/usage_map.h"
#include "tests/support/error_of.h"
#include "tests/support/temp_dir.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace dorvane::jet::testing {

namespace fs = std::filesystem;

inline fs::path TestData() {
    const char* folder = std::getenv("DORVANE_TESTDATA");
    return folder != nullptr && *folder != '\0' ? fs::path(folder) : fs::path(DORVANE_TESTDATA);
}

// Every non-empty .mdb under mdb/ and products/, sorted.
inline std::vector<fs::path> AllTestDatabases() {
    std::vector<fs::path> files;
    for (const char* sub : {"mdb", "products"}) {
        for (const auto& e : fs::recursive_directory_iterator(TestData() / sub))
            if (e.path().extension() == ".mdb" && e.file_size() > 0) files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Every .accdb under accdb/ (Access 2007 and later), sorted.
inline std::vector<fs::path> AllAceDatabases() {
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(TestData() / "accdb"))
        if (e.path().extension() == ".accdb") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Empty when the file cannot be read. In one read: byte by byte is slow
// under the sanitizers.
inline Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (!in || ec) return {};
    Bytes bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

inline void WriteBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes FromHex(std::string_view hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

using TempFolder = dorvane::testing::TempDir;

// A writable copy of `file` in `folder`.
inline fs::path Copy(const TempFolder& folder, const fs::path& file, const std::string& name = {}) {
    const fs::path to = folder / (name.empty() ? file.filename().string() : name);
    fs::copy_file(file, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
    return to;
}

using dorvane::testing::ErrorOf;

// Where `offset` of `page` lies in the file's bytes.
inline std::size_t At(const PageFile& f, std::uint32_t page, std::size_t offset = 0) {
    return std::size_t{page} * f.page_size() + offset;
}

struct Target {  // a table's definition and its data pages
    TableDef def;
    std::vector<std::uint32_t> data;
};
inline Target TableOf(const PageFile& f, const std::string& name) {
    const TableDef def = ReadTableDef(f, FindTable(ReadTables(f), name)->table_page());
    return {def, TableDataPages(f, def)};
}

// `text` as a test name: what is not a letter or digit becomes '_'.
inline std::string TestName(std::string text) {
    for (char& c : text) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return text;
}

// Where row `row` of data page `page` starts.
inline std::size_t RowAt(const PageFile& f, std::uint32_t page, std::size_t row) {
    return At(f, page, DataPage::Parse(f.format(), page, f.ReadPage(page)).slots().at(row).start);
}

// The row byte of the first entry of the index's last leaf (stored whole).
inline std::size_t FirstEntryRow(const PageFile& f, std::uint32_t root) {
    const std::uint32_t leaf = WalkIndex(f, root).pages.back();
    return At(f, leaf,
              f.format().idx_entries + ParseIndexPage(f.format(), leaf, f.ReadPage(leaf)).entries.at(0).key.size() + 3);
}

// Marks `page` free in the free-page map on page 1 (inline, from page 0).
inline void MarkFree(Bytes& b, const PageFile& f, std::uint32_t page) {
    b[RowAt(f, 1, 0) + kUsageMapInlineHeader + page / 8] |= static_cast<std::uint8_t>(1u << (page % 8));
}

// Where `page`'s bit lies in the usage map stored at `record` (inline or by
// bitmap pages), and its mask.
inline std::pair<std::size_t, std::uint8_t> MapBit(const Bytes& b, const PageFile& f, RowPointer record,
                                                   std::uint32_t page) {
    const std::size_t map = RowAt(f, record.page, record.row);
    std::size_t bit = page - Le32(b, map + 1), at = map + kUsageMapInlineHeader;
    if (b[map] == kUsageMapReference) {
        const std::uint32_t per = PagesPerBitmapPage(f.format());
        at = At(f, Le32(b, map + ReferenceSlotOffset(page / per)), kUsageBitmapPageHeader);
        bit = page % per;
    }
    return {at + bit / 8, static_cast<std::uint8_t>(1u << (bit % 8))};
}

// Takes `pages` out of the usage map stored at `record`.
inline void Unlist(Bytes& b, const PageFile& f, RowPointer record, const std::vector<std::uint32_t>& pages) {
    for (const std::uint32_t page : pages) {
        const auto [at, mask] = MapBit(b, f, record, page);
        b[at] &= static_cast<std::uint8_t>(~mask);
    }
}

// Puts `page` into the usage map stored at `record`.
inline void List(Bytes& b, const PageFile& f, RowPointer record, std::uint32_t page) {
    const auto [at, mask] = MapBit(b, f, record, page);
    b[at] |= mask;
}

#ifndef _WIN32
struct CommandResult {
    int status = -1;
    std::string output;
};

// Standard output only, so that warnings stay out of comparisons.
inline CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    std::array<char, 65536> buffer{};
    for (std::size_t n; pipe && (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
        result.output.append(buffer.data(), n);
    const int status = pipe ? ::pclose(pipe) : -1;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string Quote(const fs::path& path) {
    std::string out = "'";
    for (char c : path.string()) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Splits `text` at every `by`; an empty text is one empty part.
inline std::vector<std::string> SplitOn(const std::string& text, const std::string& by) {
    std::vector<std::string> parts;
    for (std::size_t from = 0, at = 0; at < text.size() || parts.empty(); from = at + by.size()) {
        at = std::min(text.find(by, from), text.size());
        parts.push_back(text.substr(from, at - from));
    }
    return parts;
}

// mdb-export's rows, header first, unquoted: fields, rows and Null as
// sequences no test value holds (single control characters do occur).
inline constexpr char kExportField[] = "\x1f|\x1f", kExportRow[] = "\x1e#\x1e", kExportNull[] = "\x01<Null>\x01";
inline std::vector<std::vector<std::string>> MdbExport(const fs::path& file, const std::string& table,
                                                       const std::string& options = "") {
    const CommandResult out =
        RunCommand("mdb-export -Q -0 " + Quote(kExportNull) + " -d " + Quote(kExportField) + " -R " +
                   Quote(kExportRow) + " -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' " + options + " " + Quote(file) +
                   " " + Quote(table) + " 2>/dev/null");
    std::vector<std::string> lines = SplitOn(out.output, kExportRow);
    if (lines.back().empty()) lines.pop_back();  // after the last row
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : lines) rows.push_back(SplitOn(line, kExportField));
    return rows;
}

// Whether an independent reader is installed. When it is not, the test is
// skipped, visibly; where DORVANE_REQUIRE_ORACLES=1 (CI) it fails instead.
inline bool HaveOracle(const std::string& command, const std::string& what) {
    if (RunCommand(command + " >/dev/null 2>&1").status == 0) return true;
    const char* required = std::getenv("DORVANE_REQUIRE_ORACLES");
    if (required != nullptr && std::string(required) == "1")
        ADD_FAILURE() << what << " is missing, and DORVANE_REQUIRE_ORACLES=1";
    else
        [&] { GTEST_SKIP() << what << " is missing: the comparison with it is skipped"; }();
    return false;
}
#endif

}  // namespace dorvane::jet::testing
