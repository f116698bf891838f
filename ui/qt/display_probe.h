#pragma once
// Whether Qt can show a window here. Qt ends the process when its platform
// plugin cannot start, so this is decided before any application object.

#include <optional>
#include <string>

namespace dorvane::qtui {

// Why no window can be shown, or nothing when a display is usable.
std::optional<std::string> DisplayProblem();

}  // namespace dorvane::qtui
