#pragma once
// The file a compaction writes. Created exclusively (an existing file of the
// name, such as a leftover temporary file, is refused and left alone); removed
// again unless Commit() was reached, so a failure leaves nothing behind.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "engines/jet/format/bytes.h"

#include "engines/jet/compact/early_flush.h"
#include "engines/jet/compact/write_behind.h"
#include "engines/jet/write/page_sink.h"
#include "platform/file.h"
#include "platform/io_buffer.h"

namespace dorvane::jet::compact {

class DestinationFile : public write::PageSink {
public:
    // Throws kFileAlreadyExists, kPathNotFound, kPermissionDenied, kDiskFull
    // or kIoError, each naming the path.
    DestinationFile(std::filesystem::path path, std::size_t pageSize);
    ~DestinationFile() override;
    DestinationFile(const DestinationFile&) = delete;
    DestinationFile& operator=(const DestinationFile&) = delete;

    void WritePage(std::uint32_t page, ByteSpan bytes) override;
    void PatchPage(std::uint32_t page, std::size_t offset, ByteSpan bytes) override;
    // From now on the writes are done by a thread of their own (see
    // write_behind.h). Worth it only while a core would otherwise be idle:
    // beside the check of the source, the three threads slowed the copy.
    void WriteBehind();
    // The pages written from now on may be written again before the copy
    // is done (a repair's first pass that met damage goes on with tables its
    // second pass may write anew): write-back is no longer started early, nor
    // flushed, so that storage does not write them twice.
    void HoldWriteBack() { writing_back_ = false; }
    // Flushes what is written so far on a thread of its own, once, whether
    // or not write-back is held: for pages known to stay as they are.
    void FlushWritten();
    // Writes what is gathered and sets the final length (pages never written
    // read as zeros).
    void Finish(std::uint32_t pageCount);
    // Flushes the file and its name to stable storage; may run on another
    // thread than the writes, once Finish returned.
    void Flush();
    // Keeps the file. Before this, destruction removes it.
    void Commit();
    // Closes and removes the file now.
    void Discard() noexcept;

    const std::filesystem::path& path() const { return path_; }
    // False once the file was discarded, by a failed write or Discard().
    bool is_open() const { return file_.is_open(); }

private:
    platform::IoBuffer Write(platform::IoBuffer bytes, std::vector<compact::WriteBehind::Piece> pieces);
    // Asks the early-flush thread for a flush of what is written so far.
    void AskFlush();
    // Hands the gathered pages, if any, to be written.
    void WriteWindow();
    // Where `page` goes in the window, if the window holds its place.
    std::optional<std::size_t> SlotOf(std::uint32_t page) const;
    // Runs a step on the file; a failure discards the file and is rethrown.
    template <typename Step>
    void DiscardingOnFailure(Step step);

    std::filesystem::path path_;
    std::size_t page_size_;
    platform::File file_;
    std::optional<compact::WriteBehind> behind_;
    std::optional<compact::EarlyFlush> early_;  // from the first early flush on
    bool committed_ = false;
    // Pages from window_start_ on, not yet written: `gathered_` of them, in
    // the slots `filled_` marks; a window without one is closed.
    platform::IoBuffer window_;
    std::uint32_t window_start_ = 0;
    std::vector<bool> filled_;
    std::size_t gathered_ = 0;
    // Written since write-back was last started, and since the last flush.
    std::uint64_t unflushed_ = 0;
    std::uint64_t since_flush_ = 0;
    bool writing_back_ = true;
};

}  // namespace dorvane::jet::compact
