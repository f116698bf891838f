#include <gtest/gtest.h>

#include "core/run_context.h"
#include "ui/logic/about_texts.h"

namespace dorvane::ui {
namespace {

TEST(AboutTexts, InfoShowsThreeSqlServerLinesOnlyForKindOne) {
    RunContext ctx;
    ctx.Dsn = "BreskDSN";
    ctx.DbaseName = "BreskData";
    ctx.SqlServerName = "SRV01\\SQLEXPRESS";
    ctx.DbKind = 1;
    EXPECT_EQ(InfoText(ctx),
              "DSN:   BreskDSN\r\nDbase:   BreskData\r\nServer:   SRV01\\SQLEXPRESS");
    for (int kind : {0, 2, 9, -1}) {
        ctx.DbKind = static_cast<std::int16_t>(kind);
        EXPECT_EQ(InfoText(ctx), "mdb database") << kind;
    }
}

TEST(AboutTexts, LogShowsBackupFolderAndLogFileOnFiveLines) {
    RunContext ctx;
    ctx.BackupPath = "D:\\Backups";
    ctx.AppPath = "C:\\Zentro\\Alveto";
    EXPECT_EQ(LogText(ctx),
              "Backup Path:\r\nD:\\Backups\r\n\r\nLog File:\r\nC:\\Zentro\\Alveto\\Dorvane_log.txt");
}

TEST(AboutTexts, VersionShowsMajorMinorAndRevision) {
    EXPECT_EQ(ProgramVersion(), "2.0.0.2");
    EXPECT_EQ(VersionText(ProgramVersion()), "Version 2.0.2");
    EXPECT_EQ(VersionText("3.10.5.17"), "Version 3.10.17");
    EXPECT_EQ(VersionText("4.1"), "Version 4.1.0");
    EXPECT_EQ(VersionText("x.1.2.y"), "Version 0.1.0");
}

}  // namespace
}  // namespace dorvane::ui
