#pragma once
// The contract of SettingsStore, instantiated with a fixture whose `store` is a fresh, empty store.

#include <gtest/gtest.h>

#include <algorithm>

#include "core/settings/settings_store.h"

namespace dorvane::testing {

template <typename Fixture>
class SettingsStoreContract : public ::testing::Test {
protected:
    Fixture fixture_;
    SettingsStore& store_ = fixture_.store;
};
TYPED_TEST_SUITE_P(SettingsStoreContract);

TYPED_TEST_P(SettingsStoreContract, SavesReadsListsAndDeletesWithoutRegardToCase) {
    SettingsStore& store = this->store_;
    EXPECT_FALSE(store.Read("Bresk", "Locations", "DbPath"));
    ASSERT_TRUE(store.Write("Bresk", "Locations", "DbPath", "C:\\one"));
    ASSERT_TRUE(store.Write("bresk", "LOCATIONS", "dbpath", "C:\\two"));  // the same setting
    ASSERT_TRUE(store.Write("Bresk", "Locations", "BKpath", ""));
    ASSERT_TRUE(store.Write("Alveto", "TitleBar", "sqlver", "0"));
    EXPECT_EQ(store.Read("BRESK", "locations", "DBPATH"), "C:\\two");
    EXPECT_EQ(store.Read("Bresk", "Locations", "BKpath"), "");  // empty, not missing
    EXPECT_FALSE(store.Read("Bresk", "Locations", "DSN"));
    auto entries = store.List("bresk");
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].key + "=" + entries[0].value, "BKpath=");
    EXPECT_EQ(entries[1].application + "\\" + entries[1].section + "\\" + entries[1].key, "Bresk\\Locations\\DbPath");
    EXPECT_EQ(store.List(std::nullopt).size(), 3u);
    EXPECT_TRUE(store.Delete("bresk", "locations", "bkpath"));
    EXPECT_FALSE(store.Delete("Bresk", "Locations", "BKpath") || store.Delete("Nobody", "Locations", "BKpath"));
    EXPECT_TRUE(!store.Read("Bresk", "Locations", "BKpath") && store.Read("Bresk", "Locations", "DbPath"));
}

TYPED_TEST_P(SettingsStoreContract, ValuesComeBackAsWrittenAndNamesThatAddressNothingAreRefused) {
    SettingsStore& store = this->store_;
    for (const std::string& value : {std::string("  padded  "), std::string("two\r\nlines\x01"),
                                     std::string("\"quoted\""), std::string("C:\\ends with\\"), std::string("a=b ; c"),
                                     std::string(5000, 'x'), std::string("D:\\B\xC3\xBCro\\Sicherung-\xC3\xBC")}) {
        ASSERT_TRUE(store.Write("Alveto", "Locations", "BKpath", value));
        EXPECT_EQ(store.Read("Alveto", "Locations", "BKpath"), value);
    }
    EXPECT_FALSE(store.Write("Bresk\\Locations", "x", "APPPATH", "v") || store.Write("", "Locations", "APPPATH", "v") ||
                 store.Write("Bresk", "", "APPPATH", "v") || store.Write("Bresk", "Locations", "", "v"));
    EXPECT_EQ(store.List(std::nullopt).size(), 1u);
}

REGISTER_TYPED_TEST_SUITE_P(SettingsStoreContract, SavesReadsListsAndDeletesWithoutRegardToCase,
                            ValuesComeBackAsWrittenAndNamesThatAddressNothingAreRefused);

}  // namespace dorvane::testing
