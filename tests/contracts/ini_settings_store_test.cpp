// The settings file of POSIX systems: the contract, then the text people edit by hand.

#include <thread>

#include "core/settings/ini_settings_store.h"
#include "tests/contracts/settings_store_contract.h"
#include "tests/support/temp_dir.h"

namespace dorvane::testing {

struct IniFixture {
    TempDir dir;
    IniSettingsStore store{dir / "new folder" / "settings.ini"};
};
INSTANTIATE_TYPED_TEST_SUITE_P(Ini, SettingsStoreContract, IniFixture);

TEST(IniSettingsStore, SavesAsPeopleWriteAndKeepsWhatTheyWrote) {
    const char* const cases[][2] = {
        // the file before, and after DbPath is saved
        {"", "[Bresk\\Locations]\nDbPath = D:\\D\n"},
        {"[Bresk\\TitleBar]\nsqlver = 0\n", "[Bresk\\TitleBar]\nsqlver = 0\n\n[Bresk\\Locations]\nDbPath = D:\\D\n"},
        {"[bresk\\locations]\nDBPATH=C:\\old\n", "[bresk\\locations]\nDBPATH = D:\\D\n"},
        {"; by the administrator\n[Bresk\\Locations]\n  APPPATH=C:\\B  \nno equals\n\n[C\\X]\nK = v\n",
         "; by the administrator\n[Bresk\\Locations]\n  APPPATH=C:\\B  \nno equals\nDbPath = D:\\D\n\n[C\\X]\nK = v\n"},
        {"\xEF\xBB\xBF[Bresk\\Locations]  ; by hand\nAPPPATH=C:\\B\n",
         "\xEF\xBB\xBF[Bresk\\Locations]  ; by hand\nAPPPATH=C:\\B\nDbPath = D:\\D\n"},
    };
    for (const auto& [before, after] : cases) {
        TempDir dir;
        WriteFile(dir / "settings.ini", before);
        IniSettingsStore store(dir / "settings.ini");
        ASSERT_TRUE(store.Write("Bresk", "Locations", "DbPath", "D:\\D"));
        EXPECT_EQ(ReadFile(dir / "settings.ini"), after);
        if (std::string_view(before).find("APPPATH") != std::string_view::npos) {
            EXPECT_EQ(store.Read("bresk", "LOCATIONS", "apppath"), "C:\\B");
        }
    }
    IniFixture ini;  // names the text cannot hold
    for (const char* key : {"K=1", "#k", ";k", "[k", " k"}) EXPECT_FALSE(ini.store.Write("A", "S", key, "v")) << key;
    EXPECT_FALSE(ini.store.Write("A", "S]", "K", "v") || std::filesystem::exists(ini.store.path()));
    ASSERT_TRUE(ini.store.Write("Bresk", "Locations", "BKpath", "E:\\Sicherung-\xC3\xBC"));  // as people read it
    EXPECT_EQ(ReadFile(ini.store.path()), "[Bresk\\Locations]\nBKpath = E:\\Sicherung-\xC3\xBC\n");
}

TEST(IniSettingsStore, ConcurrentSavesThroughStoresOfTheirOwnAreAllKept) {  // as from other processes
    TempDir dir;
    std::vector<std::thread> writers;
    for (int w = 0; w < 6; ++w) {
        writers.emplace_back([&dir, w] {
            IniSettingsStore store(dir / "settings.ini");
            for (int k = 0; k < 15; ++k) EXPECT_TRUE(store.Write(std::to_string(w), "S", std::to_string(k), "v"));
        });
    }
    for (auto& writer : writers) writer.join();
    EXPECT_EQ(IniSettingsStore(dir / "settings.ini").List(std::nullopt).size(), 6u * 15u);
}

}  // namespace dorvane::testing
