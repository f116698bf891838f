#include "engines/jet/format/sort_order.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace dorvane::jet {

namespace {

// What a character contributes to a key.
enum class WeightKind : std::uint8_t {
    kIgnored,      // nothing at all
    kPrimary,      // primary weight bytes only
    kSignificant,  // Jet 3: primary weight; holds a place among the accent marks
    kSecondary,    // primary weight, and secondary bytes after the text (Jet 3: an accent nibble)
    kPositional,   // Jet 4: no primary weight; listed after the text with its position and code
    kModifier,     // Jet 4: no primary weight; added to the secondary byte before it
    kFlagged,      // Jet 4: primary weight, secondary bytes if any, and a two-bit flag
    kUnknown,      // a weight longer than the tables hold: no key is computed
};
using enum WeightKind;

struct General97Weight {
    WeightKind kind;
    std::uint8_t length;  // primary weight bytes
    std::array<std::uint8_t, 2> primary;
    std::uint8_t accent;  // kSecondary: the accent nibble
};

// Consecutive code units whose primary weight grows by one from unit to unit
// and whose other parts are equal.
struct LegacyRun {
    char16_t first;
    char16_t last;
    WeightKind kind;
    std::uint8_t primary_length;  // bytes, big-endian
    std::uint32_t primary;        // of `first`
    std::uint8_t secondary_length;
    std::uint16_t secondary;  // kPositional: the code; kModifier: the amount added
    std::uint8_t flag;        // kFlagged: 2 or 3
};

#include "engines/jet/format/sort_weights.inc"

// Only so many characters of a text count in its key.
constexpr std::size_t kKeyCharacters = 255;

template <typename Char>
std::basic_string_view<Char> KeyedPart(std::basic_string_view<Char> text) {
    text = text.substr(0, kKeyCharacters);
    while (!text.empty() && text.back() == Char{' '}) text.remove_suffix(1);
    return text;
}

void InvertFrom(Bytes& key, std::size_t start) {
    for (std::size_t i = start; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(~key[i]);
}

template <typename Out>
void AppendBigEndian(std::uint32_t value, std::size_t length, Out& out) {
    for (std::size_t i = length; i-- > 0;) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

template <std::size_t N>
constexpr const LegacyRun& SearchRuns(const std::array<LegacyRun, N>& runs, char16_t unit) {
    const auto run =
        std::upper_bound(runs.begin(), runs.end(), unit, [](char16_t u, const LegacyRun& r) { return u < r.first; });
    return *(run - 1);  // the table starts at U+0000 and leaves no unit out
}

// Most text is Latin: its runs are looked up directly, each held here rather
// than pointed at (sparing every character a dependent load), in tables the
// compiler fills (nothing to compute when the program starts).
template <std::size_t N>
class RunLookup {
public:
    constexpr explicit RunLookup(const std::array<LegacyRun, N>& runs) : runs_(runs) {
        for (std::size_t u = 0; u < latin_.size(); ++u) latin_[u] = SearchRuns(runs, static_cast<char16_t>(u));
    }
    const LegacyRun& operator()(char16_t unit) const {
        return unit < latin_.size() ? latin_[unit] : SearchRuns(runs_, unit);
    }

private:
    const std::array<LegacyRun, N>& runs_;
    std::array<LegacyRun, 256> latin_{};
};

constexpr RunLookup<kGeneralLegacyRuns.size()> kLegacyRunOf(kGeneralLegacyRuns);
constexpr RunLookup<kGeneral2010Runs.size()> k2010RunOf(kGeneral2010Runs);

// Bytes on the stack, as many as a key's characters can give a part of its
// trailer. Not kept per thread: on Windows a thread-local object's destructor
// may run after its storage is freed.
template <std::size_t N>
class BoundedBytes {
public:
    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    std::uint8_t operator[](std::size_t i) const { return bytes_[i]; }
    std::uint8_t& back() { return bytes_[size_ - 1]; }
    const std::uint8_t* begin() const { return bytes_.data(); }
    const std::uint8_t* end() const { return bytes_.data() + size_; }
    void pop_back() { --size_; }
    void push_back(std::uint8_t byte) { insert(end(), 1, byte); }
    // Only at the end, as a vector's insert is called here.
    void insert(const std::uint8_t* /*at end*/, std::size_t count, std::uint8_t byte) {
        if (count > N - size_) throw std::length_error("a key's trailer outgrew its bound");
        std::fill_n(bytes_.data() + size_, count, byte);
        size_ += count;
    }

private:
    std::array<std::uint8_t, N> bytes_;
    std::size_t size_ = 0;
};

// The parts of a Jet 4 key after the primary weights, collected as the text
// is read.
class LegacyTrailer {
public:
    // A character with secondary bytes (or a modifier) whose primary weight,
    // if any, is the `weighed`-th of the key (counting from 0).
    void AddSecondary(std::size_t weighed, const LegacyRun& run) {
        secondaries_started_ = true;
        if (secondary_characters_ < weighed) {
            // Characters without secondary bytes hold their places.
            secondary_.insert(secondary_.end(), weighed - secondary_characters_, kPlaceHolder);
            secondary_characters_ = weighed;
        }
        if (run.kind == kModifier) {
            if (secondary_.empty()) {
                secondary_.push_back(static_cast<std::uint8_t>(run.secondary));
                leading_modifiers_ = 1;
            } else {
                secondary_.back() = static_cast<std::uint8_t>(secondary_.back() + run.secondary);
            }
            return;
        }
        AppendBigEndian(run.secondary, run.secondary_length, secondary_);
        ++secondary_characters_;
    }

    // Its position counts the secondary bytes written so far, as if every
    // character before it had them.
    void AddPositional(std::size_t weighed, const LegacyRun& run) {
        std::size_t position = weighed;
        if (secondaries_started_) position = secondary_.size() + (weighed - secondary_characters_) - leading_modifiers_;
        AppendBigEndian(kPositionFlag | (kPositionBase + kPositionStep * static_cast<std::uint32_t>(position)), 2,
                        positional_);
        positional_.push_back(kPositionalMark);
        positional_.push_back(static_cast<std::uint8_t>(run.secondary));
    }

    void AddFlag(std::uint8_t flag) { flags_.push_back(flag); }

    void AppendTo(Bytes& key) {
        // Placeholders at the end carry nothing.
        while (!secondary_.empty() && secondary_.back() <= kPlaceHolder) secondary_.pop_back();
        key.insert(key.end(), secondary_.begin(), secondary_.end());
        if (flags_.empty() && positional_.empty()) return;
        key.insert(key.end(), {kEndOfText, kEndOfText});
        if (!flags_.empty()) {
            // Trailing 3s count as nothing; three flags to a byte, first in the high bits.
            while (!flags_.empty() && flags_.back() == kDefaultFlag) flags_.pop_back();
            for (std::size_t i = 0; i < flags_.size(); i += 3) {
                std::uint8_t packed = kFlagByte;
                for (std::size_t j = 0; j < 3 && i + j < flags_.size(); ++j)
                    packed = static_cast<std::uint8_t>(packed | (flags_[i + j] << (4 - 2 * j)));
                key.push_back(packed);
            }
            key.insert(key.end(), kFlagsEnd.begin(), kFlagsEnd.end());
            if (!positional_.empty()) key.push_back(0xFF);
        }
        if (!positional_.empty()) {
            key.push_back(kEndOfText);
            key.insert(key.end(), positional_.begin(), positional_.end());
        }
    }

    static constexpr std::uint8_t kEndOfText = 0x01;

private:
    static constexpr std::uint8_t kPlaceHolder = 0x02;
    static constexpr std::uint32_t kPositionFlag = 0x8000;
    static constexpr std::uint32_t kPositionBase = 7;
    static constexpr std::uint32_t kPositionStep = 4;
    static constexpr std::uint8_t kPositionalMark = 0x06;
    static constexpr std::uint8_t kDefaultFlag = 3;
    static constexpr std::uint8_t kFlagByte = 0x80;
    static constexpr std::array<std::uint8_t, 5> kFlagsEnd = {0xFF, 0x02, 0x80, 0xFF, 0x80};

    // Per keyed character at most: a place holder and 2 secondary bytes
    // (room is left for 4); 4 positional bytes; a flag.
    BoundedBytes<kKeyCharacters * 5> secondary_;
    std::size_t secondary_characters_ = 0;  // characters the secondary bytes account for
    std::size_t leading_modifiers_ = 0;     // a modifier that found no byte before it
    bool secondaries_started_ = false;
    BoundedBytes<kKeyCharacters * 4> positional_;
    BoundedBytes<kKeyCharacters> flags_;
};

}  // namespace

void AppendGeneral97TextKey(ByteSpan text, bool ascending, Bytes& key) {
    const std::string_view chars(reinterpret_cast<const char*>(text.data()), text.size());
    const std::size_t start = key.size();
    // Accent marks, one nibble each, opened by a 0 nibble at the first accented
    // letter: each significant letter since the last accented one holds a
    // place (2) before its mark; those after the last are left out.
    std::vector<std::uint8_t> marks;
    std::size_t places = 0;
    for (const char c : KeyedPart(chars)) {
        const General97Weight& weight = kGeneral97Weights[static_cast<std::uint8_t>(c)];
        key.insert(key.end(), weight.primary.begin(), weight.primary.begin() + weight.length);
        if (weight.kind == kSignificant) {
            ++places;
        } else if (weight.kind == kSecondary) {
            if (marks.empty()) marks.push_back(0);
            marks.insert(marks.end(), places, 2);
            marks.push_back(weight.accent);
            places = 0;
        }
    }
    if (marks.empty()) {
        key.push_back(0x00);
    } else {
        marks.push_back(0);
        if (marks.size() % 2 != 0) marks.push_back(0);
        for (std::size_t i = 0; i < marks.size(); i += 2)
            key.push_back(static_cast<std::uint8_t>((marks[i] << 4) | marks[i + 1]));
    }
    if (!ascending) InvertFrom(key, start);
}

namespace {

// Both Jet 4 orders build keys alike, from their own weights.
template <typename Lookup>
void AppendJet4TextKey(const Lookup& runOf, std::u16string_view text, bool ascending, Bytes& key) {
    const std::size_t start = key.size();
    LegacyTrailer trailer;
    // The primary weights go to the stack four bytes at a time, each store
    // moved on by the weight's length, and to the key at once: every indexed
    // text value of a table passes here when it is checked.
    std::array<std::uint8_t, kKeyCharacters * 4 + 3> primaries;
    std::size_t used = 0;
    std::size_t weighed = 0;  // characters with a primary weight so far
    for (const char16_t unit : KeyedPart(text)) {
        const LegacyRun& run = runOf(unit);
        const std::size_t at = weighed;
        if (run.primary_length != 0) {
            const std::uint32_t weight = (run.primary + (unit - run.first)) << (8 * (4 - run.primary_length));
            const std::array<std::uint8_t, 4> bytes = {
                static_cast<std::uint8_t>(weight >> 24), static_cast<std::uint8_t>(weight >> 16),
                static_cast<std::uint8_t>(weight >> 8), static_cast<std::uint8_t>(weight)};
            std::memcpy(primaries.data() + used, bytes.data(), bytes.size());
            used += run.primary_length;
            ++weighed;
        }
        if (run.kind == kPrimary) continue;  // most characters: nothing after the text
        switch (run.kind) {
            case kIgnored:
            case kPrimary:
            case kSignificant:
                break;
            case kSecondary:
            case kModifier:
                trailer.AddSecondary(at, run);
                break;
            case kPositional:
                trailer.AddPositional(at, run);
                break;
            case kFlagged:
                if (run.secondary_length != 0) trailer.AddSecondary(at, run);
                trailer.AddFlag(run.flag);
                break;
            case kUnknown:
                throw UnknownWeight{unit};
        }
    }
    key.insert(key.end(), primaries.begin(), primaries.begin() + static_cast<std::ptrdiff_t>(used));
    key.push_back(LegacyTrailer::kEndOfText);
    trailer.AppendTo(key);
    if (!ascending) {
        key.push_back(0x00);
        InvertFrom(key, start);
    }
    key.push_back(0x00);
}

}  // namespace

void AppendGeneralLegacyTextKey(std::u16string_view text, bool ascending, Bytes& key) {
    AppendJet4TextKey(kLegacyRunOf, text, ascending, key);
}

void AppendGeneral2010TextKey(std::u16string_view text, bool ascending, Bytes& key) {
    AppendJet4TextKey(k2010RunOf, text, ascending, key);
}

}  // namespace dorvane::jet
