#include "engines/jet/compact/destination.h"

#include <stdexcept>
#include <system_error>

namespace dorvane::jet::compact {

DestinationFile::DestinationFile(std::filesystem::path path, std::size_t pageSize)
    : path_(std::move(path)), page_size_(pageSize), file_(platform::File::CreateNew(path_)) {}

DestinationFile::~DestinationFile() {
    if (!committed_) Discard();
}

void DestinationFile::Discard() noexcept {
    if (!file_.is_open()) return;
    file_ = {};
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

template <typename Step>
void DestinationFile::Guarded(Step step) {
    try {
        step();
    } catch (...) {
        Discard();
        throw;
    }
}

void DestinationFile::WriteAt(std::uint64_t offset, ByteSpan bytes) {
    if (!file_.is_open()) throw std::logic_error("write to a discarded destination");
    Guarded([&] { file_.WriteAt(offset, bytes); });
}

void DestinationFile::WritePage(std::uint32_t page, ByteSpan bytes) {
    if (bytes.size() != page_size_) throw std::logic_error("page of the wrong size");
    WriteAt(static_cast<std::uint64_t>(page) * page_size_, bytes);
}

void DestinationFile::PatchPage(std::uint32_t page, std::size_t offset, ByteSpan bytes) {
    if (offset + bytes.size() > page_size_) throw std::logic_error("patch outside its page");
    WriteAt(static_cast<std::uint64_t>(page) * page_size_ + offset, bytes);
}

// The holes between fixed pages take real space too, so that a full disk
// shows here rather than later; the new name itself must be durable as well.
void DestinationFile::Finish(std::uint32_t pageCount) {
    if (!file_.is_open()) throw std::logic_error("finish of a discarded destination");
    Guarded([&] {
        file_.SetLength(static_cast<std::uint64_t>(pageCount) * page_size_);
        file_.Flush();
        platform::FlushFolder(path_.parent_path());
    });
}

void DestinationFile::Commit() {
    if (!file_.is_open()) throw std::logic_error("commit of a discarded destination");
    try {
        file_.Close();
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        throw;
    }
    committed_ = true;
}

}  // namespace dorvane::jet::compact
