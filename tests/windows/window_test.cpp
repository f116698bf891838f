// The Win32 window, shown modally on the test's thread and driven from a
// second thread with clicks and keys, as a user would drive it.

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <sstream>

#include "platform/system_clock.h"
#include "core/run_control.h"
#include "operations/run_sequence.h"
#include "core/runtime.h"
#include "core/settings/registry_settings_store.h"
#include "engines/files/local_file_system.h"
#include "app/unavailable_components.h"
#include "tests/windows/dialog_driver.h"
#include "platform/native_path.h"
#include "tests/support/temp_dir.h"
#include "ui/win32/about_window_ids.h"
#include "ui/win32/show_window.h"
#include "ui/win32/twips.h"

namespace dorvane {
namespace {

using namespace wintest;
using namespace win32ui;

const std::wstring kCaption = L"Zentro Software Ltd";

std::string ReadFile(const std::string& path) {
    std::ifstream in(std::filesystem::path(Wide(path)), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Confirms whatever boxes are open and closes the window.
void ForceClose(HWND window) {
    for (int i = 0; i < 100 && IsWindow(window); ++i) {
        if (HWND box = WaitForDialog(L"", 100, window)) {
            if (HWND ok = FindButton(box, L"OK")) Click(ok);
            else PostMessageW(box, WM_CLOSE, 0, 0);
        }
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
}

class WindowTest : public ::testing::Test {
protected:
    WindowTest()
        : base_(std::string("Software\\Dorvane tests\\") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name()),
          store_(base_),
          engine_factory_([] { return MakeUnavailableFileDatabaseEngine(); }),
          sql_(MakeUnavailableSqlClient()),
          rt_(store_, files_, engine_factory_, *sql_, noBoxes_, clock_) {
        RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str());
        app_ = PathText(dir_ / "app");
        backups_ = PathText(dir_ / "backups");
        CreateDirectoryA(app_.c_str(), nullptr);
        store_.Write("Bresk", "TitleBar", "sqlver", "0");
        store_.Write("Bresk", "Locations", "APPPATH", app_);
        store_.Write("Bresk", "Locations", "BKpath", backups_);
        ParseCommandLine(rt_.ctx, "/Bresk");
    }
    ~WindowTest() override { RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str()); }

    // Runs the window here while `drive` works it from another thread; if
    // the driver gives up, the window is closed so the test ends.
    bool ShowDriven(const std::function<void(HWND)>& drive) {
        auto driver = std::async(std::launch::async, [&] {
            HWND window = WaitForDialog(kCaption, 20000);
            if (window == nullptr) return;
            drive(window);
            if (IsWindow(window) && !WaitUntilClosed(window, 10000)) {
                ADD_FAILURE() << "the window did not close";
                ForceClose(window);
            }
        });
        const bool shown = ShowMainWindow(rt_);
        driver.get();
        return shown;
    }

    std::string base_;
    testing::TempDir dir_;
    std::string app_, backups_;
    RegistrySettingsStore store_;
    LocalFileSystem files_;
    Runtime::EngineFactory engine_factory_;
    std::unique_ptr<SqlClient> sql_;
    SilentMessageBoxes noBoxes_;
    SystemClock clock_;
    Runtime rt_;
};

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

RECT ClientRectOf(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST_F(WindowTest, ShowsTheProductLaidOutInTwipsWithFocusOnCancelAndTabOrder) {
    const bool shown = ShowDriven([&](HWND window) {
        auto item = [&](int id) { return GetDlgItem(window, id); };
        EXPECT_EQ(TextOf(item(kIdLblTitle)), L"Dorvane for:");
        EXPECT_EQ(TextOf(item(kIdLblDescription)), L"Backup and optimize Zentro products");
        EXPECT_EQ(TextOf(item(kIdLblVersion)), L"Version 2.0.2");
        EXPECT_EQ(TextOf(item(kIdLblInfo)), L"mdb database");
        EXPECT_EQ(TextOf(item(kIdLblLog)),
                  Wide("Backup Path:\r\n" + backups_ + "\r\n\r\nLog File:\r\n" + app_ + "\\Dorvane_log.txt"));
        EXPECT_EQ(TextOf(item(kIdCmbType)), L"Bresk");
        EXPECT_EQ(TextOf(item(kIdCmdSysInfo)), L"&System Info...");

        const int dpi = ScreenDpi();
        RECT client;
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, TwipsToPixels(5715, dpi));
        EXPECT_EQ(client.bottom, TwipsToPixels(4350, dpi));
        const PixelRect run = TwipsRect(4080, 960, 1335, 375, dpi);
        const RECT runRect = ClientRectOf(item(kIdCmdRun));
        EXPECT_EQ(runRect.left, run.left);
        EXPECT_EQ(runRect.top, run.top);
        EXPECT_EQ(runRect.right - runRect.left, run.width);
        EXPECT_EQ(runRect.bottom - runRect.top, run.height);
        const RECT logRect = ClientRectOf(item(kIdLblLog));
        EXPECT_EQ(logRect.top, TwipsToPixels(2760, dpi));
        const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
        EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);

        GUITHREADINFO focus{};
        focus.cbSize = sizeof focus;
        GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &focus);
        EXPECT_EQ(focus.hwndFocus, item(kIdCmdOK));
        std::vector<int> order;
        HWND at = item(kIdCmdOK);
        for (int i = 0; i < 5; ++i) {
            at = GetNextDlgTabItem(window, at, FALSE);
            order.push_back(GetDlgCtrlID(at));
        }
        EXPECT_EQ(order, (std::vector<int>{kIdCmdSysInfo, kIdCmdRun, kIdCmbType, kIdCmdPath, kIdCmdOK}));

        // Enter with the focus on Cancel presses Cancel: nothing runs.
        PostMessageW(item(kIdCmdOK), WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(item(kIdCmdOK), WM_KEYUP, VK_RETURN, 0);
    });
    EXPECT_TRUE(shown);
    EXPECT_FALSE(files_.Exists(app_ + "\\Dorvane.bat"));
    EXPECT_FALSE(files_.Exists(app_ + "\\Dorvane_log.txt"));
    EXPECT_EQ(store_.Read("Bresk", "Locations", "BKpath"), backups_);  // saved while loading
}

TEST_F(WindowTest, EscAndEnterPressRunWhichWarnsWhenNotSetUpThenRunsAndClosesForAnother) {
    std::vector<std::wstring> boxTexts;
    const bool shown = ShowDriven([&](HWND window) {
        HWND combo = GetDlgItem(window, kIdCmbType);
        HWND log = GetDlgItem(window, kIdLblLog);
        const std::wstring breskLog = TextOf(log);

        // Alveto has no settings here: not set up.
        SendMessageW(combo, CB_SETCURSEL, 0, 0);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(kIdCmbType, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
        WaitForText(log, [&](const std::wstring& t) { return t != breskLog; }, 5000);
        EXPECT_EQ(TextOf(GetDlgItem(window, kIdLblInfo)), L"mdb database");

        // Esc presses Run wherever the focus is; Enter does so too once the
        // focus is on a control that is no push button.
        auto pressRunBy = [&](HWND target, WPARAM key, const char* how) {
            PostMessageW(target, WM_KEYDOWN, key, 0);
            HWND box = WaitForDialog(kCaption, 10000, window);
            ASSERT_NE(box, nullptr) << how << " did not press Run";
            const DialogFacts facts = Describe(box);
            ASSERT_FALSE(facts.texts.empty());
            EXPECT_EQ(facts.texts.back(), L"Operation Failed. Registry error");
            EXPECT_TRUE(facts.hasIcon);
            EXPECT_EQ(facts.owner, window);
            EXPECT_EQ(facts.buttons, std::vector<std::wstring>{L"OK"});
            Click(FindButton(box, L"OK"));
            ASSERT_TRUE(WaitUntilClosed(box, 5000));
            Sleep(200);
            EXPECT_TRUE(IsWindowVisible(window)) << "the window must stay open";
        };
        pressRunBy(GetDlgItem(window, kIdCmdOK), VK_ESCAPE, "Esc");
        PostMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(combo), TRUE);
        pressRunBy(combo, VK_RETURN, "Enter");

        SendMessageW(combo, CB_SETCURSEL, 1, 0);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(kIdCmbType, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
        WaitForText(log, [&](const std::wstring& t) { return t == breskLog; }, 5000);
        Click(GetDlgItem(window, kIdCmdRun));
        // Every operation reports with a box; each is confirmed.
        while (IsWindow(window)) {
            if (HWND next = WaitForDialog(L"", 500, window)) {
                const DialogFacts seen = Describe(next);
                if (!seen.texts.empty()) boxTexts.push_back(seen.texts.back());
                Click(FindButton(next, L"OK"));
                WaitUntilClosed(next, 5000);
            }
        }
    });
    EXPECT_TRUE(shown);
    EXPECT_GE(boxTexts.size(), 2u);
    EXPECT_EQ(ReadFile(app_ + "\\Dorvane.bat"), "\"" + app_ + "\\Dorvane.exe\" /silent /Bresk\r\n");
    const std::string log = ReadFile(app_ + "\\Dorvane_log.txt");
    EXPECT_NE(log.find("Unable to optimize application\r\n"), std::string::npos);
    EXPECT_EQ(store_.Read("Alveto", "Locations", "BKpath"), "");  // saved when it was picked
}

}  // namespace
}  // namespace dorvane
