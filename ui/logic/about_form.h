#pragma once
// frmAbout: the program's one window, as handlers over a view. The handlers
// keep no state of their own; everything lives in the run context and the
// product settings.

#include <functional>
#include <string>

#include "ui/logic/sys_info.h"

namespace dorvane {
class Runtime;
}

namespace dorvane::ui {

class AboutView;
class FolderDialog;

// The operations the window calls. Defaults are the program's own; tests
// replace them.
struct WindowOperations {
    std::function<void(Runtime&)> runMaintenance;
    std::function<void(Runtime&)> writeScheduleBatch;
    std::function<std::string(Runtime&)> lookupDocumentPath;

    static WindowOperations Program();
};

// Where the System Info button finds and starts the tool.
struct SysInfoTools {
    Registry& registry;
    ProgramStarter& starter;
};

inline constexpr const char* kBackupFolderTitle = "Select Backup Folder";
inline constexpr const char* kNotSetUpMessage = "Operation Failed. Registry error";

class AboutForm {
public:
    AboutForm(Runtime& rt, AboutView& view, FolderDialog& folders, SysInfoTools sysInfo,
              WindowOperations operations = WindowOperations::Program());

    void Form_Load();
    void cmbType_Click();
    void cmdPath_Click();
    void cmdRun_Click();
    void cmdOK_Click();
    void cmdSysInfo_Click();

    void StartSysInfo();

private:
    Runtime& rt_;
    AboutView& view_;
    FolderDialog& folders_;
    SysInfoTools sysInfo_;
    WindowOperations ops_;
};

}  // namespace dorvane::ui
