// Stands in for the system information tool: records how it was started
// (its command line and the show-window request) in the file that
// DORVANE_PROBE_OUT names, then ends.

#include <cstdio>
#include <cstdlib>

#include "platform/windows_api.h"

int main() {
    const char* out = std::getenv("DORVANE_PROBE_OUT");
    if (out == nullptr) return 2;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    std::FILE* file = std::fopen(out, "wb");
    if (file == nullptr) return 3;
    std::fprintf(file, "flags=%lu show=%u\n%s", static_cast<unsigned long>(startup.dwFlags & STARTF_USESHOWWINDOW),
                 static_cast<unsigned>(startup.wShowWindow), GetCommandLineA());
    std::fclose(file);
    return 0;
}
