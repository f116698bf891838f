#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "core/runtime.h"
#include "app/unavailable_components.h"
#include "fakes.h"
#include "ui/qt/display_probe.h"
#include "ui/qt/show_window.h"

namespace dorvane::qtui {
namespace {

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

// The platform is probed in a child process, so one process can try them all.
TEST(NoDisplay, EachUnusableDisplayIsRefusedWithItsReasonInsteadOfAborting) {
    const struct {
        const char* variable;  // set to `value` after clearing all three
        const char* value;
        const char* reason;
    } cases[] = {
        {nullptr, nullptr, "cannot show the window: no display is available"},
        {"DISPLAY", ":97", "the X display \":97\" could not be used"},  // no server there
        {"QT_QPA_PLATFORM", "no-such-platform", "the Qt platform \"no-such-platform\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
        if (c.variable != nullptr) setenv(c.variable, c.value, 1);
        const auto [shown, errors] = Show();
        EXPECT_FALSE(shown);
        EXPECT_NE(errors.find(c.reason), std::string::npos) << errors;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    EXPECT_EQ(DisplayProblem(), std::nullopt);
}

}  // namespace
}  // namespace dorvane::qtui
