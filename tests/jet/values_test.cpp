// Conversions of stored values to text where the edges are: dates around
// the epoch and midnight, currency extremes, decimals, GUID byte order,
// compressed Unicode and code page 1252.

#include <gtest/gtest.h>

#include "engines/jet/format/text.h"
#include "engines/jet/format/value.h"

namespace dorvane::jet {
namespace {

TEST(ValueTextTest, DatesCountDaysFrom1899AndTimeIsAlwaysForward) {
    EXPECT_EQ(DateTimeToText(0.0), "1899-12-30 00:00:00");
    EXPECT_EQ(DateTimeToText(1.5), "1899-12-31 12:00:00");
    EXPECT_EQ(DateTimeToText(36526.0), "2000-01-01 00:00:00");
    EXPECT_EQ(DateTimeToText(60.0), "1900-02-28 00:00:00");
    EXPECT_EQ(DateTimeToText(61.0), "1900-03-01 00:00:00");
    // Negative days keep a positive time of day.
    EXPECT_EQ(DateTimeToText(-1.25), "1899-12-29 06:00:00");
    // Rounding to the second can carry into the next day.
    EXPECT_EQ(DateTimeToText(36526.9999999), "2000-01-02 00:00:00");
    EXPECT_EQ(DateTimeToText(2958465.0), "9999-12-31 00:00:00");
    // Outside the calendar the number is shown rather than a made-up date.
    EXPECT_EQ(DateTimeToText(1e300), "1e+300");
}

TEST(ValueTextTest, CurrencyKeepsFourDecimalsExactly) {
    EXPECT_EQ(CurrencyToText(35000), "3.5");
    EXPECT_EQ(CurrencyToText(0), "0");
    EXPECT_EQ(CurrencyToText(-12345), "-1.2345");
    EXPECT_EQ(CurrencyToText(-1), "-0.0001");
    EXPECT_EQ(CurrencyToText(INT64_MIN), "-922337203685477.5808");
}

TEST(ValueTextTest, DecimalsUseSignByteScaleAndWordOrder) {
    Bytes value(17, 0);
    value[13] = 0x39;  // lowest dword (last of the four): 12345
    value[14] = 0x30;
    EXPECT_EQ(DecimalToText(value, 2), "123.45");
    EXPECT_EQ(DecimalToText(value, 0), "12345");
    EXPECT_EQ(DecimalToText(value, 6), "0.012345");
    value[0] = 0x80;
    EXPECT_EQ(DecimalToText(value, 2), "-123.45");
    value[1] = 1;  // highest dword: 2^96
    EXPECT_EQ(DecimalToText(value, 0), "-79228162514264337593543962681");
    EXPECT_EQ(DecimalToText(Bytes(17, 0), 3), "0");
}

TEST(ValueTextTest, GuidGroupsAreLittleEndianWhereWindowsStoresThem) {
    const Bytes guid{0x6A, 0x27, 0x39, 0x8E, 0xA8, 0xBC, 0xC4, 0x4A,
                     0x89, 0x1E, 0x49, 0x91, 0x1D, 0x84, 0x38, 0xDD};
    EXPECT_EQ(GuidToText(guid), "{8E39276A-BCA8-4AC4-891E-49911D8438DD}");
}

TEST(TextTest, CompressedUnicodeTogglesOnZeroBytes) {
    // "ab" compressed, switch, U+20AC as two bytes, switch back, "c".
    const Bytes compressed{0xFF, 0xFE, 'a', 'b', 0x00, 0xAC, 0x20, 0x00, 'c'};
    EXPECT_EQ(Jet4TextToUtf8(compressed), "ab\xE2\x82\xAC" "c");
    const Bytes plain{'h', 0, 'i', 0};
    EXPECT_EQ(Jet4TextToUtf8(plain), "hi");
    // A surrogate pair joins; a lone surrogate becomes U+FFFD.
    const Bytes pair{0x3D, 0xD8, 0x00, 0xDE, 0x3D, 0xD8};
    EXPECT_EQ(Ucs2ToUtf8(pair), "\xF0\x9F\x98\x80\xEF\xBF\xBD");
}

TEST(TextTest, CodePage1252MapsItsUpperControlRange) {
    const Bytes text{'K', 0xE4, 's', 'e', 0x80, 0x81};
    EXPECT_EQ(CodePageToUtf8(text, 1252), "K\xC3\xA4se\xE2\x82\xAC\xC2\x81");
}

}  // namespace
}  // namespace dorvane::jet
