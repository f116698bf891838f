#include <unistd.h>

#include <cstdio>

#include "platform/process.h"
#include "platform/system_error.h"

namespace dorvane::platform {

std::filesystem::path OwnProgramFile() {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self;
}

Error ReplaceProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    std::string name = program.string();
    argv.push_back(name.data());
    std::vector<std::string> copies(arguments);
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::fflush(nullptr);  // nothing written so far may be lost with this process
    ::execv(program.c_str(), argv.data());
    return SystemError(LastOsError(), program, "start");
}

}  // namespace dorvane::platform
