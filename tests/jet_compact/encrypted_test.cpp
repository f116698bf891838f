// A database with encrypted pages compacts into a copy encrypted the same way:
// each page under its new number, so that decrypted it equals the compacted
// copy of the same database without encryption.

#include <gtest/gtest.h>

#include <array>

#include "engines/jet/compact/compaction.h"
#include "engines/jet/format/rc4.h"
#include "tests/jet_compact/test_files.h"

namespace dorvane::testing {
namespace {

constexpr std::uint32_t kKey = 0x5A17C3E9;

void CryptPage(std::string& file, std::size_t pageSize, std::uint32_t page) {
    const std::uint32_t k = kKey ^ page;
    const std::array<std::uint8_t, 4> key{static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k >> 8),
                                          static_cast<std::uint8_t>(k >> 16), static_cast<std::uint8_t>(k >> 24)};
    auto* data = reinterpret_cast<std::uint8_t*>(file.data()) + std::size_t{page} * pageSize;
    jet::Rc4Apply(key, std::span<std::uint8_t>(data, pageSize));
}

// The same database with its pages encrypted: the key goes into the masked
// header (the mask is a XOR, and the plain key there is 0), then every page
// but page 0 is encrypted under the key and its number.
std::string Encrypt(std::string file, std::size_t pageSize) {
    for (std::size_t i = 0; i < 4; ++i) {
        const auto keyByte = static_cast<std::uint8_t>(kKey >> (8 * i));
        file[0x3E + i] = static_cast<char>(static_cast<std::uint8_t>(file[0x3E + i]) ^ keyByte);
    }
    for (std::uint32_t p = 1; p < file.size() / pageSize; ++p) CryptPage(file, pageSize, p);
    return file;
}

class EncryptedPages : public ::testing::TestWithParam<const char*> {};

TEST_P(EncryptedPages, CopyIsTheEncryptedCompactedCopy) {
    TempDir dir;
    const auto plain = CopyInto(dir, TestData() / GetParam());
    const std::string bytes = ReadFile(plain);
    const std::size_t pageSize = bytes[0x14] == 0 ? 2048 : 4096;
    const auto encrypted = dir / "encrypted.mdb";
    WriteFile(encrypted, Encrypt(bytes, pageSize));

    ASSERT_NO_THROW(jet::CompactFile(plain, dir / "plain-copy.mdb"));
    ASSERT_NO_THROW(jet::CompactFile(encrypted, dir / "encrypted-copy.mdb"));
    const std::string want = ReadFile(dir / "plain-copy.mdb");
    std::string got = ReadFile(dir / "encrypted-copy.mdb");
    ASSERT_EQ(got.size(), want.size());
    EXPECT_EQ(got.substr(0, pageSize), ReadFile(encrypted).substr(0, pageSize)) << "header page kept";
    for (std::uint32_t p = 1; p < got.size() / pageSize; ++p) CryptPage(got, pageSize, p);
    EXPECT_TRUE(got.substr(pageSize) == want.substr(pageSize)) << "decrypted pages differ";
}

INSTANTIATE_TEST_SUITE_P(Jet3AndJet4, EncryptedPages,
                         ::testing::Values("mdb/jet3/testV1997.mdb", "products/post_db.mdb"));

}  // namespace
}  // namespace dorvane::testing
