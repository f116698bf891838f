#pragma once
// On POSIX the window is a program of its own, dorvane-window, which the
// package of that name installs (under libexec, beside nothing a user calls),
// so that dorvane and its package need no toolkit. A dorvane built without a
// window hands an interactive run over to it.

#include <string>
#include <vector>

#include "operations/run_sequence.h"

namespace dorvane {

// Replaces this process by the window program, started with the same
// arguments; when there is none, says which package brings it.
ShowWindowFn HandOverToWindowProgram(std::vector<std::string> arguments);

}  // namespace dorvane
