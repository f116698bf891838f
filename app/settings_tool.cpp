// dorvane-settings: lists, reads and writes the products' settings in the
// current user's settings store, as a registry editor would on Windows.

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "core/settings/ini_settings_store.h"

namespace {

constexpr const char* kUsage =
    "Usage: dorvane-settings COMMAND [ARGUMENTS]\n"
    "\n"
    "Reads and writes the per-user settings of the Zentro products, which dorvane\n"
    "takes its paths and server names from.\n"
    "\n"
    "Commands:\n"
    "  list [APP]                     every setting, or those of one product\n"
    "  get APP SECTION KEY            the value; exit status 1 when the key is absent\n"
    "  set APP SECTION KEY VALUE      store a value, creating product and section\n"
    "  delete APP SECTION KEY         remove a value; exit status 1 when absent\n"
    "  path                           the file that holds the settings\n"
    "  --version                      the program's version\n"
    "\n"
    "Names are matched without regard to letter case. Example:\n"
    "  dorvane-settings set Bresk Locations APPPATH 'C:\\Zentro\\Bresk'\n"
    "  dorvane-settings set Bresk TitleBar sqlver 0\n"
    "\n"
    "The store is $XDG_CONFIG_HOME/dorvane/settings.ini (default ~/.config/...).\n";

// Exit statuses: 1 for a key that is absent, 2 for every other failure.
constexpr int kAbsent = 1;
constexpr int kError = 2;

int Fail(const std::string& message, int status) {
    std::cerr << "dorvane-settings: " << message << "\n";
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "--version" && args.size() == 1) {
        std::cout << "dorvane-settings " DORVANE_VERSION "\n";
        return 0;
    }
    dorvane::IniSettingsStore store(dorvane::IniSettingsStore::DefaultPath());
    const std::size_t operands = args.size() - 1;

    if (command == "path" && operands == 0) {
        std::cout << store.path().string() << "\n";
        return 0;
    }
    if (command == "list" && operands <= 1) {
        std::optional<std::string_view> app;
        if (operands == 1) app = args[1];
        for (const auto& e : store.List(app)) {
            std::cout << e.application << "\\" << e.section << "\\" << e.key << " = "
                      << dorvane::ini::EncodeValue(e.value) << "\n";
        }
        return 0;
    }
    if (command == "get" && operands == 3) {
        const auto value = store.Read(args[1], args[2], args[3]);
        if (!value) return Fail("no setting " + args[1] + "\\" + args[2] + "\\" + args[3], kAbsent);
        std::cout << *value << "\n";
        return 0;
    }
    if (command == "set" && operands == 4) {
        const char* kinds[] = {"product", "section", "key"};
        for (std::size_t i = 0; i < 3; ++i) {
            const std::string problem = dorvane::ini::NameProblem(args[i + 1], i == 0);
            if (!problem.empty())
                return Fail("'" + args[i + 1] + "' cannot be a " + kinds[i] + " name: " + problem, kError);
        }
        if (!store.Write(args[1], args[2], args[3], args[4]))
            return Fail("cannot save to " + store.path().string(), kError);
        return 0;
    }
    if (command == "delete" && operands == 3) {
        if (!store.Delete(args[1], args[2], args[3])) {
            // Delete answers false both for an absent key and for a file it could not save.
            if (store.Read(args[1], args[2], args[3])) return Fail("cannot save to " + store.path().string(), kError);
            return Fail("no setting " + args[1] + "\\" + args[2] + "\\" + args[3] + " to delete", kAbsent);
        }
        return 0;
    }
    std::cerr << "dorvane-settings: wrong command or number of arguments\n\n" << kUsage;
    return 2;
}
