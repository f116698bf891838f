// The copy's file as a thread of its own writes it and another flushes it
// on the way: the last write of a page wins whatever the order the pages
// came in and the runs they went out in, and a write or a flush that fails
// ends the copy with its error.

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "engines/jet/compact/destination.h"
#include "engines/jet/compact/early_flush.h"
#include "engines/jet/compact/write_behind.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet::compact {
namespace {

using namespace testing;

constexpr std::size_t kPage = 4096;

TEST(DestinationFile, WrittenBehindTheLastWriteOfEachByteWins) {
    for (const bool behind : {false, true}) {
        SCOPED_TRACE(behind ? "written behind" : "written in place");
        TempFolder folder;
        const fs::path path = folder / "copy.mdb";
        constexpr std::uint32_t kPages = 9000;  // several runs of pages, and early flushes
        Bytes model(kPages * kPage, 0);
        std::mt19937 random(5);
        {
            DestinationFile out(path, kPage);
            if (behind) out.WriteBehind();
            Bytes page(kPage);
            const auto write = [&](std::uint32_t number) {
                std::uint64_t word = random();
                for (std::size_t at = 0; at < kPage; at += 8, word = word * 6364136223846793005U + 1)
                    std::memcpy(page.data() + at, &word, 8);
                out.WritePage(number, page);
                std::copy(page.begin(), page.end(), model.begin() + static_cast<std::ptrdiff_t>(number * kPage));
            };
            // Nearly in order, as the allocator hands pages out: a data page
            // often after the long-value pages that follow it. Then pages of
            // windows long gone and of the window being gathered written
            // again, and patched, as the tables taken back and the
            // definitions rewritten are: a page just written, one whose place
            // the window holds but which it does not hold, and any page.
            for (std::uint32_t p = 1; p < kPages; p += 12) {
                const std::uint32_t end = std::min<std::uint32_t>(p + 12, kPages);
                for (std::uint32_t q = p + 1; q < end; ++q) write(q);
                write(p);
            }
            std::uint32_t before = 1;  // the page written last
            for (int i = 0; i < 900; ++i) {
                const auto number = static_cast<std::uint32_t>(2 + random() % (kPages - 2));
                if (i % 3 == 2) {
                    const Bytes patch = {static_cast<std::uint8_t>(i), 0xAB, static_cast<std::uint8_t>(i >> 8)};
                    const std::size_t offset = random() % (kPage - patch.size());
                    const std::uint32_t patched = i % 9 == 2 ? before : i % 9 == 5 ? before - 1 : number;
                    out.PatchPage(patched, offset, patch);
                    std::copy(patch.begin(), patch.end(),
                              model.begin() + static_cast<std::ptrdiff_t>(patched * kPage + offset));
                } else {
                    write(number);
                    before = number;
                }
            }
            out.Finish(kPages);
            out.Flush();
            out.Commit();
        }
        EXPECT_TRUE(ReadBytes(path) == model);
    }
}

TEST(DestinationFile, AWriteThatFailsBehindIsToldAndNothingMoreIsWritten) {
    TempFolder folder;
    const fs::path path = folder / "read-only.bin";
    dorvane::testing::WriteFile(path, std::string(kPage, 'x'));
    platform::File file = platform::File::Open(path, platform::Access::kRead);
    WriteBehind behind(file, kPage);
    long told = 0;
    // The failure comes with the next handing over or the wait at the end.
    for (int i = 0; i < 4 && told == 0; ++i)
        told = ErrorOf([&] { behind.Hand(platform::IoBuffer(kPage, 'y'), {{0, 0, kPage}}); });
    if (told == 0) told = ErrorOf([&] { behind.Drain(); });
    EXPECT_NE(told, 0);
    EXPECT_NE(ErrorOf([&] { behind.Hand(platform::IoBuffer(kPage, 'z'), {{0, 0, kPage}}); }), 0);
    EXPECT_EQ(dorvane::testing::ReadFile(path), std::string(kPage, 'x'));
}

#ifndef _WIN32
// A pipe cannot be flushed: the failure of a flush made on the way is told
// by the next request and again when the flushing stops.
TEST(EarlyFlush, AFlushThatFailedIsToldByTheNextRequestAndAtTheEnd) {
    TempFolder folder;
    const fs::path path = folder / "pipe";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    platform::File pipe = platform::File::Open(path, platform::Access::kReadWrite);
    EarlyFlush early(pipe);
    long told = 0;
    for (int i = 0; i < 10000 && told == 0; ++i) {  // until the flusher has had its turn
        told = ErrorOf([&] { early.Ask(); });
        if (told == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(told, errc::kIoError);
    EXPECT_EQ(ErrorOf([&] { early.Stop(); }), errc::kIoError);

    const fs::path file = folder / "file";
    dorvane::testing::WriteFile(file, "x");
    platform::File sound = platform::File::Open(file, platform::Access::kReadWrite);
    EarlyFlush fine(sound);
    fine.Ask();
    EXPECT_EQ(ErrorOf([&] { fine.Stop(); }), 0);
}
#endif

}  // namespace
}  // namespace dorvane::jet::compact
