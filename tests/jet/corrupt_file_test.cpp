// Damaged files: truncated at many points, bytes overwritten at random.
// Reading everything must end in success or a dorvane::Error with a
// description, never a crash, a hang or another exception (the sanitizer
// build runs these too).

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "core/error.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/checker.h"
#include "engines/jet/format/page_file.h"
#include "tests/jet/test_files.h"

namespace dorvane::jet {
namespace {

using testing::TestDataFolder;

Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Outcome {
    bool read = false;
    long error = 0;
    std::string description;
};

Outcome ReadEverything(Bytes bytes) {
    Outcome outcome;
    try {
        const PageFile file = PageFile::FromMemory(std::move(bytes));
        const CheckReport report = CheckDatabase(file);
        outcome.read = true;
        outcome.description = report.problems.empty() ? "" : report.problems.front();
    } catch (const Error& error) {
        outcome.error = error.number();
        outcome.description = error.description();
    }
    return outcome;
}

const char* const kFiles[] = {"mdb/jet3/testV1997.mdb", "mdb/jet4/overflowTestV2000.mdb",
                              "products/doclib-two.mdb"};

TEST(CorruptFileTest, TruncatedFilesGiveErrorsNamingTheProblem) {
    for (const char* name : kFiles) {
        const Bytes whole = ReadAll(TestDataFolder() / name);
        ASSERT_FALSE(whole.empty());
        const std::size_t page = whole[0x14] == 0 ? 2048 : 4096;
        std::size_t errors = 0;
        std::size_t cuts = 0;
        for (std::size_t cut : {std::size_t{0}, std::size_t{10}, page / 2, page - 1}) {
            const Outcome outcome = ReadEverything(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
            EXPECT_FALSE(outcome.read) << name << " cut at " << cut;
            EXPECT_TRUE(outcome.error == errc::kNotADatabase || outcome.error == errc::kCorrupt) << outcome.error;
        }
        // Whole pages and mid-page cuts through the rest of the file.
        const std::size_t step = std::max<std::size_t>(page, whole.size() / 40 / page * page);
        for (std::size_t cut = page; cut < whole.size(); cut += step) {
            for (std::size_t extra : {std::size_t{0}, page / 3}) {
                const Outcome outcome = ReadEverything(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut + extra)));
                ++cuts;
                if (outcome.read && outcome.description.empty()) continue;
                ++errors;
                EXPECT_FALSE(outcome.description.empty());
            }
        }
        // Cutting away the back half of a file must be noticed.
        EXPECT_GT(errors, cuts / 4) << name;
    }
    const Bytes whole = ReadAll(TestDataFolder() / kFiles[1]);
    const Outcome half = ReadEverything(Bytes(whole.begin(), whole.begin() + 8 * 4096));
    EXPECT_NE(half.description.find("outside the file"), std::string::npos) << half.description;
}

TEST(CorruptFileTest, RandomlyDamagedFilesNeverCrash) {
    std::mt19937 random(20261206);
    std::size_t damaged = 0;
    for (const char* name : kFiles) {
        const Bytes whole = ReadAll(TestDataFolder() / name);
        for (int round = 0; round < 120; ++round) {
            Bytes bytes = whole;
            const int flips = 1 + static_cast<int>(random() % 24);
            for (int i = 0; i < flips; ++i) {
                // Half of the damage lands in the first pages, where the catalog lives.
                const std::size_t limit = (random() % 2 == 0) ? std::min<std::size_t>(bytes.size(), 6 * 4096) : bytes.size();
                const std::size_t at = random() % limit;
                bytes[at] = static_cast<std::uint8_t>(random());
            }
            const Outcome outcome = ReadEverything(std::move(bytes));
            if (!outcome.read || !outcome.description.empty()) {
                ++damaged;
                EXPECT_FALSE(outcome.description.empty());
            }
        }
    }
    EXPECT_GT(damaged, 0u);
}

}  // namespace
}  // namespace dorvane::jet
