#include "ui/win32/show_window.h"

#include <cstdio>
#include <exception>

#include "core/runtime.h"
#include "platform/windows_api.h"
// windows_api.h first: the shell and common-control headers need it.
#include <commctrl.h>
#include <objbase.h>

#include "ui/logic/about_form.h"
#include "ui/win32/about_window.h"
#include "ui/win32/shell_folder_dialog.h"
#include "ui/win32/win32_message_boxes.h"
#include "ui/win32/win32_program_starter.h"
#include "ui/win32/win32_registry.h"

namespace dorvane::win32ui {
namespace {

// Puts the window's boxes into the runtime and gives back the earlier ones.
class InstalledBoxes {
public:
    InstalledBoxes(Runtime& rt, MessageBoxes& boxes) : rt_(rt), earlier_(rt.boxes) { rt_.boxes = &boxes; }
    ~InstalledBoxes() { rt_.boxes = earlier_; }
    InstalledBoxes(const InstalledBoxes&) = delete;
    InstalledBoxes& operator=(const InstalledBoxes&) = delete;

private:
    Runtime& rt_;
    MessageBoxes* earlier_;
};

// The folder dialog needs COM in a single-threaded apartment on this thread.
class ComApartment {
public:
    ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (initialised_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised_;
};

}  // namespace

bool ShowMainWindow(Runtime& rt) {
    Win32MessageBoxes boxes;
    try {
        const ComApartment com;
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        const InstalledBoxes installed(rt, boxes);
        AboutWindow window;
        ShellFolderDialog folders;
        Win32Registry registry;
        Win32ProgramStarter starter;
        ui::AboutForm form(rt, window, folders, ui::SysInfoTools{registry, starter});
        window.Run(form, boxes);
    } catch (const std::exception& error) {
        const std::string text = std::string("The window failed: ") + error.what();
        std::fprintf(stderr, "dorvane: %s\n", text.c_str());
        boxes.Show(text, BoxIcon::Critical, "Zentro Software Ltd");
        return false;
    }
    return true;
}

}  // namespace dorvane::win32ui
