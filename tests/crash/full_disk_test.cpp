// Whole runs on real, small file systems (size-limited tmpfs mounts) that fill
// up part-way: the failure is reported with its reason and every file that
// held data still holds it. Needs the right to mount; skipped without it.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include "core/settings/ini_settings_store.h"
#include "tests/support/temp_dir.h"

namespace dorvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;

class SmallDisk {
public:
    SmallDisk(const fs::path& where, const std::string& size) : where_(where) {
        fs::create_directories(where);
        const std::string options = "size=" + size;
        mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool mounted() const { return mounted_; }

private:
    fs::path where_;
    bool mounted_ = false;
};

struct FullDiskTest : ::testing::Test {
    TempDir root;
    fs::path app = root / "app", data = root / "data", backup = root / "backup", config = root / "config";
    const fs::path backEnd = fs::path(DORVANE_TESTDATA) / "products/post_db.mdb";  // 2.4 MB, 1.7 MB compacted

    void Install() {
        for (const auto& d : {app, data, backup, config}) fs::create_directories(d);
        fs::copy_file(fs::path(DORVANE_TESTDATA) / "mdb/jet4/testV2000.mdb", app / "Bresk.mde");
        fs::copy_file(backEnd, data / "post_db.mdb");
        IniSettingsStore store(config / "dorvane" / "settings.ini");
        store.Write("Bresk", "TitleBar", "sqlver", "0");
        store.Write("Bresk", "Locations", "APPPATH", app.string());
        store.Write("Bresk", "Locations", "DbPath", data.string());
        store.Write("Bresk", "Locations", "BKpath", backup.string());
    }
    int Run() {
        const std::string command = "cd '" + root.path().string() + "' && XDG_CONFIG_HOME='" + config.string() +
                                    "' " + DORVANE_BIN + " /silent /Bresk 2>'" + (root / "err").string() + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Log() { return ReadFile(app / "Dorvane_log.txt"); }
};

TEST_F(FullDiskTest, ABackupFolderWithoutRoomKeepsTheEarlierBackup) {
    SmallDisk disk(backup, "3m");
    if (!disk.mounted()) GTEST_SKIP() << "no right to mount a tmpfs here";
    Install();
    fs::copy_file(backEnd, backup / "post_db_1112025101010.mdb");  // 2.4 MB of 3 MB
    const std::string earlier = ReadFile(backup / "post_db_1112025101010.mdb");

    EXPECT_EQ(Run(), 1);
    EXPECT_NE(Log().find("     The Dbase was repaired & compacted successfully\r\n"), std::string::npos) << Log();
    EXPECT_NE(Log().find("     Operation Failed   "), std::string::npos) << Log();
    EXPECT_NE(Log().find(" full"), std::string::npos) << "the log should say why: " << Log();
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(backup)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"post_db_1112025101010.mdb"});
    EXPECT_TRUE(ReadFile(backup / "post_db_1112025101010.mdb") == earlier) << "the earlier backup changed";
}

TEST_F(FullDiskTest, NoRoomToCopyBackLeavesTheSourceAsItWasAndTheCompactedCopy) {
    // Room for the back-end and its compacted copy, not for a second copy.
    SmallDisk disk(data, "4600k");
    if (!disk.mounted()) GTEST_SKIP() << "no right to mount a tmpfs here";
    Install();
    const std::string original = ReadFile(data / "post_db.mdb");

    EXPECT_EQ(Run(), 1);
    EXPECT_NE(Log().find("     Unable to Repair Dbase\r\n"), std::string::npos) << Log();
    EXPECT_NE(ReadFile(root / "err").find("disk is full"), std::string::npos) << ReadFile(root / "err");
    EXPECT_TRUE(ReadFile(data / "post_db.mdb") == original) << "the back-end changed";
    EXPECT_TRUE(fs::exists(data / "Temp.bk0"));  // left for the administrator, as documented
    EXPECT_FALSE(fs::exists(data / ".post_db.mdb.dorvane-copy"));
    // The backup still reads the untouched back-end.
    EXPECT_NE(Log().find("     Backup was created   "), std::string::npos) << Log();
}

TEST_F(FullDiskTest, NoRoomForTheTemporaryFileFailsCleanly) {
    SmallDisk disk(data, "3m");  // the back-end fits, its compacted copy does not
    if (!disk.mounted()) GTEST_SKIP() << "no right to mount a tmpfs here";
    Install();
    const std::string original = ReadFile(data / "post_db.mdb");
    EXPECT_EQ(Run(), 1);
    EXPECT_NE(Log().find("     Unable to Repair Dbase\r\n"), std::string::npos) << Log();
    EXPECT_TRUE(ReadFile(data / "post_db.mdb") == original) << "the back-end changed";
    EXPECT_FALSE(fs::exists(data / "Temp.bk0")) << "a partial compacted copy was left behind";
}

}  // namespace
}  // namespace dorvane
