#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "core/runtime.h"
#include "engines/unavailable_components.h"
#include "fakes.h"
#include "ui/qt/display_probe.h"
#include "ui/qt/show_window.h"

namespace dorvane::qtui {
namespace {

class NoDisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
    }

    // ShowMainWindow's answer, and what it wrote to standard error.
    std::pair<bool, std::string> Show() {
        test::Journal journal;
        test::MemorySettings settings(journal);
        test::MemoryFiles files;
        auto sql = MakeUnavailableSqlClient();
        SilentMessageBoxes boxes;
        test::FixedClock clock;
        Runtime rt(settings, files, &MakeUnavailableFileDatabaseEngine, *sql, boxes, clock);
        ::testing::internal::CaptureStderr();
        const bool shown = ShowMainWindow(rt);
        return {shown, ::testing::internal::GetCapturedStderr()};
    }
};

TEST_F(NoDisplayTest, WithoutAnyDisplayTheWindowIsRefusedWithAReason) {
    const auto [shown, errors] = Show();
    EXPECT_FALSE(shown);
    EXPECT_NE(errors.find("cannot show the window: no display is available"), std::string::npos)
        << errors;
}

TEST_F(NoDisplayTest, UnreachableDisplayIsRefusedInsteadOfAborting) {
    setenv("DISPLAY", ":97", 1);  // no server answers there
    const auto [shown, errors] = Show();
    EXPECT_FALSE(shown);
    EXPECT_NE(errors.find("the X display \":97\" could not be used"), std::string::npos) << errors;
}

TEST_F(NoDisplayTest, UnknownPlatformPluginIsRefused) {
    setenv("QT_QPA_PLATFORM", "no-such-platform", 1);
    const auto [shown, errors] = Show();
    EXPECT_FALSE(shown);
    EXPECT_NE(errors.find("the Qt platform \"no-such-platform\""), std::string::npos) << errors;
}

TEST_F(NoDisplayTest, OffscreenPlatformIsUsable) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    EXPECT_EQ(DisplayProblem(), std::nullopt);
}

}  // namespace
}  // namespace dorvane::qtui
