#pragma once
// The copy as it is written, table by table: where its pages go, the
// usage-map records, the counts and each table's digest for the
// verification. What each table added can be taken back: the pages it took
// are given out again (what is left of them past the end is emptied when
// the copy is finished), so that a repair can go on from the tables a first
// pass already wrote as they are, instead of writing them again.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engines/jet/compact/destination.h"
#include "engines/jet/compact/digest.h"
#include "engines/jet/compact/encryption.h"
#include "engines/jet/compact/relocation.h"
#include "engines/jet/compact/source_tables.h"
#include "engines/jet/compact/table.h"
#include "engines/jet/compact/table_source.h"
#include "engines/jet/format/page_file.h"
#include "engines/jet/write/page_allocator.h"
#include "engines/jet/write/usage_maps.h"

namespace dorvane::jet::compact {

class CopyWriter {
public:
    // Creates `destination` (see DestinationFile) for a copy of `tables`.
    CopyWriter(const PageFile& source, const SourceTables& tables, std::filesystem::path destination);
    CopyWriter(const CopyWriter&) = delete;
    CopyWriter& operator=(const CopyWriter&) = delete;

    // Whether `tables` are the ones this copy was begun for, the same
    // definitions on the same pages, so that what it holds can be kept.
    bool IsFor(const SourceTables& tables) const;

    // Writes table `table` of the list. Where reading it fails, whatever it
    // wrote is taken back before the failure goes on.
    void Write(std::size_t table, const TableDef& def, const std::string& name, const TableSource& rows);

    struct Written {
        std::size_t table = 0;
        std::uint64_t rows = 0;
    };
    // The tables written so far, in the order they were written.
    const std::vector<Written>& written() const { return written_; }
    // Keeps the first `count` tables written and takes back the others.
    void KeepFirst(std::size_t count);

    // The usage-map records, page 1, the holes and the header page; then the
    // file's length. Tables may still be taken back and written after this,
    // as long as it is called again.
    void Finish();

    // A copy whose verification failed is not to be kept in part either.
    void Distrust() { distrusted_ = true; }
    bool trusted() const { return !distrusted_ && out_.is_open(); }

    DestinationFile& destination() { return out_; }
    const Relocation& relocation() const { return relocation_; }
    const write::PageAllocator& allocator() const { return allocator_; }
    const TableCounts& counts() const { return counts_; }
    // Each table's digest, parallel to the list of tables.
    const std::vector<TableDigest>& digests() const { return digests_; }

private:
    // What the copy stood at before a table was written.
    struct Mark {
        write::PageAllocator::Position allocator;
        std::size_t map_records = 0;
        TableCounts counts;
    };
    Mark MarkNow() const { return {allocator_.position(), map_records_.added(), counts_}; }
    void Rewind(const Mark& to);
    // Gives back what the last Finish() took from the allocator (page 1's
    // bitmap pages), for the tables or the finish that follow.
    void Unfinish();
    write::PageSink& sink();

    const PageFile& source_;
    DestinationFile out_;
    EncryptingPageSink encrypted_;
    Relocation relocation_;
    write::PageAllocator allocator_;
    write::MapRecordPages map_records_;
    TableCounts counts_;
    std::vector<TableDigest> digests_;
    std::vector<Written> written_;
    std::vector<Mark> marks_;  // before each table written
    std::optional<write::PageAllocator::Position> before_finish_;
    // One past the highest page taken before a rewind: pages taken back and
    // not taken again lie below it.
    std::uint32_t high_water_ = 0;
    // Each table's name and definition pages, and the records reserved.
    std::vector<std::pair<std::string, std::vector<std::uint32_t>>> begun_for_;
    std::size_t map_records_reserved_ = 0;
    bool distrusted_ = false;
};

}  // namespace dorvane::jet::compact
