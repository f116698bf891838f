#pragma once
// OpenFolder: choosing a folder with the platform's folder dialog.

#include <optional>
#include <string>

namespace dorvane::ui {

inline constexpr const char* kDefaultFolderTitle = "Select a folder.";

// The platform's folder chooser: shows the title, accepts only an existing
// file-system folder and returns its full path, or nothing when the user
// cancelled or the choice has no file-system path.
class FolderDialog {
public:
    virtual ~FolderDialog() = default;
    virtual std::optional<std::string> ChooseFolder(const std::string& title) = 0;
};

// The chosen folder's path exactly as the platform gives it (up to the first
// NUL), or WhenNone unchanged when no path was obtained. Without a Title the
// dialog reads "Select a folder.".
std::string BrowseForFolder(FolderDialog& dialog, const std::string& WhenNone,
                            const std::optional<std::string>& Title = std::nullopt);

}  // namespace dorvane::ui
