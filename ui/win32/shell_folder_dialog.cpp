#include "ui/win32/shell_folder_dialog.h"

#include <cwchar>

#include "platform/windows_api.h"
// windows_api.h first: shlobj.h needs the definitions of windows.h.
#include <shlobj.h>

#include "platform/wide_text.h"

namespace dorvane::win32ui {
namespace {

// More than the MAX_PATH characters the shell may write.
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
    const std::wstring wideTitle = WideFromUtf8(title);
    BROWSEINFOW info{};
    info.hwndOwner = nullptr;
    info.pidlRoot = nullptr;
    info.pszDisplayName = nullptr;
    info.lpszTitle = wideTitle.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = nullptr;
    info.lParam = 0;
    info.iImage = 0;
    const ItemList chosen(SHBrowseForFolderW(&info));

    std::wstring path(kPathBufferSize, L'\0');
    // A cancelled dialog gives no list, which has no path either.
    if (chosen.get() == nullptr || !SHGetPathFromIDListW(chosen.get(), path.data())) {
        return std::nullopt;
    }
    path.resize(std::wcslen(path.c_str()));  // the system ends the path with a NUL
    return Utf8FromWide(path);
}

}  // namespace dorvane::win32ui
