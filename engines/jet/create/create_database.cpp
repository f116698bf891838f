#include "platform/native_path.h"
#include "engines/jet/create/create_database.h"

#include <chrono>

#include "core/error.h"
#include "engines/jet/write/usage_maps.h"
#include "engines/jet/create/database_build.h"
#include "engines/jet/create/system_tables.h"
#include "engines/jet/create/table_writer.h"
#include "engines/jet/format/header_page.h"

namespace dorvane::jet::create {

double OleNow() {
    constexpr double kUnixEpochDay = 25569.0;  // 1970-01-01 as an OLE date
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    return kUnixEpochDay + static_cast<double>(seconds.count()) / 86400.0;
}

void CreateDatabase(const std::filesystem::path& path, std::uint8_t version) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec) || std::filesystem::is_symlink(path, ec)) {
        throw Error(errc::kFileAlreadyExists, ErrorText("cannot create ").Path(PathText(path)) << ": the file exists");
    }
    const double created = OleNow();
    const bool ace = version != kVersionJet4;
    DatabaseBuild build(ace ? NewAceHeaderPage(created, version) : NewJet4HeaderPage(created));
    std::vector<TableDef> defs;
    std::size_t records = 0;
    const std::vector<NewTable> designs = SystemTableDesigns(ace);
    for (const NewTable& design : designs) {
        TableDef def = LayoutTable(design);
        for (std::size_t i = DefinitionPagesNeeded(build.format(), def); i > 0; --i)
            def.pages.push_back(build.allocator().Take());
        def.page = def.pages.front();
        records += write::MapRecordsOf(def);
        defs.push_back(std::move(def));
    }
    write::MapRecordPages mapRecords(build.format(), records, build.allocator());
    const SystemRows rows = SystemTableRows(designs, defs, created);
    for (std::size_t t = 0; t < defs.size(); ++t) {
        TableWriter writer(build.format(), defs[t], build.allocator(), build);
        const auto* tableRows = t == 0 ? &rows.catalog : t == 1 ? &rows.aces : nullptr;
        if (tableRows != nullptr) {
            for (const auto& values : *tableRows) writer.AddRow(writer.PrepareRow(values));
        }
        writer.Finish(mapRecords);
    }
    mapRecords.Write(build);
    build.Commit(path);
}

}  // namespace dorvane::jet::create
