// dorvane: backs up and optimises the products' databases. With "silent" on
// the command line it runs unattended for the product named there; without it
// it shows its window.

#include <clocale>
#include <string>
#include <vector>

#include "app/component_wiring.h"
#include "platform/system_clock.h"
#include "core/run_control.h"
#include "operations/run_sequence.h"
#include "core/message_boxes.h"
#include "core/runtime.h"
#include "engines/files/local_file_system.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");  // dates in the log follow the user's locale
    std::vector<std::string> arguments(argv + 1, argv + argc);

    auto settings = dorvane::MakeSettingsStore();
    dorvane::LocalFileSystem files;
    auto sql = dorvane::MakeSqlClient();
    dorvane::SilentMessageBoxes noBoxes;  // the window installs its own boxes
    dorvane::SystemClock clock;
    dorvane::Runtime rt(*settings, files, &dorvane::MakeFileDatabaseEngine, *sql, noBoxes, clock);
    return dorvane::Main(rt, dorvane::JoinArguments(arguments), dorvane::MakeShowWindow());
}
