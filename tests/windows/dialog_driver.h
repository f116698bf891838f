#pragma once
// Drives the dialogs of this process from a second thread, as a user would:
// finds them, reads their controls and clicks buttons with BM_CLICK. Every
// action is posted, so a handler that opens a modal box never blocks the
// driver.

#include <string>
#include <vector>

#include "platform/windows_api.h"

namespace dorvane::wintest {

struct DialogFacts {
    std::wstring title;
    std::vector<std::wstring> texts;    // visible static texts
    std::vector<std::wstring> buttons;  // button captions, without "&"
    bool hasIcon = false;
    HWND owner = nullptr;
};

// A visible dialog of this process (of any process when anyProcess) with the
// given title (any title when empty) other than `except`; nullptr after the
// timeout.
HWND WaitForDialog(const std::wstring& title, DWORD timeoutMs, HWND except = nullptr,
                   bool anyProcess = false);
DialogFacts Describe(HWND dialog);
std::wstring TextOf(HWND window);
HWND FindButton(HWND dialog, const std::wstring& caption);
void Click(HWND button);
// Waits until the window is gone; false after the timeout.
bool WaitUntilClosed(HWND window, DWORD timeoutMs);
// Waits until the control's text satisfies the test; its last text.
template <typename Test>
std::wstring WaitForText(HWND control, Test test, DWORD timeoutMs) {
    std::wstring text = TextOf(control);
    for (DWORD waited = 0; !test(text) && waited < timeoutMs; waited += 20) {
        Sleep(20);
        text = TextOf(control);
    }
    return text;
}

std::wstring Wide(const std::string& text);

}  // namespace dorvane::wintest
