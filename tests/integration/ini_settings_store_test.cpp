#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/settings/ini_settings_store.h"
#include "tests/support/temp_dir.h"

namespace dorvane {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(IniSettingsStore, RoundTripWithCaseInsensitiveNames) {
    TempDir dir;
    IniSettingsStore store(dir / "sub" / "settings.ini");
    EXPECT_FALSE(store.Read("Bresk", "Locations", "DbPath").has_value());
    ASSERT_TRUE(store.Write("Bresk", "Locations", "DBpath", "C:\\Zentro\\Data"));
    ASSERT_TRUE(store.Write("Bresk", "TitleBar", "sqlver", "0"));
    ASSERT_TRUE(store.Write("bresk", "locations", "dbpath", "D:\\New"));  // same key
    EXPECT_EQ(store.Read("BRESK", "LOCATIONS", "DbPath"), "D:\\New");
    EXPECT_EQ(store.List("Bresk").size(), 2u);
    EXPECT_EQ(ReadFile(dir / "sub" / "settings.ini"),
              "[Bresk\\Locations]\nDBpath = D:\\New\n\n[Bresk\\TitleBar]\nsqlver = 0\n");
}

TEST(IniSettingsStore, ValuesThatNeedQuotingSurvive) {
    TempDir dir;
    IniSettingsStore store(dir / "settings.ini");
    for (const std::string& value : {std::string(""), std::string("  padded  "), std::string("two\r\nlines"),
                                    std::string("\"quoted\""), std::string("C:\\ends with\\"), std::string("a=b"),
                                    std::string("tab\there")}) {
        ASSERT_TRUE(store.Write("Alveto", "Locations", "BKpath", value));
        EXPECT_EQ(store.Read("Alveto", "Locations", "BKpath"), value);
    }
}

TEST(IniSettingsStore, HandEditedFileIsReadAndKeptOnSave) {
    TempDir dir;
    const auto file = dir / "settings.ini";
    WriteFile(file,
              "; set up by the administrator\n"
              "[Alveto\\Locations]\n"
              "  APPPATH=C:\\Zentro\\Alveto  \n"
              "Unknown line without equals\n"
              "\n"
              "[Cindral\\Locations]\n"
              "WORKGROUPPATH = W:\\Group\n");
    IniSettingsStore store(file);
    EXPECT_EQ(store.Read("alveto", "locations", "apppath"), "C:\\Zentro\\Alveto");
    ASSERT_TRUE(store.Write("Alveto", "Locations", "BKpath", "E:\\Bak"));
    EXPECT_EQ(ReadFile(file),
              "; set up by the administrator\n"
              "[Alveto\\Locations]\n"
              "  APPPATH=C:\\Zentro\\Alveto  \n"
              "Unknown line without equals\n"
              "BKpath = E:\\Bak\n"
              "\n"
              "[Cindral\\Locations]\n"
              "WORKGROUPPATH = W:\\Group\n");
    EXPECT_TRUE(store.Delete("CINDRAL", "Locations", "workgrouppath"));
    EXPECT_FALSE(store.Delete("CINDRAL", "Locations", "workgrouppath"));
    EXPECT_FALSE(store.Read("Cindral", "Locations", "WORKGROUPPATH").has_value());
}

TEST(IniSettingsStore, EditorArtefactsDoNotHideSections) {
    TempDir dir;
    const auto file = dir / "settings.ini";
    WriteFile(file, "\xEF\xBB\xBF[Bresk\\Locations]  ; written by hand\nAPPPATH = C:\\B\n");
    IniSettingsStore store(file);
    EXPECT_EQ(store.Read("Bresk", "Locations", "APPPATH"), "C:\\B");
    ASSERT_TRUE(store.Write("Bresk", "Locations", "DbPath", "D:\\D"));
    EXPECT_EQ(ReadFile(file), "\xEF\xBB\xBF[Bresk\\Locations]  ; written by hand\nAPPPATH = C:\\B\nDbPath = D:\\D\n");
}

TEST(IniSettingsStore, UnstorableNamesAreRefused) {
    TempDir dir;
    IniSettingsStore store(dir / "settings.ini");
    EXPECT_FALSE(store.Write("A\\B", "Locations", "K", "v"));
    EXPECT_FALSE(store.Write("A", "Loc]", "K", "v"));
    EXPECT_FALSE(store.Write("A", "Locations", "K=1", "v"));
    EXPECT_FALSE(store.Write("A", "Locations", "", "v"));
    EXPECT_FALSE(store.Write("A", "Locations", "#k", "v"));
    EXPECT_FALSE(store.Write("A", "Locations", ";k", "v"));
    EXPECT_FALSE(std::filesystem::exists(dir / "settings.ini"));
}

TEST(IniSettingsStore, ConcurrentSavesFromManyProcessesAreAllKept) {
    TempDir dir;
    const auto file = dir / "settings.ini";
    constexpr int kProcesses = 6;
    constexpr int kKeys = 15;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            IniSettingsStore store(file);
            int failures = 0;
            for (int k = 0; k < kKeys; ++k) {
                if (!store.Write(std::string("P").append(std::to_string(p)), "S", std::string("K").append(std::to_string(k)), std::to_string(p * 100 + k))) ++failures;
            }
            ::_exit(failures);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    IniSettingsStore store(file);
    EXPECT_EQ(store.List(std::nullopt).size(), static_cast<std::size_t>(kProcesses * kKeys));
    EXPECT_EQ(store.Read("P3", "S", "K14"), "314");
}

}  // namespace
}  // namespace dorvane
