#pragma once
// The interactive window of the program, drawn with Qt.

namespace dorvane {
class Runtime;
}

namespace dorvane::qtui {

// Shows frmAbout modally and returns when it closes. While it is open the
// operations' message boxes are Qt boxes. Returns false, after telling why on
// standard error, when no display is usable.
bool ShowMainWindow(dorvane::Runtime& rt);

}  // namespace dorvane::qtui
