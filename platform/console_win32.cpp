#include "platform/console.h"

#include <cstdio>

#include "platform/windows_api.h"

namespace dorvane::platform {

void UseStartingConsole() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        static_cast<void>(std::freopen("CONOUT$", "w", stdout));  // if this fails, the text is lost
    }
}

}  // namespace dorvane::platform
