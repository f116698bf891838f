#pragma once
// The shell's folder-browsing dialog (SHBrowseForFolderW).

#include "ui/logic/open_folder.h"

namespace dorvane::win32ui {

class ShellFolderDialog final : public ui::FolderDialog {
public:
    // Without owner, starting at the top of the namespace, accepting only
    // file-system folders. Needs COM initialised on the calling thread.
    std::optional<std::string> ChooseFolder(const std::string& title) override;
};

}  // namespace dorvane::win32ui
