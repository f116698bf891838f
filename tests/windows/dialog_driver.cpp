#include "tests/windows/dialog_driver.h"

#include "platform/ansi_text.h"

namespace dorvane::wintest {
namespace {

struct Search {
    const std::wstring* title;
    HWND except;
    bool anyProcess;
    HWND found;
};

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK FindDialog(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (!search->anyProcess && process != GetCurrentProcessId()) return TRUE;
    if (window == search->except || !IsWindowVisible(window)) return TRUE;
    if (ClassOf(window) != L"#32770") return TRUE;
    if (!search->title->empty() && TextOf(window) != *search->title) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM data) {
    auto* facts = reinterpret_cast<DialogFacts*>(data);
    if (!IsWindowVisible(child)) return TRUE;
    const std::wstring kind = ClassOf(child);
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    if (_wcsicmp(kind.c_str(), L"Button") == 0) {
        std::wstring caption;
        for (wchar_t c : TextOf(child)) {
            if (c != L'&') caption += c;
        }
        facts->buttons.push_back(caption);
    } else if (_wcsicmp(kind.c_str(), L"Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
            facts->hasIcon = facts->hasIcon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
        } else {
            facts->texts.push_back(TextOf(child));
        }
    }
    return TRUE;
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
    for (DWORD waited = 0; waited <= timeoutMs; waited += 20) {
        Search search{&title, except, anyProcess, nullptr};
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            Sleep(50);  // let it finish its initialisation
            return search.found;
        }
        Sleep(20);
    }
    return nullptr;
}

DialogFacts Describe(HWND dialog) {
    DialogFacts facts;
    facts.title = TextOf(dialog);
    facts.owner = GetWindow(dialog, GW_OWNER);
    EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&facts));
    return facts;
}

HWND FindButton(HWND dialog, const std::wstring& caption) {
    struct Wanted {
        const std::wstring* caption;
        HWND found;
    } wanted{&caption, nullptr};
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM data) -> BOOL {
            auto* w = reinterpret_cast<Wanted*>(data);
            std::wstring text;
            for (wchar_t c : TextOf(child)) {
                if (c != L'&') text += c;
            }
            if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0 && text == *w->caption) {
                w->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&wanted));
    return wanted.found;
}

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

bool WaitUntilClosed(HWND window, DWORD timeoutMs) {
    for (DWORD waited = 0; waited <= timeoutMs; waited += 20) {
        if (!IsWindow(window)) return true;
        Sleep(20);
    }
    return false;
}

}  // namespace dorvane::wintest
