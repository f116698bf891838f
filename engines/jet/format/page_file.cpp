#include "engines/jet/format/page_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/error.h"
#include "engines/jet/format/rc4.h"
#include "platform/file.h"
#include "platform/io_buffer.h"
#include "platform/native_path.h"

namespace dorvane::jet {

namespace {

ErrorText FileNamed(const std::filesystem::path& path) {
    ErrorText name;
    if (path.empty()) return name << "the file";
    name.Path(PathText(path));
    return name;
}

class MemorySource final : public PageSource {
public:
    explicit MemorySource(Bytes contents) : contents_(std::move(contents)) {}
    std::uint64_t Size() const override { return contents_.size(); }
    void Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset > contents_.size() || out.size() > contents_.size() - offset) {
            ThrowCorrupt("read past the end of the file");
        }
        std::memcpy(out.data(), contents_.data() + offset, out.size());
    }

private:
    Bytes contents_;
};

// Others may go on reading and writing the file; the callers' holds (lock.h)
// decide who else may use it.
class FileSource final : public PageSource {
public:
    explicit FileSource(const std::filesystem::path& path)
        : file_(platform::File::Open(path, platform::Access::kRead)), size_(file_.Size()) {}
    std::uint64_t Size() const override { return size_; }
    void Read(std::uint64_t offset, std::span<std::uint8_t> out) const override { file_.ReadAt(offset, out); }

private:
    platform::File file_;
    std::uint64_t size_;
};

// A file nobody else may change while it is open, read in aligned blocks of
// which the most recently used are kept: a compaction reads each table's
// pages in runs and comes back to pages it read shortly before. Not for use
// from more than one thread at a time.
class BlockSource final : public PageSource {
public:
    BlockSource(const std::filesystem::path& path, std::size_t kept)
        : file_(platform::File::Open(path, platform::Access::kRead)),
          size_(file_.Size()),
          blocks_(std::max<std::size_t>(kept, 1)) {}
    std::uint64_t Size() const override { return size_; }
    void Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset > size_ || out.size() > size_ - offset) ThrowCorrupt("read past the end of the file");
        if (out.size() >= kBlockBytes) {  // a run of pages, read once: kept blocks cannot be stale
            file_.ReadAt(offset, out);
            return;
        }
        std::size_t done = 0;
        while (done < out.size()) {
            const std::uint64_t at = offset + done;
            const Block& block = Fetch(at);
            const auto from = static_cast<std::size_t>(at - block.start);
            const std::size_t n = std::min(out.size() - done, block.bytes.size() - from);
            std::memcpy(out.data() + done, block.bytes.data() + from, n);
            done += n;
        }
    }

private:
    // 64 KiB: a system call costs as much as copying some 16 KiB, and the
    // pages a compaction or a check reads lie in runs of about that length.
    static constexpr std::size_t kBlockBytes = std::size_t{64} << 10;
    // Where a read jumps (an index's leaves in key order, long values, the
    // next stretch of a table's pages), the pages around the one asked for
    // are seldom wanted: a block read there fetched a file whose tables
    // share stretches of pages nearly twice over. A jump reads this much.
    static constexpr std::size_t kJumpBytes = std::size_t{16} << 10;
    static constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();
    struct Block {
        std::uint64_t start = kNone;
        std::uint64_t last_use = 0;
        platform::IoBuffer bytes;
        bool Holds(std::uint64_t at) const { return at >= start && at - start < bytes.size(); }
    };

    // The block holding `at`, read now unless it is among those kept (then
    // the least recently used one makes room). What is read: just past a
    // kept block, the rest of the aligned block; elsewhere, the aligned
    // kJumpBytes around `at`. The last block may be short.
    const Block& Fetch(std::uint64_t at) const {
        // Pages are mostly read in runs: the block just used, first.
        if (last_ != nullptr && last_->Holds(at)) {
            last_->last_use = ++uses_;
            return *last_;
        }
        Block* victim = &blocks_[0];
        bool onward = false;  // past the end of a kept block, by less than a block
        for (Block& block : blocks_) {
            if (block.Holds(at)) {
                block.last_use = ++uses_;
                last_ = &block;
                return block;
            }
            if (block.last_use < victim->last_use) victim = &block;
            const std::uint64_t end = block.start + block.bytes.size();
            if (block.start != kNone && at >= end && at - end < kBlockBytes) onward = true;
        }
        const std::uint64_t start = onward ? at : at - at % kJumpBytes;
        const std::uint64_t end = onward ? at - at % kBlockBytes + kBlockBytes : start + kJumpBytes;
        victim->start = kNone;  // until the read succeeds
        victim->bytes.resize(static_cast<std::size_t>(std::min(end, size_) - start));
        file_.ReadAt(start, victim->bytes);
        victim->start = start;
        victim->last_use = ++uses_;
        last_ = victim;
        return *victim;
    }

    platform::File file_;
    std::uint64_t size_;
    mutable std::vector<Block> blocks_;  // each one's bytes allocated when first used
    mutable std::uint64_t uses_ = 0;
    mutable Block* last_ = nullptr;
};

}  // namespace

PageFile::PageFile(std::unique_ptr<PageSource> source, std::filesystem::path path)
    : source_(std::move(source)), path_(std::move(path)) {
    const std::uint64_t size = source_->Size();
    const ErrorText name = FileNamed(path_);
    if (size < kVersionOffset + 1) {
        throw Error(errc::kNotADatabase, ErrorText(name) << " is not an Access database (it is too short).");
    }
    std::array<std::uint8_t, 0x20> start{};
    source_->Read(0, std::span<std::uint8_t>(start.data(), start.size()));
    const auto signature = [&](const char* text) {
        return std::memcmp(start.data() + kSignatureOffset, text, std::strlen(text) + 1) == 0;
    };
    const bool aceSignature = signature(kAceSignature);
    if (start[0] != kPageHeader || !(aceSignature || signature(kJetSignature))) {
        throw Error(errc::kNotADatabase, ErrorText(name) << " is not an Access database.");
    }
    const std::uint8_t version = start[kVersionOffset];
    if (aceSignature ? (version < kVersionAce2007 || version > kVersionAce2019) : version > kVersionJet4) {
        throw Error(errc::kNotADatabase, ErrorText(name)
                                             << " is in a later Access format (version " << std::to_string(version)
                                             << ") that this engine does not read.");
    }
    version_byte_ = version;
    format_ = &FormatFor(version == 0 ? Version::kJet3 : Version::kJet4);
    if (size < format_->page_size) {
        ThrowCorrupt(ErrorText(name) << " is truncated inside its header page.");
    }
    const std::uint64_t pages = size / format_->page_size;
    if (pages > std::numeric_limits<std::uint32_t>::max() >> 8) {
        // A row pointer has 24 bits for the page; nothing past that is addressable.
        ThrowCorrupt(ErrorText(name) << " is larger than the format allows.");
    }
    page_count_ = static_cast<std::uint32_t>(pages);
    raw_header_.resize(format_->page_size);
    source_->Read(0, raw_header_);
    header_ = raw_header_;
    Rc4Apply(kHeaderMaskKey,
             std::span<std::uint8_t>(header_.data() + format_->header_mask_offset, format_->header_mask_length));
    if (ace() && encryption_key() != 0) {
        // Office encryption, unlike Jet 4's page masking, needs the password.
        throw Error(errc::kNotADatabase, ErrorText(name) << " is encrypted with a password; not supported.");
    }
}

PageFile PageFile::Open(const std::filesystem::path& path) {
    return PageFile(std::make_unique<FileSource>(path), path);
}

PageFile PageFile::OpenCached(const std::filesystem::path& path, std::size_t kept_blocks) {
    return PageFile(std::make_unique<BlockSource>(path, kept_blocks), path);
}

PageFile PageFile::FromMemory(Bytes contents) {
    return PageFile(std::make_unique<MemorySource>(std::move(contents)), {});
}

PageFile::PageFile(PageFile&&) noexcept = default;
PageFile& PageFile::operator=(PageFile&&) noexcept = default;
PageFile::~PageFile() = default;

std::uint16_t PageFile::code_page() const { return Le16(header_, format_->header_code_page); }

std::uint32_t PageFile::encryption_key() const { return Le32(header_, format_->header_encryption_key); }

void PageFile::ReadRawPage(std::uint32_t number, Bytes& out) const {
    if (number >= page_count_) {
        ThrowCorrupt("page " + std::to_string(number) + " is outside the file (" + std::to_string(page_count_) +
                     " pages)");
    }
    out.resize(format_->page_size);
    source_->Read(static_cast<std::uint64_t>(number) * format_->page_size, out);
}

void PageFile::ReadPages(std::uint32_t first, std::uint32_t count, std::span<std::uint8_t> out) const {
    if (first >= page_count_ || count > page_count_ - first) {
        ThrowCorrupt("pages " + std::to_string(first) + " to " + std::to_string(std::uint64_t{first} + count - 1) +
                     " are outside the file (" + std::to_string(page_count_) + " pages)");
    }
    const std::size_t size = format_->page_size;
    if (out.size() != std::size_t{count} * size) throw std::logic_error("pages read into room of another size");
    source_->Read(static_cast<std::uint64_t>(first) * size, out);
    const std::uint32_t key = encryption_key();
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::span<std::uint8_t> page = out.subspan(i * size, size);
        if (first + i == 0)
            std::copy(header_.begin(), header_.end(), page.begin());
        else if (key != 0)
            ApplyPageCipher(key, first + i, page);
    }
}

void PageFile::ReadPage(std::uint32_t number, Bytes& out) const {
    ReadRawPage(number, out);
    const std::uint32_t key = encryption_key();
    if (number != 0 && key != 0) ApplyPageCipher(key, number, out);
    if (number == 0) out = header_;
}

Bytes PageFile::ReadPage(std::uint32_t number) const {
    Bytes out;
    ReadPage(number, out);
    return out;
}

}  // namespace dorvane::jet
