#include "app/jet_tool/attachment_export.h"

#include "app/jet_tool/output_folder.h"
#include "engines/jet/complex_values.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_scan.h"
#include "platform/file.h"
#include "platform/native_path.h"

namespace dorvane::jet_tool {

namespace {

// A name from the file, made safe as one name in one folder on any system.
std::string SafeName(std::string name) {
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) c = '_';
    }
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    return name;
}

}  // namespace

std::size_t ExportAttachments(const jet::PageFile& file, const jet::TableDef& def, const std::filesystem::path& dir) {
    const jet::ComplexValues complex = jet::ComplexValues::Load(file, def);
    std::size_t written = 0;
    std::size_t number = 0;
    jet::RowCursor rows(file, def);
    jet::RowFields fields;
    for (jet::TableRow row; rows.Next(row);) {
        ++number;
        jet::LocateFields(file.format(), def, row.body, fields);
        for (std::size_t c = 0; c < def.columns.size(); ++c) {
            const jet::Column& column = def.columns[c];
            const jet::FieldSpan& key = fields.spans[c];
            if (!complex.Covers(column) || !key.present || key.length != 4) continue;
            for (const jet::ComplexItem& item : complex.Items(column, jet::Le32(row.body, key.offset))) {
                if (!item.file_name) continue;
                const std::filesystem::path folder =
                    dir / ToNativePath(SafeName(column.name)) / ToNativePath(std::to_string(number));
                CreateFolders(folder);
                platform::File out = platform::File::CreateNew(folder / ToNativePath(SafeName(*item.file_name)));
                out.Write(
                    std::string_view(reinterpret_cast<const char*>(item.file_bytes.data()), item.file_bytes.size()));
                out.Flush();
                ++written;
            }
        }
    }
    return written;
}

}  // namespace dorvane::jet_tool
