// Drives the window of a running dorvane.exe from outside, for the scripted
// interactive run:
//   window_driver wait   waits until the window is shown
//   window_driver run    presses Run and confirms every message box until
//                        the window has closed; prints each box's text
// Exit status 0 on success, 1 when the window did not appear or close.

#include <cstdio>
#include <cstring>

#include "core/ansi_text.h"
#include "tests/windows/dialog_driver.h"
#include "ui/win32/about_window_ids.h"

using namespace dorvane::wintest;

int main(int argc, char** argv) {
    const bool run = argc == 2 && std::strcmp(argv[1], "run") == 0;
    if (argc != 2 || (!run && std::strcmp(argv[1], "wait") != 0)) {
        std::fputs("usage: window_driver wait|run\n", stderr);
        return 2;
    }
    HWND window = WaitForDialog(L"Zentro Software Ltd", 60000, nullptr, true);
    if (window == nullptr) {
        std::fputs("window_driver: the window did not appear\n", stderr);
        return 1;
    }
    if (!run) {
        Sleep(500);  // let it paint
        return 0;
    }
    Click(GetDlgItem(window, dorvane::win32ui::ControlId("cmdRun")));
    const bool closed = WaitFor(
        [&] {
            if (HWND box = WaitForDialog(L"", 200, window, true)) {
                const DialogFacts facts = Describe(box);
                std::printf("box: %s\n", facts.texts.empty() ? "" : dorvane::AnsiFromWide(facts.texts.back()).c_str());
                std::fflush(stdout);
                Click(FindButton(box, L"OK"));
                WaitUntilClosed(box, 10000);
            }
            return !IsWindow(window);
        },
        300000);
    if (!closed) std::fputs("window_driver: the window did not close after Run\n", stderr);
    return closed ? 0 : 1;
}
