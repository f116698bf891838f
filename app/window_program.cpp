#include "app/window_program.h"

#include <cstdio>

#include "core/error.h"
#include "core/runtime.h"
#include "platform/process.h"

namespace dorvane {

ShowWindowFn HandOverToWindowProgram(std::vector<std::string> arguments) {
    return [arguments = std::move(arguments)](Runtime& rt) {
        // Where it is installed relative to this program: the same in the
        // build folder and under any prefix.
        const std::filesystem::path window =
            (platform::OwnProgramFile().parent_path() / DORVANE_WINDOW_FROM_PROGRAM).lexically_normal();
        const Error failure = platform::ReplaceProcess(window, arguments);
        if (failure.number() == errc::kFileNotFound || failure.number() == errc::kPathNotFound) {
            std::fprintf(stderr,
                         "dorvane: the window is not installed; it comes with the package dorvane-window "
                         "(apt-get install dorvane-window). An unattended run needs none: dorvane /silent /%s\n",
                         rt.ctx.Product.c_str());
        } else {
            std::fprintf(stderr, "dorvane: the window cannot be started: %s\n", failure.what());
        }
        return false;
    };
}

}  // namespace dorvane
