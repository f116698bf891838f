#include "ui/qt/display_probe.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

namespace dorvane::qtui {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Starts the platform plugin in a child process; true when it came up.
bool PlatformStarts() {
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child < 0) return true;  // cannot tell: let Qt try
    if (child == 0) {
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        int argc = 1;
        char name[] = "dorvane";
        char* argv[] = {name, nullptr};
        const QApplication probe(argc, argv);
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::optional<std::string> DisplayProblem() {
    const std::string platform = Environment("QT_QPA_PLATFORM");
    const std::string x11 = Environment("DISPLAY");
    const std::string wayland = Environment("WAYLAND_DISPLAY");
    if (platform.empty() && x11.empty() && wayland.empty()) {
        return "no display is available (DISPLAY and WAYLAND_DISPLAY are not set). Start it in a "
               "desktop session, or run the maintenance unattended with: dorvane /silent /<product>";
    }
    if (!PlatformStarts()) {
        std::string where = !platform.empty()  ? "the Qt platform \"" + platform + "\""
                            : !wayland.empty() ? "the Wayland display \"" + wayland + "\""
                                               : "the X display \"" + x11 + "\"";
        return where +
               " could not be used (see the messages above). Check the display, or run "
               "the maintenance unattended with: dorvane /silent /<product>";
    }
    return std::nullopt;
}

}  // namespace dorvane::qtui
