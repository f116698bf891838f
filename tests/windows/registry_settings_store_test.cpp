// The settings store on Windows against the real registry (Wine's under CI).

#include <gtest/gtest.h>

#include <string>

#include "core/settings/registry_settings_store.h"
#include "platform/windows_api.h"

namespace dorvane {
namespace {

// Each test works below its own key, removed afterwards.
class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = std::string("Software\\Dorvane tests\\") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str());
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str()); }

    // Writes a value the way another program would, bypassing the store.
    void WriteRaw(const std::string& subkey, const std::string& name, DWORD type, const void* data,
                  DWORD bytes) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (base_ + "\\" + subkey).c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    bool KeyExists(const std::string& subkey) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, (base_ + "\\" + subkey).c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    std::string base_;
};

TEST_F(RegistryStoreTest, SavesCreatingKeysAndReadsBackEmptyAndMissingApart) {
    RegistrySettingsStore store(base_);
    EXPECT_FALSE(store.Read("Bresk", "Locations", "APPPATH"));
    EXPECT_FALSE(KeyExists("Bresk"));

    ASSERT_TRUE(store.Write("Bresk", "Locations", "APPPATH", "C:\\Zentro\\Bresk"));
    ASSERT_TRUE(store.Write("Bresk", "Locations", "BKpath", ""));
    EXPECT_TRUE(KeyExists("Bresk\\Locations"));
    EXPECT_EQ(store.Read("Bresk", "Locations", "APPPATH"), "C:\\Zentro\\Bresk");
    EXPECT_EQ(store.Read("Bresk", "Locations", "BKpath"), "");  // empty, not missing
    EXPECT_EQ(GetSetting(store, "Bresk", "Locations", "BKpath", "NA"), "");
    EXPECT_EQ(GetSetting(store, "Bresk", "Locations", "DSN", "NA"), "NA");
    EXPECT_EQ(GetSetting(store, "Bresk", "TitleBar", "sqlver", 9L), "9");
    EXPECT_FALSE(store.Read("Alveto", "Locations", "APPPATH"));

    ASSERT_TRUE(store.Write("Bresk", "Locations", "APPPATH", "D:\\Elsewhere"));
    EXPECT_EQ(store.Read("Bresk", "Locations", "APPPATH"), "D:\\Elsewhere");
}

TEST_F(RegistryStoreTest, NamesMatchWithoutRegardToCaseAndKeepTheirStoredSpelling) {
    RegistrySettingsStore store(base_);
    ASSERT_TRUE(store.Write("Bresk", "Locations", "DbPath", "C:\\one"));
    EXPECT_EQ(store.Read("BRESK", "locations", "DBpath"), "C:\\one");
    ASSERT_TRUE(store.Write("bresk", "LOCATIONS", "dbpath", "C:\\two"));
    ASSERT_TRUE(store.Write("Bresk", "Locations", "SQLServer", "srv"));
    EXPECT_EQ(store.Read("Bresk", "Locations", "sqlServer"), "srv");

    const auto entries = store.List("BRESK");
    ASSERT_EQ(entries.size(), 2u);
    for (const auto& e : entries) {
        EXPECT_EQ(e.application, "Bresk");
        EXPECT_EQ(e.section, "Locations");
        if (e.key == "DbPath") EXPECT_EQ(e.value, "C:\\two");
        else EXPECT_EQ(e.key, "SQLServer");
    }
}

TEST_F(RegistryStoreTest, ReadsValuesOtherProgramsWroteWithOrWithoutTheirNul) {
    const char withNul[] = "C:\\Zentro\\Cindral";
    WriteRaw("Cindral\\Locations", "APPPATH", REG_SZ, withNul, sizeof withNul);
    const char withoutNul[] = {'C', ':', '\\', 'd', 'b'};
    WriteRaw("Cindral\\Locations", "DbPath", REG_SZ, withoutNul, sizeof withoutNul);
    const DWORD number = 1;
    WriteRaw("Cindral\\TitleBar", "sqlver", REG_DWORD, &number, sizeof number);

    RegistrySettingsStore store(base_);
    EXPECT_EQ(store.Read("Cindral", "Locations", "APPPATH"), "C:\\Zentro\\Cindral");
    EXPECT_EQ(store.Read("Cindral", "Locations", "DbPath"), "C:\\db");
    // Only text is a setting: a number stored by something else reads as absent.
    EXPECT_FALSE(store.Read("Cindral", "TitleBar", "sqlver"));
    EXPECT_EQ(GetSetting(store, "Cindral", "TitleBar", "sqlver", 9L), "9");
    EXPECT_EQ(store.List("Cindral").size(), 2u);
}

TEST_F(RegistryStoreTest, LongValuesRoundTrip) {
    RegistrySettingsStore store(base_);
    const std::string longText(5000, 'x');
    ASSERT_TRUE(store.Write("Alveto", "Locations", "WORKGROUPPATH", longText));
    EXPECT_EQ(store.Read("Alveto", "Locations", "WORKGROUPPATH"), longText);
}

TEST_F(RegistryStoreTest, RefusesNamesThatWouldAddressOtherKeysAndUnstorableValues) {
    RegistrySettingsStore store(base_);
    EXPECT_FALSE(store.Write("Bresk\\Locations", "x", "APPPATH", "v"));
    EXPECT_FALSE(store.Write("Bresk", "", "APPPATH", "v"));
    EXPECT_FALSE(store.Write("", "Locations", "APPPATH", "v"));
    EXPECT_FALSE(store.Write("Bresk", "Locations", "", "v"));
    EXPECT_FALSE(store.Write("Bresk", "Locations", "APPPATH", std::string("a\0b", 3)));
    EXPECT_FALSE(KeyExists("Bresk"));
    EXPECT_FALSE(store.Read("Bresk\\Locations", "x", "APPPATH"));
    SaveSetting(store, "", "Locations", "BKpath", "v");  // ignored, no throw
}

TEST_F(RegistryStoreTest, DeleteRemovesOneValueAndReportsAbsence) {
    RegistrySettingsStore store(base_);
    ASSERT_TRUE(store.Write("Bresk", "Locations", "BKpath", "C:\\bk"));
    ASSERT_TRUE(store.Write("Bresk", "Locations", "DSN", "BreskDsn"));
    EXPECT_TRUE(store.Delete("bresk", "locations", "bkpath"));
    EXPECT_FALSE(store.Delete("Bresk", "Locations", "BKpath"));
    EXPECT_FALSE(store.Delete("Nobody", "Locations", "BKpath"));
    EXPECT_FALSE(store.Read("Bresk", "Locations", "BKpath"));
    EXPECT_EQ(store.Read("Bresk", "Locations", "DSN"), "BreskDsn");
}

}  // namespace
}  // namespace dorvane
