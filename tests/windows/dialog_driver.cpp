#include "tests/windows/dialog_driver.h"

#include "core/ansi_text.h"

namespace dorvane::wintest {
namespace {

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

bool IsClass(HWND window, const wchar_t* name) { return _wcsicmp(ClassOf(window).c_str(), name) == 0; }

std::wstring Caption(HWND button) {
    std::wstring caption;
    for (wchar_t c : TextOf(button)) {
        if (c != L'&') caption += c;
    }
    return caption;
}

std::vector<HWND> VisibleChildren(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM list) -> BOOL {
            if (IsWindowVisible(child)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

struct Search {
    const std::wstring& title;
    HWND except;
    bool anyProcess;
    HWND found = nullptr;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if ((!search->anyProcess && process != GetCurrentProcessId()) || window == search->except ||
        !IsWindowVisible(window) || ClassOf(window) != L"#32770" ||
        (!search->title.empty() && TextOf(window) != search->title)) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

}  // namespace

std::wstring Wide(const std::string& text) { return WideFromAnsi(text); }

std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                        5000, &copied);
    text.resize(copied);
    return text;
}

HWND WaitForDialog(const std::wstring& title, DWORD timeoutMs, HWND except, bool anyProcess) {
    Search search{title, except, anyProcess};
    WaitFor([&] { return !EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search)) && search.found; }, timeoutMs);
    if (search.found != nullptr) Sleep(50);  // let it finish its initialisation
    return search.found;
}

DialogFacts Describe(HWND dialog) {
    DialogFacts facts;
    facts.owner = GetWindow(dialog, GW_OWNER);
    for (HWND child : VisibleChildren(dialog)) {
        if (IsClass(child, L"Button")) {
            facts.buttons.push_back(Caption(child));
        } else if (IsClass(child, L"Static")) {
            if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) facts.texts.push_back(TextOf(child));
            else facts.hasIcon = facts.hasIcon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
        }
    }
    return facts;
}

HWND FindButton(HWND dialog, const std::wstring& caption) {
    for (HWND child : VisibleChildren(dialog)) {
        if (IsClass(child, L"Button") && Caption(child) == caption) return child;
    }
    return nullptr;
}

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

bool WaitUntilClosed(HWND window, DWORD timeoutMs) {
    return WaitFor([&] { return !IsWindow(window); }, timeoutMs);
}

}  // namespace dorvane::wintest
