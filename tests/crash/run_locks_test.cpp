// A product that has the back-end open (a byte-range lock on the database or
// on its .ldb) makes the repair and the backup fail, and every file stays as
// it was; while a run compacts, its own lock refuses a product that tries to
// open the database.

#include <fcntl.h>
#include <gtest/gtest.h>
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
using testing::LockHolder;
using testing::ReadFile;
using testing::TempDir;

struct Installation {
    TempDir root;
    fs::path app = root / "app", data = root / "data", backup = root / "backup", config = root / "config";

    explicit Installation(const fs::path& backEnd) {
        for (const auto& d : {app, data, backup, config}) fs::create_directories(d);
        fs::copy_file(fs::path(DORVANE_TESTDATA) / "mdb/jet4/testV2000.mdb", app / "Bresk.mde");
        fs::copy_file(backEnd, data / "post_db.mdb");
        fs::copy_file(backEnd, backup / "post_db_1112025101010.mdb");
        IniSettingsStore store(config / "dorvane" / "settings.ini");
        store.Write("Bresk", "TitleBar", "sqlver", "0");
        store.Write("Bresk", "Locations", "APPPATH", app.string());
        store.Write("Bresk", "Locations", "DbPath", data.string());
        store.Write("Bresk", "Locations", "BKpath", backup.string());
    }

    std::string Command() const {
        return "cd '" + root.path().string() + "' && XDG_CONFIG_HOME='" + config.string() + "' " + DORVANE_BIN +
               " /silent /Bresk 2>'" + (root / "err").string() + "'";
    }
    int Run() const {
        const int status = std::system(Command().c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::vector<std::string> Files(const fs::path& dir) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

void ExpectRefusedWithFilesUnchanged(Installation& inst) {
    const std::string before = ReadFile(inst.data / "post_db.mdb");
    const std::string earlier = ReadFile(inst.backup / "post_db_1112025101010.mdb");
    const auto dataFiles = inst.Files(inst.data);
    EXPECT_EQ(inst.Run(), 1);
    const std::string log = ReadFile(inst.app / "Dorvane_log.txt");
    EXPECT_NE(log.find("     Application was optimized\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("     Unable to Repair Dbase\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("     Operation Failed   "), std::string::npos) << log;
    EXPECT_NE(log.find("in use"), std::string::npos) << "the log should say why: " << log;
    EXPECT_TRUE(ReadFile(inst.data / "post_db.mdb") == before) << "the back-end changed";
    EXPECT_EQ(inst.Files(inst.data), dataFiles);  // no Temp.bk0
    EXPECT_EQ(inst.Files(inst.backup), std::vector<std::string>{"post_db_1112025101010.mdb"});
    EXPECT_TRUE(ReadFile(inst.backup / "post_db_1112025101010.mdb") == earlier) << "the earlier backup changed";
}

const fs::path kBackEnd = fs::path(DORVANE_TESTDATA) / "products/post_db.mdb";

TEST(RunLocks, AProductHoldingTheDatabaseMakesRepairAndBackupFail) {
    Installation inst(kBackEnd);
    LockHolder product(inst.data / "post_db.mdb", F_RDLCK, 0x10000001, 1);
    ExpectRefusedWithFilesUnchanged(inst);
}

TEST(RunLocks, AProductHoldingTheLockFileMakesRepairAndBackupFail) {
    Installation inst(kBackEnd);
    testing::WriteFile(inst.data / "post_db.ldb", std::string(64, '\0'));
    LockHolder product(inst.data / "post_db.ldb", F_WRLCK, 0x10000001, 1);
    ExpectRefusedWithFilesUnchanged(inst);
}

TEST(RunLocks, AStaleLockFileWithoutLocksDoesNotBlock) {
    Installation inst(kBackEnd);
    testing::WriteFile(inst.data / "post_db.ldb", std::string(64, '\0'));
    EXPECT_EQ(inst.Run(), 0) << ReadFile(inst.root / "err");
}

// While the run compacts, the database is held: a product cannot lock it.
TEST(RunLocks, TheRunsOwnLockRefusesAProductWhileItCompacts) {
    const char* large = std::getenv("DORVANE_LARGE_BACKEND");
    if (large == nullptr || !fs::exists(large)) GTEST_SKIP() << "DORVANE_LARGE_BACKEND not given";
    Installation inst(large);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::execl("/bin/sh", "sh", "-c", inst.Command().c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Wait for the back-end's compaction (Temp.bk0 in the data folder).
    bool sawCompaction = false;
    bool refused = true;
    int attempts = 0;
    for (int i = 0; i < 20000 && !sawCompaction; ++i) {
        if (fs::exists(inst.data / "Temp.bk0")) sawCompaction = true;
        else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The compaction proper: Temp.bk0 is being written and checked, and the
    // copy back over the source (a staging file beside it) has not begun.
    const fs::path staging = inst.data / ".post_db.mdb.dorvane-copy";
    auto compacting = [&] { return fs::exists(inst.data / "Temp.bk0") && !fs::exists(staging); };
    while (sawCompaction && compacting()) {
        const int fd = ::open((inst.data / "post_db.mdb").c_str(), O_RDWR);
        if (fd < 0) break;
        struct flock lock {};
        lock.l_type = F_RDLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = 0x10000001;
        lock.l_len = 1;
        const bool locked = ::fcntl(fd, F_SETLK, &lock) == 0;
        ::close(fd);
        // Only attempts made while the compaction was still under way count.
        if (!compacting()) break;
        ++attempts;
        if (locked) refused = false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(sawCompaction);
    EXPECT_GT(attempts, 0);
    EXPECT_TRUE(refused) << "a product could lock the database during its compaction";
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(inst.root / "err");
}

}  // namespace
}  // namespace dorvane
