#pragma once
// Drives the dialogs of this process (or of another) from a second thread, as
// a user would: finds them, reads their controls and presses buttons. Every
// action is posted, so a handler that opens a modal box never blocks the
// driver.

#include <string>
#include <vector>

#include "core/windows_api.h"

namespace dorvane::wintest {

struct DialogFacts {
    std::vector<std::wstring> texts;    // visible static texts
    std::vector<std::wstring> buttons;  // button captions, without "&"
    bool hasIcon = false;
    HWND owner = nullptr;
};

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

// A visible dialog of this process (of any process when anyProcess) with the
// given title (any title when empty) other than `except`; nullptr after the
// timeout.
HWND WaitForDialog(const std::wstring& title, DWORD timeoutMs, HWND except = nullptr, bool anyProcess = false);
DialogFacts Describe(HWND dialog);
std::wstring TextOf(HWND window);
HWND FindButton(HWND dialog, const std::wstring& caption);
void Click(HWND button);
bool WaitUntilClosed(HWND window, DWORD timeoutMs);
std::wstring Wide(const std::string& text);

}  // namespace dorvane::wintest
