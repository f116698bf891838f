#include "engines/jet/compact/copy_writer.h"

#include <algorithm>

namespace dorvane::jet::compact {

CopyWriter::CopyWriter(const PageFile& source, const SourceTables& tables, std::filesystem::path destination)
    : source_(source),
      out_(std::move(destination), source.page_size()),
      encrypted_(out_, source.encryption_key(), source.page_size()),
      relocation_(source.format(), tables.entries, tables.defs),
      allocator_(relocation_.DefinitionPages()),
      map_records_(source.format(), tables.map_records, allocator_),
      digests_(tables.defs.size()),
      map_records_reserved_(tables.map_records) {
    for (std::size_t i = 0; i < tables.defs.size(); ++i)
        begun_for_.emplace_back(tables.entries[i].name, tables.defs[i].pages);
}

write::PageSink& CopyWriter::sink() {
    return source_.encryption_key() != 0 ? static_cast<write::PageSink&>(encrypted_) : out_;
}

bool CopyWriter::IsFor(const SourceTables& tables) const {
    if (tables.map_records != map_records_reserved_ || tables.defs.size() != begun_for_.size() ||
        !tables.restored.empty())
        return false;
    for (std::size_t i = 0; i < begun_for_.size(); ++i)
        if (tables.entries[i].name != begun_for_[i].first || tables.defs[i].pages != begun_for_[i].second) return false;
    return true;
}

void CopyWriter::Write(std::size_t table, const TableDef& def, const std::string& name, const TableSource& rows) {
    Unfinish();
    const Mark before = MarkNow();
    CompactionContext context{source_, allocator_, sink(), map_records_, relocation_};
    try {
        digests_.at(table) = CompactTable(context, def, name, rows, counts_);
    } catch (...) {
        Rewind(before);
        throw;
    }
    marks_.push_back(before);
    written_.push_back({table, counts_.rows - before.counts.rows});
}

void CopyWriter::KeepFirst(std::size_t count) {
    if (count >= written_.size()) return;
    Unfinish();
    Rewind(marks_[count]);
    for (std::size_t i = count; i < written_.size(); ++i) digests_[written_[i].table] = TableDigest();
    marks_.resize(count);
    written_.resize(count);
}

void CopyWriter::Rewind(const Mark& to) {
    high_water_ = std::max(high_water_, allocator_.position().next);
    allocator_.Rewind(to.allocator);
    map_records_.KeepFirst(to.map_records);
    counts_ = to.counts;
}

void CopyWriter::Unfinish() {
    if (!before_finish_) return;
    high_water_ = std::max(high_water_, allocator_.position().next);
    allocator_.Rewind(*before_finish_);
    before_finish_.reset();
}

void CopyWriter::Finish() {
    Unfinish();
    before_finish_ = allocator_.position();
    const Format& format = source_.format();
    map_records_.Write(sink());
    write::WriteGlobalMap(format, allocator_, sink());
    // Encrypted holes read as empty pages once decrypted, like everything
    // else; plain ones are left to the file's length, unless a table taken
    // back wrote there.
    const Bytes empty(format.page_size, 0);
    for (const std::uint32_t hole : allocator_.Holes()) {
        if (source_.encryption_key() != 0)
            sink().WritePage(hole, empty);
        else if (hole < high_water_)
            out_.WritePage(hole, empty);
    }
    out_.WritePage(0, source_.raw_header());
    out_.Finish(allocator_.page_count());
}

}  // namespace dorvane::jet::compact
