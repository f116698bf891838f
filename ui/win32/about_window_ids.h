#pragma once
// Control identifiers of the window: 1000 plus the control's tab index.

#include <string_view>

#include "ui/logic/window_layout.h"

namespace dorvane::win32ui {

constexpr int ControlId(std::string_view name) { return 1000 + ui::ControlNamed(name).tab_index; }

// The program icon in the executable's resources.
inline constexpr int kIdProgramIcon = 1;

}  // namespace dorvane::win32ui
