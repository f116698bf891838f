#pragma once
// Control identifiers of the window: 1000 plus the control's tab index.

namespace dorvane::win32ui {

inline constexpr int kIdCmdOK = 1000;
inline constexpr int kIdPicIcon = 1001;
inline constexpr int kIdCmdSysInfo = 1002;
inline constexpr int kIdLblDescription = 1003;
inline constexpr int kIdLblInfo = 1004;
inline constexpr int kIdLblVersion = 1005;
inline constexpr int kIdCmdRun = 1006;
inline constexpr int kIdLblLog = 1007;
inline constexpr int kIdCmbType = 1008;
inline constexpr int kIdLblTitle = 1009;
inline constexpr int kIdCmdPath = 1010;

// The program icon in the executable's resources.
inline constexpr int kIdProgramIcon = 1;

}  // namespace dorvane::win32ui
