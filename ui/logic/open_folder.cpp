#include "ui/logic/open_folder.h"

namespace dorvane::ui {

std::string BrowseForFolder(FolderDialog& dialog, const std::string& WhenNone,
                            const std::optional<std::string>& Title) {
    const auto chosen = dialog.ChooseFolder(Title.value_or(kDefaultFolderTitle));
    if (!chosen) return WhenNone;
    return chosen->substr(0, chosen->find('\0'));
}

}  // namespace dorvane::ui
