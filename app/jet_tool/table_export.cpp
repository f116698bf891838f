#include "app/jet_tool/table_export.h"

#include <array>
#include <cctype>

#include "app/jet_tool/attachment_export.h"
#include "app/jet_tool/csv_export.h"
#include "app/jet_tool/output_folder.h"
#include "core/error.h"
#include "platform/file.h"
#include "platform/native_path.h"

namespace dorvane::jet_tool {

namespace {

bool Refused(unsigned char c) {
    return c < 0x20 || c == 0x7F ||
           std::string_view("%/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
}

// Windows takes these as devices whatever follows them after a dot.
bool IsDeviceName(std::string_view name) {
    static constexpr std::array<std::string_view, 4> kPlain{"CON", "PRN", "AUX", "NUL"};
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (std::string_view device : kPlain)
        if (upper == device) return true;
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '1' &&
           upper[3] <= '9';
}

void AppendEscaped(std::string& out, unsigned char c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
}

}  // namespace

std::string TableFileName(std::string_view table) {
    std::string name;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto c = static_cast<unsigned char>(table[i]);
        if (Refused(c) || (i == 0 && IsDeviceName(table)))
            AppendEscaped(name, c);
        else
            name += static_cast<char>(c);
    }
    return name + ".csv";
}

ExportedTables ExportEveryTable(const jet::JetDatabase& db, const std::filesystem::path& dir,
                                const std::filesystem::path& attachments) {
    CreateFolders(dir);
    ExportedTables done;
    for (const jet::CatalogEntry& entry : db.tables()) {
        if (entry.IsSystem()) continue;
        const std::string fileName = TableFileName(entry.name);
        try {
            const jet::TableDef def = db.LoadTable(entry.name);
            platform::File out = platform::File::CreateNew(dir / ToNativePath(fileName));
            ExportCsv(db.file(), def, [&out](std::string_view bytes) { out.Write(bytes); });
            out.Close();
            if (!attachments.empty()) {
                const std::string_view folder = std::string_view(fileName).substr(0, fileName.size() - 4);
                done.attachments += ExportAttachments(db.file(), def, attachments / ToNativePath(folder));
            }
        } catch (const Error& e) {
            throw Error(e.number(), "table '" + entry.name + "': " + e.description());
        }
        ++done.tables;
    }
    return done;
}

}  // namespace dorvane::jet_tool
