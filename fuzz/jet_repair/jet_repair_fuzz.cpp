// Repair against the sound original. The input names a sound test file and
// eight-byte changes to its structure (see Mutate). Each mutant is refused
// with a dorvane::Error and no copy, or repaired into a copy the full check
// finds sound that tests/jet/repair_oracle.h accepts; a mutant the check
// finds sound is compacted, never salvaged; whatever a repair reports, the
// check named by its table. Values inside rows are left alone (without
// checksums no reader can tell a changed value) but for those that are
// structure: a catalog row's Type, a long value's pointer and length.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "core/error.h"
#include "engines/jet/check/checker.h"
#include "fuzz/jet_repair/anatomy.h"
#include "tests/jet/repair_oracle.h"

namespace {

namespace fs = std::filesystem;
using namespace dorvane::jet;
using dorvane::jet::testing::Content;

void Fail(const std::string& what) {
    std::fprintf(stderr, "repair fuzz finding: %s\n", what.c_str());
    std::abort();
}

struct Seed {
    Bytes bytes;
    testing::Contents content;
    fuzzing::Anatomy anatomy;
};

const std::vector<Seed>& Seeds() {
    static const std::vector<Seed> seeds = [] {
        const char* env = std::getenv("DORVANE_TESTDATA");
        const fs::path data = env != nullptr && *env != '\0' ? fs::path(env) : fs::path(DORVANE_TESTDATA);
        std::vector<Seed> out;
        for (const char* name :
             {"mdb/jet4/overflowTestV2000.mdb", "mdb/jet4/indexTestV2000.mdb", "mdb/jet4/delTestV2000.mdb",
              "mdb/jet3/testV1997.mdb", "mdb/jet3/indexTestV1997.mdb", "products/post_db.mdb",
              "accdb/V2007/indexTestV2007.accdb", "accdb/V2007/complexDataTestV2007.accdb"}) {
            std::ifstream in(data / name, std::ios::binary);
            Seed& seed =
                out.emplace_back(Seed{{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}, {}, {}});
            if (seed.bytes.empty()) Fail(std::string("missing test file ") + name);
            seed.content = Content(PageFile::FromMemory(seed.bytes));
            seed.anatomy = fuzzing::Dissect(PageFile::FromMemory(seed.bytes));
        }
        return out;
    }();
    return seeds;
}

template <typename T>
const T* Pick(const std::vector<T>& v, std::uint16_t n) {
    return v.empty() ? nullptr : &v[n % v.size()];
}

// Applies one eight-byte change: op, page (2 bytes), offset (2), value (2), spare.
void Mutate(Bytes& b, const Format& f, const fuzzing::Anatomy& anatomy, const std::uint8_t* m, std::uint32_t& cut) {
    const std::uint32_t pages = static_cast<std::uint32_t>(b.size() / f.page_size);
    const std::uint32_t page = 1 + static_cast<std::uint32_t>(m[1] | m[2] << 8) % (pages - 1);
    const std::size_t base = std::size_t{page} * f.page_size;
    const std::uint16_t offset = static_cast<std::uint16_t>(m[3] | m[4] << 8);
    const std::uint16_t value = static_cast<std::uint16_t>(m[5] | m[6] << 8);
    const bool data = b[base] == kPageData;
    // A count an earlier change raised is taken only as far as the page goes:
    // a change stays on its page, and the last page's table cannot run off
    // the end of the file.
    const std::size_t slots =
        data ? std::min<std::size_t>(Le16(b, base + f.data_row_count), (f.page_size - f.data_row_offsets) / 2) : 0;
    // A row's start moved between its neighbours' moves bytes from one row
    // to the next, and a deleted flag set alone is what a writer's own delete
    // leaves: neither can be told from a change a user made. Slot bits change
    // as whole words, or in offset bits that leave the page.
    const auto eachSlot = [&](const auto& change) {
        if (!data) return;
        for (std::size_t s = 0; s < slots; ++s) {
            const std::size_t at = base + f.data_row_offsets + 2 * s;
            PutLe16(b, at, change(Le16(b, at)));
        }
    };
    const bool longValuePage =
        data && std::equal(b.begin() + static_cast<std::ptrdiff_t>(base + f.page_owner),
                           b.begin() + static_cast<std::ptrdiff_t>(base + f.page_owner + 4), "LVAL");
    switch (m[0] % 19) {
        case 0: {  // a bit of the page header, or an offset bit of a slot that leaves the page
            std::size_t at = offset % (f.data_row_offsets + 2 * slots);
            std::uint8_t bit = static_cast<std::uint8_t>(1u << (value % 8));
            if (at >= f.data_row_offsets) {
                at = f.data_row_offsets + ((at - f.data_row_offsets) | 1);
                bit = 0x10;
            }
            b[base + at] ^= bit;
            break;
        }
        case 1:  // a slot word
            if (slots != 0) PutLe16(b, base + f.data_row_offsets + 2 * (offset % slots), value);
            break;
        case 2:  // the owner: another page, or a bit of it
            PutLe32(b, base + f.page_owner,
                    value & 1 ? value % pages : Le32(b, base + f.page_owner) ^ (1u << (value % 32)));
            break;
        case 3:
            b[base] = static_cast<std::uint8_t>(value);
            break;
        case 4:  // the slot count
            if (data) PutLe16(b, base + f.data_row_count, static_cast<std::uint16_t>(value % (slots + 2)));
            break;
        case 5:  // a usage-map bit: map records live on owner-0 data pages
            if (data && Le32(b, base + f.page_owner) == 0 && slots != 0) {
                const std::size_t start = Le16(b, base + f.data_row_offsets + 2 * (slots - 1)) & kRowOffsetMask;
                if (start < f.page_size)
                    b[base + start + offset % (f.page_size - start)] ^= static_cast<std::uint8_t>(1u << (value % 8));
            }
            break;
        case 6:  // a torn write: the first sector zeroed, or the whole page
            std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(base), value & 1 ? f.page_size : 512, 0);
            break;
        case 7:  // the end of the file cut off
            cut = std::max<std::uint32_t>(cut, 1 + value % 8);
            break;
        case 8:  // a byte of an index leaf's entries: a key changed, or a row it names
            if (b[base] == kPageIndexLeaf)
                b[base + f.idx_entries + offset % (f.page_size - f.idx_entries)] ^=
                    static_cast<std::uint8_t>(1u << (value % 8));
            break;
        case 9:  // a row's deleted flag set, or cleared
            if (slots != 0) {
                const std::size_t at = base + f.data_row_offsets + 2 * (offset % slots);
                const std::uint16_t flags = Le16(b, at) & kRowDeleted;
                if (flags == 0 || flags == kRowDeleted) PutLe16(b, at, Le16(b, at) ^ kRowDeleted);
            }
            break;
        case 10:  // a catalog row's Type changed
            if (const std::size_t* at = Pick(anatomy.catalog_types, offset))
                b[*at] ^= static_cast<std::uint8_t>(1u << (value % 3));
            break;
        case 11:  // a long-value pointer moved to another long-value row
            if (const std::size_t* at = Pick(anatomy.long_value_fields, offset))
                if (const std::uint32_t* to = Pick(anatomy.long_value_rows, value))
                    PutLe32(b, *at + kLongValueFieldPointer, *to);
            break;
        case 12:  // a long-value page's slots moved
            if (longValuePage)
                eachSlot([&](std::uint16_t w) {
                    return (w & kRowDeleted) != 0 ? w : static_cast<std::uint16_t>(w + 1 + value % 16);
                });
            break;
        case 13:  // an inline long value's length lowered
            if (const std::size_t* at = Pick(anatomy.inline_fields, offset))
                if ((Le32(b, *at) & kLongValueLengthMask) > 0)
                    PutLe32(b, *at,
                            Le32(b, *at) - 1 - value % std::min<std::uint32_t>(3, Le32(b, *at) & kLongValueLengthMask));
            break;
        case 14:  // a column block: its number, its type, or its fixed offset
            if (const std::size_t* at = Pick(anatomy.column_blocks, offset)) {
                if (value % 3 == 0)
                    PutLe16(b, *at + f.col_number,
                            static_cast<std::uint16_t>(Le16(b, *at + f.col_number) + 1 + value / 3 % 4));
                else if (value % 3 == 1) {
                    // A type of another size: one of the same size reads the same
                    // bytes another way, which no reader can tell from a choice.
                    const std::uint8_t type = static_cast<std::uint8_t>(coltype::kByte + value / 3 % 7);
                    if (FixedValueSize(type) != FixedValueSize(b[*at + f.col_type])) b[*at + f.col_type] = type;
                } else
                    PutLe16(b, *at + f.col_fixed_offset,
                            static_cast<std::uint16_t>(Le16(b, *at + f.col_fixed_offset) + 1 + value / 3 % 8));
            }
            break;
        case 15:  // an index node's last child moved to another leaf
            if (b[base] == kPageIndexNode)
                if (const std::uint32_t* leaf = Pick(anatomy.leaves, value)) PutLe32(b, base + f.idx_tail, *leaf);
            break;
        case 16:  // a table's map emptied
            if (const fuzzing::Anatomy::Map* map = Pick(anatomy.table_maps, value))
                std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(map->bitmap), map->bytes, 0);
            break;
        case 17:  // a page written back from before its deletes
            eachSlot([](std::uint16_t w) {
                return (w & kRowDeleted) == kRowDeleted ? static_cast<std::uint16_t>(w & ~kRowDeleted) : w;
            });
            break;
        case 18:  // a data page given to another table, and listed in its map
            if (data && !longValuePage && !anatomy.user_tables.empty()) {
                const std::size_t t = value % anatomy.user_tables.size();
                PutLe32(b, base + f.page_owner, anatomy.user_tables[t]);
                const fuzzing::Anatomy::Map& map = anatomy.table_maps[t];
                const std::size_t bit = page - map.first_page;
                if (map.bytes != 0 && page >= map.first_page && bit / 8 < map.bytes)
                    b[map.bitmap + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
            }
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "dorvane-fuzz-repair-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return fs::path(pattern);
    }();
    if (size < 1 + 8 || size > 1 + 8 * 16) return -1;
    const Seed& seed = Seeds()[data[0] % Seeds().size()];
    Bytes bytes = seed.bytes;
    const Format& format = PageFile::FromMemory(seed.bytes).format();
    std::uint32_t cut = 0;
    for (std::size_t at = 1; at + 8 <= size; at += 8) Mutate(bytes, format, seed.anatomy, data + at, cut);
    // Two flips of a table's Type may make it an ODBC link that keeps its
    // definition here: its definition and rows read the same, and only the
    // Type value tells the two apart, a value no reader can check.
    for (const std::size_t at : seed.anatomy.catalog_types)
        if (at < bytes.size() && seed.bytes[at] == kObjectTypeTable && bytes[at] == kObjectTypeOdbcLink)
            bytes[at] = seed.bytes[at];
    if (cut != 0) bytes.resize(bytes.size() - std::size_t{cut} * format.page_size);

    const fs::path source = folder / "source.mdb", copy = folder / "copy.mdb";
    std::ofstream(source, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::error_code ec;
    fs::remove(copy, ec);
    CheckReport check;
    bool checked = false;
    try {
        check = CheckDatabase(PageFile::FromMemory(bytes));
        checked = true;
    } catch (const dorvane::Error&) {
    }
    const bool sound = checked && check.ok();
    RepairReport report;
    try {
        RepairFile(source, copy, report);
    } catch (const dorvane::Error&) {
        if (fs::exists(copy)) Fail("a refused repair left its destination behind");
        return 0;
    }
    try {
        const PageFile file = PageFile::Open(copy);
        const CheckReport copyCheck = CheckDatabase(file);
        if (!copyCheck.ok()) Fail("the repaired copy fails the full check: " + copyCheck.problems.front());
        const std::string change = testing::UnreportedChange(seed.content, Content(file), report);
        if (!change.empty()) Fail(change);
        if (sound && !report.source_sound) Fail("a file the full check finds sound was salvaged");
        const std::string said = report.LossSummary();
        for (const TableRepair& t : report.tables) {
            if (!checked || said.find("\"" + t.name + "\"") == std::string::npos) continue;
            if (std::none_of(check.problems.begin(), check.problems.end(),
                             [&](const std::string& p) { return p.find("'" + t.name + "'") != std::string::npos; }))
                Fail("the repair reports table \"" + t.name + "\" but the check does not name it: " + said);
        }
    } catch (const dorvane::Error& e) {
        Fail("the repaired copy cannot be read whole: " + e.description());
    }
    return 0;
}
