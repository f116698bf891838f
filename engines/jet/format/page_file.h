#pragma once
// A database file as an array of pages. Reads are positional and bounds
// checked: a page past the end of the file is an error naming the page, never
// a short read. Page 0 is kept with its masked area decoded; pages of an
// encrypted file are decrypted on read. The object takes no lock: callers
// that need one hold it (see lock.h).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/format.h"

namespace dorvane::jet {

// Where pages come from: an open file or bytes in memory.
class PageSource {
public:
    virtual ~PageSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly out.size() bytes at offset or throws.
    virtual void Read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

class PageFile {
public:
    // Throws kFileNotFound, kPermissionDenied, kNotADatabase ("not an Access
    // database"), kCorrupt.
    static PageFile Open(const std::filesystem::path& path);
    // The same read in blocks, the `kept_blocks` most recently used kept, for
    // a file that nobody changes while it is open: one held exclusively
    // (source_hold.h), or one this program has just written and still holds.
    // A reader that comes back to pages it read a while before (compaction,
    // the check) wants many; one that goes through a table in page order
    // needs few, and every block kept is fresh memory to fault in.
    static PageFile OpenCached(const std::filesystem::path& path, std::size_t kept_blocks = kKeptBlocks);
    static constexpr std::size_t kKeptBlocks = 16;  // 1 MiB
    // The same over bytes in memory (tests, fuzzing).
    static PageFile FromMemory(Bytes contents);

    PageFile(PageFile&&) noexcept;
    PageFile& operator=(PageFile&&) noexcept;
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;
    ~PageFile();

    Version version() const { return format_->version; }
    const Format& format() const { return *format_; }
    // The header's version byte (kVersionJet3 ... kVersionAce2019).
    std::uint8_t version_byte() const { return version_byte_; }
    bool ace() const { return version_byte_ >= kVersionAce2007; }
    std::uint32_t page_size() const { return format_->page_size; }
    std::uint32_t page_count() const { return page_count_; }
    const std::filesystem::path& path() const { return path_; }

    // Page 0 with the masked area decoded; the page as stored is raw_header().
    const Bytes& header() const { return header_; }
    const Bytes& raw_header() const { return raw_header_; }
    std::uint16_t code_page() const;
    std::uint32_t encryption_key() const;

    // Throws kCorrupt "page N is outside the file" for N >= page_count().
    // Page 0 comes back unmasked, like header().
    Bytes ReadPage(std::uint32_t number) const;
    void ReadPage(std::uint32_t number, Bytes& out) const;
    // Pages first .. first + count - 1 one after another, as ReadPage gives
    // each, in one read past any cache: for a pass over the whole file. `out`
    // holds exactly count pages (a platform::IoBuffer reads fastest).
    void ReadPages(std::uint32_t first, std::uint32_t count, std::span<std::uint8_t> out) const;
    // Page bytes exactly as stored (no decryption): for copying verbatim.
    void ReadRawPage(std::uint32_t number, Bytes& out) const;

private:
    PageFile(std::unique_ptr<PageSource> source, std::filesystem::path path);

    std::unique_ptr<PageSource> source_;
    std::filesystem::path path_;
    const Format* format_ = nullptr;
    std::uint32_t page_count_ = 0;
    std::uint8_t version_byte_ = 0;
    Bytes header_;
    Bytes raw_header_;
};

}  // namespace dorvane::jet
