#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/fakes.h"
#include "ui/qt/display_probe.h"
#include "ui/qt/show_window.h"

namespace dorvane::qtui {
namespace {

// The platform is probed in a child process, so one process can try them all.
TEST(NoDisplay, EachUnusableDisplayIsRefusedWithItsReasonInsteadOfAborting) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        // set after clearing all, what is said
        {nullptr, nullptr, "cannot show the window: no display is available"},
        {"DISPLAY", ":97", "the X display \":97\" could not be used"},  // no server there
        {"QT_QPA_PLATFORM", "no-such-platform", "the Qt platform \"no-such-platform\""},
    };
    for (const auto& [variable, value, reason] : cases) {
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
        if (variable != nullptr) setenv(variable, value, 1);
        testing::FakeWorld world;
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(ShowMainWindow(world.rt)) << reason;
        const std::string errors = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(errors.find(reason), std::string::npos) << errors;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    EXPECT_EQ(DisplayProblem(), std::nullopt);
}

}  // namespace
}  // namespace dorvane::qtui
