#include "app/jet_tool/csv_export.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "app/jet_tool/csv.h"
#include "core/error.h"
#include "engines/jet/database.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/value.h"

namespace dorvane::jet_tool {

namespace {

// The output is written whenever this much is waiting: a buffer this size is
// faulted in once and reused, where a larger one would cost a page fault for
// every 4 KiB a table of a few hundred kilobytes writes.
constexpr std::size_t kFlushBytes = std::size_t{64} << 10;

[[noreturn]] void WriteFailed() {
    throw Error(errc::kIoError, std::string("cannot write the export: ") + std::strerror(errno));
}

void Write(std::string& pending, const CsvSink& out) {
    if (!pending.empty()) out(pending);
    pending.clear();
}

}  // namespace

void ExportCsv(const jet::PageFile& file, const jet::TableDef& def, std::FILE* out) {
    ExportCsv(file, def, [out](std::string_view bytes) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) WriteFailed();
    });
    if (std::fflush(out) != 0) WriteFailed();
}

void ExportCsv(const jet::PageFile& file, const jet::TableDef& def, const CsvSink& out) {
    std::string pending;
    pending.reserve(kFlushBytes + (kFlushBytes >> 2));
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        if (i > 0) pending += ',';
        AppendCsvField(pending, def.columns[i].name);
    }
    pending += "\r\n";
    const jet::ComplexValues complex = jet::ComplexValues::Load(file, def);
    std::vector<bool> complexColumns;
    for (const jet::Column& column : def.columns) complexColumns.push_back(complex.Covers(column));
    // Each value is converted at the end of `pending` and quoted there; what
    // lies before `whole` are finished rows and fields, all that is written
    // when a value cannot be read.
    std::size_t whole = pending.size();
    try {
        jet::RowCursor rows(file, def);
        jet::RowFields fields;
        for (jet::TableRow row; rows.Next(row);) {
            jet::LocateFields(file.format(), def, row.body, fields);
            for (std::size_t i = 0; i < def.columns.size(); ++i) {
                if (i > 0) pending += ',';
                whole = pending.size();
                const jet::Column& column = def.columns[i];
                if (complexColumns[i]) {
                    const auto items = jet::FieldText(file, complex, column, row.body, fields.spans[i]);
                    if (!items) continue;
                    pending += *items;
                } else if (!jet::AppendFieldText(file, column, row.body, fields.spans[i], pending)) {
                    continue;  // Null: an empty field
                }
                QuoteCsvFieldFrom(pending, whole);
            }
            pending += "\r\n";
            whole = pending.size();
            if (pending.size() >= kFlushBytes) {
                Write(pending, out);
                whole = 0;
            }
        }
    } catch (const Error&) {
        pending.resize(whole);
        Write(pending, out);  // the rows read before the damage, as a row-by-row writer leaves them
        throw;
    }
    Write(pending, out);
}

}  // namespace dorvane::jet_tool
