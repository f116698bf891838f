#pragma once
// Drives dialogs from the test as a user would: finds them, reads their
// controls and presses buttons. Every action is posted, so a handler that
// opens a modal box never blocks the driver.

#include <string>
#include <vector>

#include "platform/windows_api.h"

namespace dorvane::wintest {

// Polls `done` every 20 ms; false when it still fails after the timeout.
template <typename Done>
bool WaitFor(Done done, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= end) return false;
        Sleep(20);
    }
    return true;
}

inline bool WaitUntilClosed(HWND window, DWORD timeoutMs) {
    return WaitFor([&] { return !IsWindow(window); }, timeoutMs);
}

// Also for windows of another process.
inline std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                        &copied);
    text.resize(copied);
    return text;
}

// A visible dialog with the title (any title when empty) other than `except`.
inline HWND WaitForDialog(const std::wstring& title, DWORD timeoutMs, HWND except = nullptr) {
    HWND found = nullptr;
    WaitFor(
        [&] {
            for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"#32770", nullptr)) != nullptr;) {
                if (w != except && IsWindowVisible(w) && (title.empty() || TextOf(w) == title)) found = w;
            }
            return found != nullptr;
        },
        timeoutMs);
    if (found != nullptr) Sleep(50);  // let it finish its initialisation
    return found;
}

struct DialogFacts {
    std::vector<std::wstring> texts;    // visible static texts
    std::vector<std::wstring> buttons;  // button captions
    bool hasIcon = false;
    HWND owner = nullptr;
};

inline DialogFacts Describe(HWND dialog) {
    DialogFacts facts;
    facts.owner = GetWindow(dialog, GW_OWNER);
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t kind[16] = {};
        GetClassNameW(child, kind, 16);
        if (!IsWindowVisible(child)) continue;
        if (_wcsicmp(kind, L"Button") == 0) {
            facts.buttons.push_back(TextOf(child));
        } else if (_wcsicmp(kind, L"Static") != 0) {
            continue;
        } else if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            facts.hasIcon = facts.hasIcon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
        } else {
            facts.texts.push_back(TextOf(child));
        }
    }
    return facts;
}

inline void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

// Presses the dialog's button of that caption; false when it has none.
inline bool Press(HWND dialog, const std::wstring& caption) {
    HWND button = FindWindowExW(dialog, nullptr, L"Button", caption.c_str());
    if (button != nullptr) Click(button);
    return button != nullptr;
}

}  // namespace dorvane::wintest
