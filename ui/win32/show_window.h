#pragma once
// The interactive window of the program, drawn with Win32 controls.

namespace dorvane {
class Runtime;
}

namespace dorvane::win32ui {

// Shows frmAbout modally and returns when it closes. While it is open the
// operations' message boxes are system boxes owned by it. Returns false,
// after telling why, when the window cannot be shown.
bool ShowMainWindow(dorvane::Runtime& rt);

}  // namespace dorvane::win32ui
