// dorvane: backs up and optimises the products' databases. With "silent" on
// the command line it runs unattended for the product named there; without it
// it shows its window. "--version" or "--help" alone print and end.

#include <clocale>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/component_wiring.h"
#include "platform/console.h"
#include "platform/heap.h"
#include "platform/system_clock.h"
#include "core/run_control.h"
#include "operations/run_sequence.h"
#include "core/message_boxes.h"
#include "core/runtime.h"
#include "engines/files/local_file_system.h"

namespace {

constexpr const char* kUsage =
    "Usage: dorvane /silent /PRODUCT    unattended run: no window, every step in the log\n"
    "       dorvane [/PRODUCT]          the window (for Alveto when no product is named)\n"
    "       dorvane --version | --help\n"
    "\n"
    "Compacts and backs up the databases of the Zentro products Alveto, Bresk and\n"
    "Cindral, with the paths and servers from the products' own settings.\n"
    "The product is found anywhere on the command line, without regard to case;\n"
    "an unattended run needs \"silent\" in small letters.\n"
    "\n"
    "Exit status:\n"
    "  0  every operation of the run succeeded\n"
    "  1  an operation failed (the log says which)\n"
    "  2  every operation succeeded, but a repair could not keep all the data\n"
    "     (the log says what was lost and where the damaged file is kept)\n";

// Only a command line of exactly "--version" or "--help" is answered here:
// any other keeps its meaning (a product named anywhere in it, "silent" for an
// unattended run), so that no scheduler's line can be taken for one of them.
// The answer is the exit status: 1 when the text could not be written.
std::optional<int> AnswerInformationRequest(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1 || (arguments[0] != "--version" && arguments[0] != "--help")) return std::nullopt;
    dorvane::platform::UseStartingConsole();
    std::fputs(arguments[0] == "--version" ? "dorvane " DORVANE_VERSION "\n" : kUsage, stdout);
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    dorvane::platform::SetUpHeap();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (const auto status = AnswerInformationRequest(arguments)) return *status;
    std::setlocale(LC_ALL, "");  // dates in the log follow the user's locale

    auto settings = dorvane::MakeSettingsStore();
    dorvane::LocalFileSystem files;
    auto sql = dorvane::MakeSqlClient();
    dorvane::SilentMessageBoxes noBoxes;  // the window installs its own boxes
    dorvane::SystemClock clock;
    dorvane::Runtime rt(*settings, files, &dorvane::MakeFileDatabaseEngine, *sql, noBoxes, clock);
    return dorvane::Main(rt, dorvane::JoinArguments(arguments), dorvane::MakeShowWindow(arguments));
}
