#include "engines/jet/format/header_page.h"

#include <array>
#include <cstring>

#include "core/error.h"
#include "engines/jet/format/format.h"
#include "engines/jet/format/rc4.h"

namespace dorvane::jet {

namespace {

// Identical in every test file; its meaning is not known.
constexpr std::array<std::uint8_t, 24> kFixedBlock{0, 1, 0, 0, 1, 1, 0, 0, 2, 0, 0, 0,
                                                   3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0};
// Varies between files without tracking anything known; the value most
// Access-made test files of different origins share.
constexpr std::uint32_t kUnknown6A = 0x2341;
constexpr std::uint16_t kCodePage = 1252;
// After the masked area: a word and the engine version text "4.0".
constexpr std::array<std::uint8_t, 8> kEngineVersion{0x54, 0x06, 0x00, 0x00, '4', '.', '0', 0x00};
constexpr std::size_t kPasswordOffset = 0x42, kPasswordLength = 40;
constexpr std::size_t kUserSlots = 0xE00;

Bytes NewHeaderPage(double created, std::uint8_t version) {
    const Format& f = FormatFor(Version::kJet4);
    Bytes page(f.page_size, 0);
    PutBytes(page, 0, std::array<std::uint8_t, 2>{0x00, 0x01});
    const char* signature = version == kVersionJet4 ? kJetSignature : kAceSignature;
    PutBytes(page, kSignatureOffset,
             ByteSpan(reinterpret_cast<const std::uint8_t*>(signature), std::strlen(signature) + 1));
    PutBytes(page, kVersionOffset, std::array<std::uint8_t, 1>{version});
    // Seen set in the empty files Access 2010 (both) and 2016 (the second) make.
    if (version == kVersionAce2010) page[0x15] = 1;
    if (version == kVersionAce2010 || version == kVersionAce2016) page[0x71] = 1;
    std::copy(kFixedBlock.begin(), kFixedBlock.end(), page.begin() + 0x18);
    PutLe16(page, f.header_code_page, kCodePage);
    // An empty password is stored as the creation day's number repeated.
    const auto day = static_cast<std::uint32_t>(created);
    for (std::size_t i = 0; i < kPasswordLength; ++i)
        page[kPasswordOffset + i] = static_cast<std::uint8_t>(day >> (8 * (i % 4)));
    PutLe32(page, 0x6A, kUnknown6A);
    PutLe16(page, 0x6E, kGeneralSortOrder);
    std::memcpy(&page[0x72], &created, sizeof created);
    std::copy(kEngineVersion.begin(), kEngineVersion.end(), page.begin() + 0x98);
    // The user slots as a closed file shows them: every high byte 1, slot 0 also its low byte.
    for (std::size_t slot = 0; slot < 256; ++slot) page[kUserSlots + 2 * slot + 1] = 0x01;
    page[kUserSlots] = 0x01;
    Rc4Apply(kHeaderMaskKey, std::span<std::uint8_t>(page.data() + f.header_mask_offset, f.header_mask_length));
    return page;
}

}  // namespace

Bytes NewJet4HeaderPage(double created) { return NewHeaderPage(created, kVersionJet4); }

Bytes NewAceHeaderPage(double created, std::uint8_t version) {
    if (version < kVersionAce2007 || version > kVersionAce2019) ThrowCorrupt("no such ACE version");
    return NewHeaderPage(created, version);
}

}  // namespace dorvane::jet
