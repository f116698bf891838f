#include "app/jet_tool/csv_export.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "app/jet_tool/csv.h"
#include "core/error.h"
#include "engines/jet/database.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/query.h"

namespace dorvane::jet_tool {

namespace {

constexpr std::size_t kFlushBytes = std::size_t{1} << 20;

[[noreturn]] void WriteFailed() {
    throw Error(errc::kIoError, std::string("cannot write the export: ") + std::strerror(errno));
}

void Write(std::string& pending, std::FILE* out) {
    if (!pending.empty() && std::fwrite(pending.data(), 1, pending.size(), out) != pending.size()) WriteFailed();
    pending.clear();
}

}  // namespace

void ExportCsv(const jet::PageFile& file, const jet::TableDef& def, std::FILE* out) {
    std::string pending;
    pending.reserve(kFlushBytes + (kFlushBytes >> 2));
    std::string value;
    std::u16string units;
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        if (i > 0) pending += ',';
        AppendCsvField(pending, def.columns[i].name);
    }
    pending += "\r\n";
    const jet::ComplexValues complex = jet::ComplexValues::Load(file, def);
    try {
        jet::RowCursor rows(file, def);
        jet::RowFields fields;
        for (jet::TableRow row; rows.Next(row);) {
            jet::LocateFields(file.format(), def, row.body, fields);
            for (std::size_t i = 0; i < def.columns.size(); ++i) {
                if (i > 0) pending += ',';
                value.clear();
                const jet::Column& column = def.columns[i];
                if (complex.Covers(column)) {
                    if (const auto items = jet::FieldText(file, complex, column, row.body, fields.spans[i]))
                        AppendCsvField(pending, *items);
                } else if (jet::AppendFieldText(file, column, row.body, fields.spans[i], value, units)) {
                    AppendCsvField(pending, value);
                }
            }
            pending += "\r\n";
            if (pending.size() >= kFlushBytes) Write(pending, out);
        }
    } catch (const Error&) {
        Write(pending, out);  // the rows read before the damage, as a row-by-row writer leaves them
        throw;
    }
    Write(pending, out);
    if (std::fflush(out) != 0) WriteFailed();
}

}  // namespace dorvane::jet_tool
