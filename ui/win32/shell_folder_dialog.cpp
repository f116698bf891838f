#include "ui/win32/shell_folder_dialog.h"

#include <cstring>

#include "platform/windows_api.h"
// windows_api.h first: shlobj.h needs the definitions of windows.h.
#include <shlobj.h>

namespace dorvane::win32ui {
namespace {

constexpr std::size_t kPathBufferSize = 512;

// The item list the dialog returns, freed with the shell's allocator.
class ItemList {
public:
    explicit ItemList(LPITEMIDLIST list) : list_(list) {}
    ~ItemList() {
        if (list_ != nullptr) CoTaskMemFree(list_);
    }
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;
    LPCITEMIDLIST get() const { return list_; }

private:
    LPITEMIDLIST list_;
};

}  // namespace

std::optional<std::string> ShellFolderDialog::ChooseFolder(const std::string& title) {
    BROWSEINFOA info{};
    info.hwndOwner = nullptr;
    info.pidlRoot = nullptr;
    info.pszDisplayName = nullptr;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = nullptr;
    info.lParam = 0;
    info.iImage = 0;
    const ItemList chosen(SHBrowseForFolderA(&info));

    std::string path(kPathBufferSize, ' ');
    // A cancelled dialog gives no list, which has no path either.
    if (chosen.get() == nullptr || !SHGetPathFromIDListA(chosen.get(), path.data())) {
        return std::nullopt;
    }
    path.resize(std::strlen(path.c_str()));  // the system ends the path with a NUL
    return path;
}

}  // namespace dorvane::win32ui
