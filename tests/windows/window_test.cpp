// The Win32 window, shown modally on the test's thread and driven from a
// second thread with keys and clicks, as a user would drive it. The Windows
// step runs it at 96 and at 144 DPI.

#include <gtest/gtest.h>

#include <future>

#include "app/unavailable_components.h"
#include "core/run_control.h"
#include "core/runtime.h"
#include "core/settings/registry_settings_store.h"
#include "engines/files/local_file_system.h"
#include "tests/support/temp_dir.h"
#include "tests/windows/dialog_driver.h"
#include "ui/logic/window_layout.h"
#include "ui/win32/about_window_ids.h"
#include "ui/win32/show_window.h"

namespace dorvane {
namespace {

using namespace wintest;
using win32ui::ControlId;

const std::wstring kCaption = L"Zentro Software Ltd";

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

// Posts a key to the control with the focus, as the keyboard would.
void Press(HWND window, WPARAM key) {
    PostMessageW(FocusOf(window), WM_KEYDOWN, key, 0);
    PostMessageW(FocusOf(window), WM_KEYUP, key, 0);
}

// A product set up with an Access back-end, its settings in a registry key
// of the test's own; the other two products are not set up.
class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str());
        std::filesystem::create_directory(dir_ / "app");
        store_.Write("Bresk", "TitleBar", "sqlver", "0");
        store_.Write("Bresk", "Locations", "APPPATH", app_);
        store_.Write("Bresk", "Locations", "BKpath", backups_);
        ParseCommandLine(rt_.ctx, "/Bresk");
    }
    ~WindowTest() override { RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str()); }

    // Runs the window here while `drive` works it from another thread; when
    // the window does not close afterwards, the test fails and closes it.
    void ShowDriven(const std::function<void(HWND)>& drive) {
        auto driver = std::async(std::launch::async, [&] {
            HWND window = WaitForDialog(kCaption, 20000);
            if (window == nullptr) {
                ADD_FAILURE() << "the window did not appear";
                return;
            }
            drive(window);
            if (WaitUntilClosed(window, 10000)) return;
            ADD_FAILURE() << "the window did not close";
            while (IsWindow(window)) {
                if (HWND box = WaitForDialog(L"", 100, window)) PostMessageW(box, WM_CLOSE, 0, 0);
                PostMessageW(window, WM_CLOSE, 0, 0);
            }
        });
        EXPECT_TRUE(win32ui::ShowMainWindow(rt_));
        driver.get();
    }
    bool Exists(const char* file) { return std::filesystem::exists(dir_ / "app" / file); }

    std::string base_ = std::string("Software\\Dorvane tests\\") +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name();
    testing::TempDir dir_;
    std::string app_ = (dir_ / "app").string(), backups_ = (dir_ / "backups").string();
    RegistrySettingsStore store_{base_};
    LocalFileSystem files_;
    std::unique_ptr<SqlClient> sql_ = MakeUnavailableSqlClient();
    SilentMessageBoxes noBoxes_;
    SystemClock clock_;
    Runtime rt_{store_, files_, [] { return MakeUnavailableFileDatabaseEngine(); }, *sql_, noBoxes_, clock_};
};

TEST_F(WindowTest, BuiltFromTheLayoutTableWithFocusOnCancelAndTabThroughTheIcon) {
    ShowDriven([&](HWND window) {
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        RECT client;
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, ui::TwipsToPixels(ui::kClientWidth, dpi));
        EXPECT_EQ(client.bottom, ui::TwipsToPixels(ui::kClientHeight, dpi));
        EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE) & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
        HDC probe = CreateCompatibleDC(nullptr);
        for (const auto& layout : ui::kControls) {
            SCOPED_TRACE(std::string(layout.name));
            HWND control = GetDlgItem(window, ControlId(layout.name));
            ASSERT_NE(control, nullptr);
            RECT r;
            GetWindowRect(control, &r);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
            EXPECT_EQ((ui::PixelRect{r.left, r.top, r.right - r.left, r.bottom - r.top}), ui::TwipsRect(layout, dpi));
            EXPECT_EQ((GetWindowLongPtrW(control, GWL_STYLE) & WS_TABSTOP) != 0, ui::TakesFocus(layout.kind));
            if (layout.kind == ui::ControlKind::PushButton) {
                EXPECT_EQ(TextOf(control), Wide(std::string(layout.designText)));
            } else if (layout.kind == ui::ControlKind::Picture) {
                EXPECT_NE(SendMessageW(control, STM_GETICON, 0, 0), 0);
            }
            if (layout.kind != ui::ControlKind::Label) continue;
            SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(probe), reinterpret_cast<LPARAM>(control));
            const ui::Rgb* c = layout.textColour;
            EXPECT_EQ(GetTextColor(probe), c != nullptr ? RGB(c->red, c->green, c->blue) : GetSysColor(COLOR_BTNTEXT));
        }
        DeleteDC(probe);
        const std::pair<const char*, std::string> texts[] = {
            {"lblTitle", "Dorvane for:"},
            {"lblDescription", "Backup and optimize Zentro products"},
            {"lblInfo", "mdb database"},
            {"lblLog", "Backup Path:\r\n" + backups_ + "\r\n\r\nLog File:\r\n" + app_ + "\\Dorvane_log.txt"},
            {"cmbType", "Bresk"},
        };
        for (const auto& [name, text] : texts) EXPECT_EQ(TextOf(GetDlgItem(window, ControlId(name))), Wide(text));

        // Focus starts on Cancel; Tab goes to the icon, then on by tab index.
        std::vector<int> visited{GetDlgCtrlID(FocusOf(window))};
        for (int i = 0; i < 6; ++i) {
            const HWND before = FocusOf(window);
            Press(window, VK_TAB);
            WaitFor([&] { return FocusOf(window) != before; }, 2000);
            visited.push_back(GetDlgCtrlID(FocusOf(window)));
        }
        EXPECT_EQ(visited, (std::vector<int>{ControlId("cmdOK"), ControlId("picIcon"), ControlId("cmdSysInfo"),
                                             ControlId("cmdRun"), ControlId("cmbType"), ControlId("cmdPath"),
                                             ControlId("cmdOK")}));
        Press(window, VK_RETURN);  // Enter on Cancel presses Cancel: nothing runs
    });
    EXPECT_FALSE(Exists("Dorvane.bat"));
    EXPECT_FALSE(Exists("Dorvane_log.txt"));
    EXPECT_EQ(store_.Read("Bresk", "Locations", "BKpath"), backups_);  // saved while loading
}

TEST_F(WindowTest, EscAndEnterPressRunWhichWarnsWhenNotSetUpThenRunsAndClosesForAnother) {
    std::vector<std::wstring> boxTexts;
    ShowDriven([&](HWND window) {
        HWND list = GetDlgItem(window, ControlId("cmbType"));
        HWND log = GetDlgItem(window, ControlId("lblLog"));
        const std::wstring breskLog = TextOf(log);
        auto pick = [&](WPARAM entry) {
            const std::wstring before = TextOf(log);
            SendMessageW(list, CB_SETCURSEL, entry, 0);
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(ControlId("cmbType"), CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
            EXPECT_TRUE(WaitFor([&] { return TextOf(log) != before; }, 5000));
        };
        pick(0);  // Alveto, not set up here

        // Esc presses Run wherever the focus is; Enter does so too where the
        // focus is on no push button.
        const std::pair<const char*, WPARAM> presses[] = {
            {"cmdOK", VK_ESCAPE}, {"cmbType", VK_RETURN}, {"picIcon", VK_RETURN}};
        for (const auto& [focus, key] : presses) {
            SCOPED_TRACE(focus);
            PostMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window, ControlId(focus))), TRUE);
            WaitFor([&] { return FocusOf(window) == GetDlgItem(window, ControlId(focus)); }, 2000);
            Press(window, key);
            HWND box = WaitForDialog(kCaption, 10000, window);
            ASSERT_NE(box, nullptr) << "Run was not pressed";
            const DialogFacts facts = Describe(box);
            EXPECT_EQ(facts.texts.back(), L"Operation Failed. Registry error");
            EXPECT_TRUE(facts.hasIcon);
            EXPECT_EQ(facts.owner, window);
            EXPECT_EQ(facts.buttons, std::vector<std::wstring>{L"OK"});
            Click(FindButton(box, L"OK"));
            ASSERT_TRUE(WaitUntilClosed(box, 5000));
            Sleep(200);
            EXPECT_TRUE(IsWindowVisible(window)) << "the window must stay open";
        }

        pick(1);  // Bresk again
        EXPECT_EQ(TextOf(log), breskLog);
        Click(GetDlgItem(window, ControlId("cmdRun")));
        // Every operation reports with a box; each is confirmed.
        while (IsWindow(window)) {
            if (HWND box = WaitForDialog(L"", 500, window)) {
                boxTexts.push_back(Describe(box).texts.back());
                Click(FindButton(box, L"OK"));
                WaitUntilClosed(box, 5000);
            }
        }
    });
    EXPECT_EQ(boxTexts.size(), 3u);  // front-end, back-end, backup: no Access engine here
    EXPECT_EQ(testing::ReadFile(dir_ / "app" / "Dorvane.bat"), "\"" + app_ + "\\Dorvane.exe\" /silent /Bresk\r\n");
    EXPECT_NE(testing::ReadFile(dir_ / "app" / "Dorvane_log.txt").find("Unable to optimize application\r\n"),
              std::string::npos);
    EXPECT_EQ(store_.Read("Alveto", "Locations", "BKpath"), "");  // saved when it was picked
}

}  // namespace
}  // namespace dorvane
