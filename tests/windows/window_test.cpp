// The Win32 window driven from a second thread with keys and clicks, as a
// user would drive it: shown in this process (the Windows step runs these at
// 96 and at 144 DPI), and in the program itself for a whole run.

#include <gtest/gtest.h>

#include <wincodec.h>
#include <wrl/client.h>

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

    // Runs the window here while `drive` works it from another thread; the
    // window must have closed afterwards.
    void ShowDriven(const std::function<void(HWND)>& drive) {
        auto driver = std::async(std::launch::async, [&] {
            HWND window = WaitForDialog(kCaption, 20000);
            if (window != nullptr) drive(window);
            EXPECT_TRUE(window != nullptr && WaitUntilClosed(window, 10000)) << "the window did not close";
            while (IsWindow(window)) PostMessageW(window, WM_CLOSE, 0, 0);
        });
        EXPECT_TRUE(win32ui::ShowMainWindow(rt_));
        driver.get();
    }

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
    EXPECT_FALSE(std::filesystem::exists(dir_ / "app" / "Dorvane.bat"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "app" / "Dorvane_log.txt"));
    EXPECT_EQ(store_.Read("Bresk", "Locations", "BKpath"), backups_);  // saved while loading
}

TEST_F(WindowTest, EscAndEnterAwayFromTheButtonsPressRunWhichWarnsForAProductNotSetUp) {
    ShowDriven([&](HWND window) {
        HWND list = GetDlgItem(window, ControlId("cmbType"));
        HWND log = GetDlgItem(window, ControlId("lblLog"));
        const std::wstring breskLog = TextOf(log);
        SendMessageW(list, CB_SETCURSEL, 0, 0);  // Alveto, not set up here
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(ControlId("cmbType"), CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        EXPECT_TRUE(WaitFor([&] { return TextOf(log) != breskLog; }, 5000));
        const std::pair<const char*, WPARAM> presses[] = {
            {"cmdOK", VK_ESCAPE}, {"cmbType", VK_RETURN}, {"picIcon", VK_RETURN}};
        for (const auto& [focus, key] : presses) {
            SCOPED_TRACE(focus);
            HWND target = GetDlgItem(window, ControlId(focus));
            PostMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
            WaitFor([&] { return FocusOf(window) == target; }, 2000);
            Press(window, key);
            HWND box = WaitForDialog(kCaption, 10000, window);
            ASSERT_NE(box, nullptr) << "Run was not pressed";
            const DialogFacts facts = Describe(box);
            EXPECT_EQ(facts.texts, std::vector<std::wstring>{L"Operation Failed. Registry error"});
            EXPECT_TRUE(facts.hasIcon);
            EXPECT_EQ(facts.owner, window);
            EXPECT_EQ(facts.buttons, std::vector<std::wstring>{L"OK"});
            Click(FindButton(box, L"OK"));
            ASSERT_TRUE(WaitUntilClosed(box, 5000));
            Sleep(200);
            EXPECT_TRUE(IsWindowVisible(window)) << "the window must stay open";
        }
        Click(GetDlgItem(window, ControlId("cmdOK")));
    });
    EXPECT_FALSE(std::filesystem::exists(dir_ / "app" / "Dorvane.bat"));
    EXPECT_EQ(store_.Read("Alveto", "Locations", "BKpath"), "");  // saved when it was picked
}

// The window as the screen shows it, saved as PNG by the system's codecs.
void SavePicture(HWND window, const std::filesystem::path& file) {
    RECT r;
    GetWindowRect(window, &r);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, r.right - r.left, r.bottom - r.top);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    using Microsoft::WRL::ComPtr;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmap> picture;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    std::filesystem::create_directories(file.parent_path());
    const bool saved =
        SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))) &&
        SUCCEEDED(factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, &picture)) &&
        SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromFilename(file.wstring().c_str(), GENERIC_WRITE)) &&
        SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
        SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
        SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
        SUCCEEDED(frame->WriteSource(picture.Get(), nullptr)) && SUCCEEDED(frame->Commit()) &&
        SUCCEEDED(encoder->Commit());
    DeleteObject(bitmap);
    EXPECT_TRUE(saved) << file;
}

// The program as a user starts it, for a product with an Access back-end
// whose settings are where the products keep them: Run in its window
// compacts copies of the test databases, every box is confirmed, and the
// batch file, the log and the backup are where the settings say. With a
// display it leaves a picture of the window for the Windows step.
TEST(ProgramWindow, RunMaintainsTheProductWritesTheBatchFileAndCloses) {
    testing::TempDir dir;
    RegistrySettingsStore settings;
    settings.Write("Cindral", "TitleBar", "sqlver", "0");
    for (const auto& [key, folder] : {std::pair{"APPPATH", "app"}, {"DbPath", "db"}, {"BKpath", "backups"}}) {
        std::filesystem::create_directory(dir / folder);
        settings.Write("Cindral", "Locations", key, (dir / folder).string());
    }
    for (const auto& [from, to] : {std::pair{"products/post_db.mdb", "db/post_db.mdb"},
                                   {"mdb/jet4/testV2000.mdb", "app/Cindral.mde"}}) {
        std::filesystem::copy_file(std::filesystem::path(DORVANE_TESTDATA) / from, dir / to);
        std::filesystem::permissions(dir / to, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    }
    std::wstring command = L"\"" + std::filesystem::path(DORVANE_PROGRAM).wstring() + L"\" /Cindral";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION program{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &program));
    HWND window = WaitForDialog(kCaption, 60000, nullptr, true);
    EXPECT_NE(window, nullptr) << "the window did not appear";
    if (window != nullptr && std::getenv("DISPLAY") != nullptr) {
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        Sleep(500);  // let it paint
        SavePicture(window, std::filesystem::path(DORVANE_SCREENSHOTS) / "window.png");
        if (SUCCEEDED(com)) CoUninitialize();
    }
    Click(GetDlgItem(window, ControlId("cmdRun")));
    std::vector<DialogFacts> boxes;
    WaitFor(
        [&] {
            if (HWND box = WaitForDialog(L"", 200, window, true)) {
                boxes.push_back(Describe(box));
                Click(FindButton(box, L"OK"));
                WaitUntilClosed(box, 10000);
            }
            return !IsWindow(window);
        },
        300000);
    DWORD status = 1;
    if (WaitForSingleObject(program.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(program.hProcess, 1);
    GetExitCodeProcess(program.hProcess, &status);
    CloseHandle(program.hThread);
    CloseHandle(program.hProcess);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VB and VBA Program Settings\\Cindral");

    EXPECT_EQ(status, 0u);
    EXPECT_EQ(boxes.size(), 3u);  // front-end, back-end, backup
    for (const DialogFacts& box : boxes) {
        EXPECT_TRUE(box.hasIcon);  // information
        EXPECT_EQ(box.buttons, std::vector<std::wstring>{L"OK"});
    }
    EXPECT_EQ(testing::ReadFile(dir / "app" / "Dorvane.bat"),
              "\"" + (dir / "app").string() + "\\Dorvane.exe\" /silent /Cindral\r\n");
    const std::string log = testing::ReadFile(dir / "app" / "Dorvane_log.txt");
    EXPECT_NE(log.find("Application was optimized\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("The Dbase was repaired & compacted successfully\r\n"), std::string::npos) << log;
    int backups = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "backups")) {
        backups += entry.path().filename().string().rfind("post_db_", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(backups, 1);
}

}  // namespace
}  // namespace dorvane
