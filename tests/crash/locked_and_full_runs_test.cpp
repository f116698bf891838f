// Whole unattended runs that a product's lock or a full disk makes fail: the
// failure is logged with its reason and every file that held data still holds
// it. While a run compacts, its own lock refuses a product. The small disks are
// size-limited tmpfs mounts, skipped without the right to mount.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/settings/ini_settings_store.h"
#include "tests/support/lock_holder.h"
#include "tests/support/temp_dir.h"

namespace dorvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;

const fs::path kBackEnd = fs::path(DORVANE_TESTDATA) / "products/post_db.mdb";  // 2.4 MB, 1.7 MB compacted
constexpr const char* kEarlier = "post_db_1112025101010.mdb";
constexpr off_t kProductLockByte = 0x10000001;  // a byte a product locks while it has the database open

struct Installation {
    testing::TempDir root;
    fs::path app = root / "app", data = root / "data", backup = root / "backup", config = root / "config";

    Installation() {
        for (const auto& d : {app, data, backup, config}) fs::create_directories(d);
    }
    void Install(const fs::path& backEnd = kBackEnd) {
        fs::copy_file(fs::path(DORVANE_TESTDATA) / "mdb/jet4/testV2000.mdb", app / "Bresk.mde");
        fs::copy_file(backEnd, data / "post_db.mdb");
        IniSettingsStore store(config / "dorvane" / "settings.ini");
        for (const auto& [section, key, value] : std::vector<std::tuple<const char*, const char*, std::string>>{
                 {"TitleBar", "sqlver", "0"}, {"Locations", "APPPATH", app.string()},
                 {"Locations", "DbPath", data.string()}, {"Locations", "BKpath", backup.string()}})
            store.Write("Bresk", section, key, value);
    }
    std::string Command() const {
        return "cd '" + root.path().string() + "' && XDG_CONFIG_HOME='" + config.string() + "' " + DORVANE_BIN +
               " /silent /Bresk 2>'" + (root / "err").string() + "'";
    }
    int Run() const {
        const int status = std::system(Command().c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool Logged(const std::string& text) const { return ReadFile(app / "Dorvane_log.txt").find(text) != std::string::npos; }
    static std::vector<std::string> Files(const fs::path& dir) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

class SmallDisk {
public:
    SmallDisk(const fs::path& where, const std::string& size) : where_(where) {
        mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
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

TEST(LockedRun, AProductHoldingTheDatabaseOrItsLockFileMakesRepairAndBackupFailAndChangesNothing) {
    for (const auto& [locked, type] : std::vector<std::pair<const char*, short>>{{"post_db.mdb", F_RDLCK}, {"post_db.ldb", F_WRLCK}}) {
        SCOPED_TRACE(locked);
        Installation inst;
        inst.Install();
        fs::copy_file(kBackEnd, inst.backup / kEarlier);
        if (!fs::exists(inst.data / locked)) testing::WriteFile(inst.data / locked, std::string(64, '\0'));
        const std::string before = ReadFile(inst.data / "post_db.mdb");
        const auto dataFiles = Installation::Files(inst.data);
        testing::LockHolder product(inst.data / locked, type, kProductLockByte, 1);
        EXPECT_EQ(inst.Run(), 1);
        EXPECT_TRUE(inst.Logged("     Application was optimized\r\n"));
        EXPECT_TRUE(inst.Logged("     Unable to Repair Dbase\r\n"));
        EXPECT_TRUE(inst.Logged("     Operation Failed   ") && inst.Logged("in use")) << "the log should say why";
        EXPECT_TRUE(ReadFile(inst.data / "post_db.mdb") == before) << "the back-end changed";
        EXPECT_EQ(Installation::Files(inst.data), dataFiles);  // no Temp.bk0
        EXPECT_EQ(Installation::Files(inst.backup), std::vector<std::string>{kEarlier});
        EXPECT_TRUE(ReadFile(inst.backup / kEarlier) == ReadFile(kBackEnd)) << "the earlier backup changed";
    }
    Installation stale;  // a lock file that nobody locks does not block
    stale.Install();
    testing::WriteFile(stale.data / "post_db.ldb", std::string(64, '\0'));
    EXPECT_EQ(stale.Run(), 0) << ReadFile(stale.root / "err");
}

// While the run compacts the back-end (Temp.bk0 written and checked, the copy
// back through its staging file not begun), a product cannot lock it.
TEST(LockedRun, TheRunsOwnLockRefusesAProductWhileItCompacts) {
    const char* large = std::getenv("DORVANE_LARGE_BACKEND");
    if (large == nullptr || !fs::exists(large)) GTEST_SKIP() << "DORVANE_LARGE_BACKEND not given";
    Installation inst;
    inst.Install(large);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::execl("/bin/sh", "sh", "-c", inst.Command().c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    auto compacting = [&] { return fs::exists(inst.data / "Temp.bk0") && !fs::exists(inst.data / ".post_db.mdb.dorvane-copy"); };
    bool sawCompaction = false;
    for (int i = 0; i < 20000 && !(sawCompaction = fs::exists(inst.data / "Temp.bk0")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    int attempts = 0, granted = 0;
    while (sawCompaction && compacting()) {
        const int fd = ::open((inst.data / "post_db.mdb").c_str(), O_RDWR);
        if (fd < 0) break;
        struct flock lock {};
        lock.l_type = F_RDLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = kProductLockByte;
        lock.l_len = 1;
        const bool locked = ::fcntl(fd, F_SETLK, &lock) == 0;
        ::close(fd);
        if (!compacting()) break;  // only attempts made while the compaction was under way count
        ++attempts;
        if (locked) ++granted;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(sawCompaction);
    EXPECT_GT(attempts, 0);
    EXPECT_EQ(granted, 0) << "a product could lock the database during its compaction";
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(inst.root / "err");
}

TEST(FullDisk, ABackupFolderWithoutRoomKeepsTheEarlierBackup) {
    Installation inst;
    SmallDisk disk(inst.backup, "3m");
    if (!disk.mounted()) GTEST_SKIP() << "no right to mount a tmpfs here";
    inst.Install();
    fs::copy_file(kBackEnd, inst.backup / kEarlier);  // 2.4 MB of 3 MB
    EXPECT_EQ(inst.Run(), 1);
    EXPECT_TRUE(inst.Logged("     The Dbase was repaired & compacted successfully\r\n"));
    EXPECT_TRUE(inst.Logged("     Operation Failed   ") && inst.Logged(" full")) << "the log should say why";
    EXPECT_EQ(Installation::Files(inst.backup), std::vector<std::string>{kEarlier});
    EXPECT_TRUE(ReadFile(inst.backup / kEarlier) == ReadFile(kBackEnd)) << "the earlier backup changed";
}

TEST(FullDisk, NoRoomInTheDataFolderLeavesTheBackEndAsItWas) {
    // 3 MB: the back-end fits, its compacted copy does not. 4600 KB: room for
    // the copy, not for copying it back; the copy stays for the administrator.
    for (const auto& [size, copyStays] : std::vector<std::pair<const char*, bool>>{{"3m", false}, {"4600k", true}}) {
        SCOPED_TRACE(size);
        Installation inst;
        SmallDisk disk(inst.data, size);
        if (!disk.mounted()) GTEST_SKIP() << "no right to mount a tmpfs here";
        inst.Install();
        EXPECT_EQ(inst.Run(), 1);
        EXPECT_TRUE(inst.Logged("     Unable to Repair Dbase\r\n"));
        EXPECT_NE(ReadFile(inst.root / "err").find(" full"), std::string::npos) << ReadFile(inst.root / "err");
        EXPECT_TRUE(ReadFile(inst.data / "post_db.mdb") == ReadFile(kBackEnd)) << "the back-end changed";
        EXPECT_EQ(fs::exists(inst.data / "Temp.bk0"), copyStays);
        EXPECT_FALSE(fs::exists(inst.data / ".post_db.mdb.dorvane-copy"));
        EXPECT_TRUE(inst.Logged("     Backup was created   "));  // the backup still reads the untouched back-end
    }
}

}  // namespace
}  // namespace dorvane
