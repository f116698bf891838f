// The program under Wine on copies of the test databases, its settings where
// the products keep them: an unattended run, and its window driven with keys
// and clicks as a user would drive it (the Windows step runs the window's
// tests at 96 and at 144 DPI).

#include <gtest/gtest.h>

#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <functional>
#include <regex>

#include "core/settings/registry_settings_store.h"
#include "tests/support/temp_dir.h"
#include "tests/windows/dialog_driver.h"
#include "ui/logic/window_layout.h"
#include "ui/win32/about_window_ids.h"

namespace dorvane {
namespace {

using namespace wintest;
using win32ui::ControlId;
namespace fs = std::filesystem;

const std::wstring kCaption = L"Zentro Software Ltd";

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() {
        ForgetProducts();
        settings_.Write("Cindral", "TitleBar", "sqlver", "0");
        for (const auto& [key, folder] : {std::pair{"APPPATH", "app"}, {"DbPath", "db"}, {"BKpath", "backups"}}) {
            fs::create_directory(dir_ / folder);
            settings_.Write("Cindral", "Locations", key, (dir_ / folder).string());
        }
        for (const auto& [from, to] :
             {std::pair{"products/post_db.mdb", "db/post_db.mdb"}, {"mdb/jet4/testV2000.mdb", "app/Cindral.mde"}}) {
            fs::copy_file(fs::path(DORVANE_TESTDATA) / from, dir_ / to);
            fs::permissions(dir_ / to, fs::perms::owner_write, fs::perm_options::add);
        }
    }
    ~ProgramTest() override { ForgetProducts(); }
    static void ForgetProducts() {
        for (const char* key : {"Software\\VB and VBA Program Settings\\Alveto", "Software\\VB and VBA Program Settings\\Cindral"}) {
            RegDeleteTreeA(HKEY_CURRENT_USER, key);
        }
    }

    // Runs dorvane.exe; `drive` works its window until it closes. Its exit status.
    DWORD Run(const std::wstring& arguments, const std::function<void(HWND)>& drive = nullptr) {
        std::wstring command = L"\"" + fs::path(DORVANE_PROGRAM).wstring() + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION program{};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &program)) {
            ADD_FAILURE() << "cannot start the program";
            return 1;
        }
        if (drive) {
            HWND window = WaitForDialog(kCaption, 60000);
            EXPECT_NE(window, nullptr) << "the window did not appear";
            if (window != nullptr) drive(window);
        }
        DWORD status = 1;
        if (WaitForSingleObject(program.hProcess, 120000) != WAIT_OBJECT_0) TerminateProcess(program.hProcess, 1);
        GetExitCodeProcess(program.hProcess, &status);
        CloseHandle(program.hThread);
        CloseHandle(program.hProcess);
        return status;
    }
    // Every line of the log ends in CR LF; these must be among them.
    void ExpectLogged(std::initializer_list<std::string> lines) {
        const std::string log = testing::ReadFile(dir_ / "app" / "Dorvane_log.txt");
        EXPECT_FALSE(std::regex_search(log, std::regex("(^|[^\r])\n"))) << log;
        for (const std::string& line : lines) EXPECT_NE(log.find(line + "\r\n"), std::string::npos) << line << "\n" << log;
    }
    std::vector<std::string> Files(const char* folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_ / folder)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    testing::TempDir dir_;
    RegistrySettingsStore settings_;
};

class UnattendedRun : public ProgramTest {};
class WindowTest : public ProgramTest {};

TEST_F(UnattendedRun, CompactsBothFilesAndKeepsOneBackupWithoutAWindowOrBatchFile) {
    EXPECT_EQ(Run(L"/silent /Cindral"), 0u);
    ExpectLogged({"Application was optimized", "The Dbase was repaired & compacted successfully"});
    EXPECT_EQ(Files("app"), (std::vector<std::string>{"Cindral.mde", "Dorvane_log.txt"}));
    EXPECT_EQ(Files("db"), std::vector<std::string>{"post_db.mdb"});
    ASSERT_EQ(Files("backups").size(), 1u);
    EXPECT_EQ(Files("backups")[0].rfind("post_db_", 0), 0u);
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

// Posts a key to the control with the focus, as the keyboard would.
void PressKey(HWND window, WPARAM key) {
    PostMessageW(FocusOf(window), WM_KEYDOWN, key, 0);
    PostMessageW(FocusOf(window), WM_KEYUP, key, 0);
}

RECT RectIn(HWND window, HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// How many pixels of the control, as the screen shows it, are of its text colour.
int PixelsOf(HWND window, HWND control, const ui::Rgb& colour) {
    const RECT r = RectIn(window, control);
    HDC dc = GetDC(window);
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) count += GetPixel(dc, x, y) == RGB(colour.red, colour.green, colour.blue);
    }
    ReleaseDC(window, dc);
    return count;
}

// The window as the screen shows it, saved as PNG by the system's codecs.
void SavePicture(HWND window, const fs::path& file) {
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
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Microsoft::WRL::ComPtr<IWICImagingFactory> factory;
    Microsoft::WRL::ComPtr<IWICBitmap> picture;
    Microsoft::WRL::ComPtr<IWICStream> stream;
    Microsoft::WRL::ComPtr<IWICBitmapEncoder> encoder;
    Microsoft::WRL::ComPtr<IWICBitmapFrameEncode> frame;
    fs::create_directories(file.parent_path());
    EXPECT_TRUE(
        SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))) &&
        SUCCEEDED(factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, &picture)) &&
        SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromFilename(file.wstring().c_str(), GENERIC_WRITE)) &&
        SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
        SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
        SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
        SUCCEEDED(frame->WriteSource(picture.Get(), nullptr)) && SUCCEEDED(frame->Commit()) &&
        SUCCEEDED(encoder->Commit()))
        << file;
    frame.Reset(), encoder.Reset(), stream.Reset(), picture.Reset(), factory.Reset();
    if (SUCCEEDED(com)) CoUninitialize();
    DeleteObject(bitmap);
}

TEST_F(WindowTest, BuiltFromTheLayoutTableWithFocusOnCancelAndTabThroughTheIcon) {
    EXPECT_EQ(Run(L"/Cindral",
                  [&](HWND window) {
                      HDC screen = GetDC(nullptr);
                      const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
                      ReleaseDC(nullptr, screen);
                      RECT client;
                      GetClientRect(window, &client);
                      EXPECT_EQ(client.right, ui::TwipsToPixels(ui::kClientWidth, dpi));
                      EXPECT_EQ(client.bottom, ui::TwipsToPixels(ui::kClientHeight, dpi));
                      EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE) & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
                      const bool drawn = std::getenv("DISPLAY") != nullptr;  // not under Wine's null driver
                      if (drawn) Sleep(500);  // let it paint
                      for (const auto& layout : ui::kControls) {
                          SCOPED_TRACE(std::string(layout.name));
                          HWND control = GetDlgItem(window, ControlId(layout.name));
                          const RECT r = RectIn(window, control);
                          EXPECT_EQ((ui::PixelRect{r.left, r.top, r.right - r.left, r.bottom - r.top}),
                                    ui::TwipsRect(layout, dpi));
                          EXPECT_EQ((GetWindowLongPtrW(control, GWL_STYLE) & WS_TABSTOP) != 0, ui::TakesFocus(layout.kind));
                          if (layout.kind == ui::ControlKind::PushButton) {
                              EXPECT_EQ(TextOf(control), std::wstring(layout.designText.begin(), layout.designText.end()));
                          } else if (layout.kind == ui::ControlKind::Picture) {
                              EXPECT_NE(SendMessageW(control, STM_GETICON, 0, 0), 0);
                          } else if (layout.kind == ui::ControlKind::Label && drawn) {
                              EXPECT_EQ(PixelsOf(window, control, ui::kBlue) > 10, layout.textColour == &ui::kBlue);
                          }
                      }
                      const fs::path picture = fs::path(DORVANE_SCREENSHOTS) / "window.png";
                      if (drawn && !fs::exists(picture)) SavePicture(window, picture);
                      const std::pair<const char*, std::wstring> texts[] = {
                          {"lblTitle", L"Dorvane for:"},
                          {"lblDescription", L"Backup and optimize Zentro products"},
                          {"lblInfo", L"mdb database"},
                          {"cmbType", L"Cindral"},
                          {"lblLog", L"Backup Path:\r\n" + (dir_ / "backups").wstring() + L"\r\n\r\nLog File:\r\n" +
                                         (dir_ / "app").wstring() + L"\\Dorvane_log.txt"},
                      };
                      for (const auto& [name, text] : texts) EXPECT_EQ(TextOf(GetDlgItem(window, ControlId(name))), text);

                      // Focus starts on Cancel; Tab goes to the icon, then on by tab index.
                      std::vector<int> visited{GetDlgCtrlID(FocusOf(window))};
                      for (int i = 0; i < 6; ++i) {
                          const HWND before = FocusOf(window);
                          PressKey(window, VK_TAB);
                          WaitFor([&] { return FocusOf(window) != before; }, 2000);
                          visited.push_back(GetDlgCtrlID(FocusOf(window)));
                      }
                      EXPECT_EQ(visited, (std::vector<int>{ControlId("cmdOK"), ControlId("picIcon"),
                                                           ControlId("cmdSysInfo"), ControlId("cmdRun"),
                                                           ControlId("cmbType"), ControlId("cmdPath"), ControlId("cmdOK")}));
                      PressKey(window, VK_RETURN);  // Enter on Cancel presses Cancel: nothing runs
                  }),
              0u);
    EXPECT_FALSE(fs::exists(dir_ / "app" / "Dorvane.bat"));
    EXPECT_EQ(fs::file_size(dir_ / "db" / "post_db.mdb"), fs::file_size(fs::path(DORVANE_TESTDATA) / "products/post_db.mdb"));
}

TEST_F(WindowTest, EscAndEnterPressRunWhichWarnsForAProductNotSetUpAndRunsForOneThatIs) {
    std::vector<DialogFacts> boxes;
    EXPECT_EQ(Run(L"/Cindral",
                  [&](HWND window) {
                      HWND list = GetDlgItem(window, ControlId("cmbType"));
                      auto pick = [&](WPARAM entry, const std::wstring& info) {
                          SendMessageW(list, CB_SETCURSEL, entry, 0);
                          PostMessageW(window, WM_COMMAND, MAKEWPARAM(ControlId("cmbType"), CBN_SELCHANGE),
                                       reinterpret_cast<LPARAM>(list));
                          HWND lblLog = GetDlgItem(window, ControlId("lblLog"));
                          EXPECT_TRUE(WaitFor([&] { return TextOf(lblLog).find(info) != std::wstring::npos; }, 5000));
                      };
                      pick(0, L"Log File:\r\n\\Dorvane_log.txt");  // Alveto, not set up here
                      for (const auto& [focus, key] :
                           {std::pair{"cmdOK", VK_ESCAPE}, {"cmbType", VK_RETURN}, {"picIcon", VK_RETURN}}) {
                          SCOPED_TRACE(focus);
                          HWND target = GetDlgItem(window, ControlId(focus));
                          PostMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
                          WaitFor([&] { return FocusOf(window) == target; }, 2000);
                          PressKey(window, static_cast<WPARAM>(key));
                          HWND box = WaitForDialog(kCaption, 10000, window);
                          ASSERT_NE(box, nullptr) << "Run was not pressed";
                          const DialogFacts facts = Describe(box);
                          EXPECT_EQ(facts.texts, std::vector<std::wstring>{L"Operation Failed. Registry error"});
                          EXPECT_TRUE(facts.hasIcon);
                          EXPECT_EQ(facts.owner, window);
                          EXPECT_TRUE(Press(box, L"OK"));
                          ASSERT_TRUE(WaitUntilClosed(box, 5000));
                          Sleep(200);
                          EXPECT_TRUE(IsWindowVisible(window)) << "the window must stay open";
                      }
                      pick(2, (dir_ / "backups").wstring());
                      Click(GetDlgItem(window, ControlId("cmdRun")));
                      WaitFor(
                          [&] {
                              if (HWND box = WaitForDialog(L"", 200, window)) {
                                  boxes.push_back(Describe(box));
                                  Press(box, L"OK");
                                  WaitUntilClosed(box, 10000);
                              }
                              return !IsWindow(window);
                          },
                          120000);
                  }),
              0u);
    ASSERT_EQ(boxes.size(), 3u);  // front-end, back-end, backup
    for (const DialogFacts& box : boxes) {
        EXPECT_TRUE(box.hasIcon);  // information
        EXPECT_EQ(box.buttons, std::vector<std::wstring>{L"OK"});
    }
    ExpectLogged({"Application was optimized", "The Dbase was repaired & compacted successfully"});
    EXPECT_EQ(testing::ReadFile(dir_ / "app" / "Dorvane.bat"),
              "\"" + (dir_ / "app").string() + "\\Dorvane.exe\" /silent /Cindral\r\n");
    EXPECT_EQ(Files("backups").size(), 1u);
    EXPECT_EQ(settings_.Read("Alveto", "Locations", "BKpath"), "");  // saved when it was picked
}

}  // namespace
}  // namespace dorvane
