// The copy's file as a thread of its own writes it: the last write of a page
// wins whatever the runs it went out in, and a write that fails ends the copy
// with its error, nothing more written.

#include <random>

#include "engines/jet/compact/destination.h"
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
        constexpr std::uint32_t kPages = 700;  // several runs of pages
        Bytes model(kPages * kPage, 0);
        std::mt19937 random(5);
        {
            DestinationFile out(path, kPage);
            if (behind) out.WriteBehind();
            Bytes page(kPage);
            const auto write = [&](std::uint32_t number) {
                for (auto& b : page) b = static_cast<std::uint8_t>(random());
                out.WritePage(number, page);
                std::copy(page.begin(), page.end(), model.begin() + static_cast<std::ptrdiff_t>(number * kPage));
            };
            // In order, then pages of runs long gone and of the run being
            // gathered written again, and patched, as the tables taken back
            // and the definitions rewritten are.
            for (std::uint32_t p = 1; p < kPages; ++p) write(p);
            std::uint32_t before = 1;  // the page written last, in a run just handed over
            for (int i = 0; i < 600; ++i) {
                const auto number = static_cast<std::uint32_t>(1 + random() % (kPages - 1));
                if (i % 3 == 2) {
                    const Bytes patch = {static_cast<std::uint8_t>(i), 0xAB, static_cast<std::uint8_t>(i >> 8)};
                    const std::size_t offset = random() % (kPage - patch.size());
                    const std::uint32_t patched = i % 2 ? before : number;
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
    for (int i = 0; i < 4 && told == 0; ++i) told = ErrorOf([&] { behind.Hand(0, platform::IoBuffer(kPage, 'y')); });
    if (told == 0) told = ErrorOf([&] { behind.Drain(); });
    EXPECT_NE(told, 0);
    EXPECT_NE(ErrorOf([&] { behind.Hand(0, platform::IoBuffer(kPage, 'z')); }), 0);
    EXPECT_EQ(dorvane::testing::ReadFile(path), std::string(kPage, 'x'));
}

}  // namespace
}  // namespace dorvane::jet::compact
