#include "bench/compact/damage.h"

#include <fstream>
#include <optional>
#include <vector>

#include "engines/jet/format/catalog.h"
#include "engines/jet/format/index_walk.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/format/table_def.h"
#include "engines/jet/format/table_scan.h"

namespace fs = std::filesystem;

namespace dorvane::bench {

namespace {

constexpr std::uint8_t kLeafPageType = 0x04;

struct Target {
    std::uint32_t leaf = 0;
    std::uint32_t data = 0;
    std::uint32_t rows = 0;
};

std::optional<Target> ChooseTarget(const fs::path& file) {
    const jet::PageFile source = jet::PageFile::Open(file);
    std::optional<Target> best;
    jet::Bytes page;
    for (const jet::CatalogEntry& entry : jet::ReadTables(source)) {
        if (entry.IsSystem()) continue;
        const jet::TableDef def = jet::ReadTableDef(source, entry.table_page());
        if (def.physical_indexes.empty() || (best && def.num_rows <= best->rows)) continue;
        const std::vector<std::uint32_t> data = jet::TableDataPages(source, def);
        std::vector<std::uint32_t> leaves;
        for (std::uint32_t p : jet::VisitIndex(source, def.physical_indexes[0].root_page, [](auto, auto) {}).pages) {
            source.ReadPage(p, page);
            if (page[0] == kLeafPageType) leaves.push_back(p);
        }
        if (data.empty() || leaves.empty()) continue;
        best = Target{leaves[leaves.size() / 2], data[data.size() / 2], def.num_rows};
    }
    return best;
}

}  // namespace

bool MakeDamagedCopy(const fs::path& file, const fs::path& to) {
    const std::optional<Target> target = ChooseTarget(file);
    if (!target) return false;
    fs::copy_file(file, to, fs::copy_options::overwrite_existing);
    const std::uint64_t page_size = jet::PageFile::Open(file).format().page_size;
    std::fstream out(to, std::ios::binary | std::ios::in | std::ios::out);
    const std::vector<char> zeros(page_size, 0);
    for (std::uint32_t p : {target->leaf, target->data}) {
        out.seekp(static_cast<std::streamoff>(p * page_size));
        out.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
    }
    return static_cast<bool>(out);
}

}  // namespace dorvane::bench
