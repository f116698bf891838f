#include "ui/qt/show_window.h"

#include <QApplication>
#include <cstdio>
#include <exception>
#include <memory>

#include "core/runtime.h"
#include "ui/logic/about_form.h"
#include "ui/logic/posix_platform.h"
#include "ui/qt/about_dialog.h"
#include "ui/qt/display_probe.h"
#include "ui/qt/qt_folder_dialog.h"
#include "ui/qt/qt_message_boxes.h"

namespace dorvane::qtui {
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

void RunWindow(Runtime& rt) {
    QtMessageBoxes boxes;
    const InstalledBoxes installed(rt, boxes);
    AboutDialog dialog;
    QtFolderDialog folders(&dialog);
    ui::PosixRegistry registry;
    ui::PosixProgramStarter starter;
    ui::AboutForm form(rt, dialog, folders, ui::SysInfoTools{registry, starter});
    dialog.Bind(form);
    form.Form_Load();
    dialog.exec();
}

}  // namespace

bool ShowMainWindow(Runtime& rt) {
    std::unique_ptr<QApplication> ownApplication;
    if (QCoreApplication::instance() == nullptr) {
        if (const auto problem = DisplayProblem()) {
            std::fprintf(stderr, "dorvane: cannot show the window: %s\n", problem->c_str());
            return false;
        }
        static int argc = 1;
        static char name[] = "dorvane";
        static char* argv[] = {name, nullptr};
        ownApplication = std::make_unique<QApplication>(argc, argv);
    } else if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        std::fprintf(stderr,
                     "dorvane: cannot show the window: this process runs without a "
                     "graphical application object\n");
        return false;
    }
    try {
        RunWindow(rt);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "dorvane: the window failed: %s\n", error.what());
        return false;
    }
    return true;
}

}  // namespace dorvane::qtui
