// Drives the window of a running dorvane.exe from outside, for the scripted
// interactive run:
//   window_driver wait   waits until the window is shown
//   window_driver run    presses Run and confirms every message box until
//                        the window has closed; prints each box's text
// Exit status 0 on success, 1 when the window did not appear or close.

#include <cstdio>
#include <cstring>

#include "platform/ansi_text.h"
#include "tests/windows/dialog_driver.h"

namespace {

using namespace dorvane::wintest;

const std::wstring kCaption = L"Zentro Software Ltd";
constexpr DWORD kAppearTimeoutMs = 60000;
constexpr DWORD kRunTimeoutMs = 300000;

int Run(HWND window) {
    Click(GetDlgItem(window, 1006));  // cmdRun
    for (DWORD waited = 0; IsWindow(window); waited += 200) {
        if (waited > kRunTimeoutMs) return 1;
        if (HWND box = WaitForDialog(L"", 200, window, true)) {
            const DialogFacts facts = Describe(box);
            const std::string text = facts.texts.empty() ? "" : dorvane::AnsiFromWide(facts.texts.back());
            std::printf("box: %s\n", text.c_str());
            std::fflush(stdout);
            Click(FindButton(box, L"OK"));
            WaitUntilClosed(box, 10000);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || (std::strcmp(argv[1], "wait") != 0 && std::strcmp(argv[1], "run") != 0)) {
        std::fputs("usage: window_driver wait|run\n", stderr);
        return 2;
    }
    HWND window = WaitForDialog(kCaption, kAppearTimeoutMs, nullptr, true);
    if (window == nullptr) {
        std::fputs("window_driver: the window did not appear\n", stderr);
        return 1;
    }
    if (std::strcmp(argv[1], "wait") == 0) {
        Sleep(500);  // let it paint
        return 0;
    }
    const int status = Run(window);
    if (status != 0) std::fputs("window_driver: the window did not close after Run\n", stderr);
    return status;
}
