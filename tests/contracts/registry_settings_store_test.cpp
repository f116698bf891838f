// The registry store (Wine's registry under test): the contract, then values other programs wrote.

#include "core/settings/registry_settings_store.h"
#include "platform/windows_api.h"
#include "tests/contracts/settings_store_contract.h"

namespace dorvane::testing {

// Each store lives under a key of its own, removed afterwards.
struct RegistryFixture {
    static inline unsigned count = 0;
    std::string base = "Software\\Dorvane tests\\" + std::to_string(::GetCurrentProcessId() * 1000u + ++count);
    RegistrySettingsStore store{base};
    ~RegistryFixture() { ::RegDeleteTreeA(HKEY_CURRENT_USER, base.c_str()); }
};
INSTANTIATE_TYPED_TEST_SUITE_P(Registry, SettingsStoreContract, RegistryFixture);

TEST(RegistrySettingsStore, ReadsOnlyTextWithOrWithoutItsNulAndStoresOnlyText) {
    RegistryFixture registry;
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, (registry.base + "\\C\\S").c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD one = 1;
    ::RegSetValueExA(key, "APPPATH", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\Zentro"), 11);
    ::RegSetValueExA(key, "DbPath", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\db"), 5);  // without its NUL
    ::RegSetValueExA(key, "sqlver", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    EXPECT_EQ(registry.store.Read("C", "S", "APPPATH"), "C:\\Zentro");
    EXPECT_EQ(registry.store.Read("C", "S", "DbPath"), "C:\\db");
    EXPECT_FALSE(registry.store.Read("C", "S", "sqlver"));  // only text is a setting
    EXPECT_EQ(registry.store.List("C").size(), 2u);
    ::RegCloseKey(key);
    EXPECT_FALSE(registry.store.Write("C", "S", "APPPATH", std::string("a\0b", 3)));
}

// Whatever code page a product wrote through, the registry holds UTF-16; the
// program's text is UTF-8 both ways, letters no 8-bit code page holds included.
TEST(RegistrySettingsStore, ReadsAndWritesEveryCharacterAsTheRegistryHoldsIt) {
    RegistryFixture registry;
    const std::wstring wide = L"D:\\B\u00fcro\\Sicherung-\u00fc \u0141\u00f3d\u017a \u4e2d";
    const std::string text =
        "D:\\B\xC3\xBCro\\Sicherung-\xC3\xBC \xC5\x81\xC3\xB3"
        "d\xC5\xBA \xE4\xB8\xAD";
    const std::wstring section = std::wstring(registry.base.begin(), registry.base.end()) + L"\\C\\S";
    const auto bytes = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, section.c_str(), L"DbPath", REG_SZ, wide.c_str(), bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(registry.store.Read("C", "S", "DbPath"), text);
    ASSERT_TRUE(registry.store.Write("C", "S", "BKpath", text));
    wchar_t saved[64] = {};
    DWORD size = sizeof saved;
    ::RegGetValueW(HKEY_CURRENT_USER, section.c_str(), L"BKpath", RRF_RT_REG_SZ, nullptr, saved, &size);
    EXPECT_EQ(std::wstring(saved), wide);
}

}  // namespace dorvane::testing
