// The program under Wine on copies of the test databases, its settings where
// the products keep them: an unattended run, and its window driven with keys
// and clicks as a user would. The Windows step runs the window's test at 96
// and at 144 DPI; with a display, the first run leaves a picture of it.

#include <gtest/gtest.h>

#include <objidl.h>  // GDI+ needs it, and windows.h is included lean
#include <gdiplus.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "app/unavailable_components.h"
#include "core/database_kind.h"
#include "core/error.h"
#include "core/run_control.h"
#include "core/runtime.h"
#include "core/settings/registry_settings_store.h"
#include "engines/files/local_file_system.h"
#include "operations/operations.h"
#include "platform/system_clock.h"
#include "tests/support/temp_dir.h"
#include "tests/windows/dialog_driver.h"
#include "ui/logic/window_layout.h"
#include "ui/win32/about_window_ids.h"
#include "ui/win32/win32_program_starter.h"
#ifdef DORVANE_WINE_TDS
#include "engines/odbc/odbc_client.h"
#endif

namespace dorvane {
namespace {

using namespace wintest;
using win32ui::ControlId;
namespace fs = std::filesystem;

const std::wstring kCaption = L"Zentro Software Ltd";
constexpr const char* kToolKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const fs::path kProbe = fs::absolute(DORVANE_SYSINFO_PROBE).make_preferred();

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() {
        ForgetProducts();
        settings_.Write("Cindral", "TitleBar", "sqlver", "0");
        for (const auto& [key, folder] : {std::pair{"APPPATH", app_}, {"DbPath", db_}, {"BKpath", backups_}}) {
            fs::create_directory(folder);
            settings_.Write("Cindral", "Locations", key, folder.string());
        }
        for (const auto& [from, to] : {std::pair{"products/post_db.mdb", db_ / "post_db.mdb"},
                                       {"mdb/jet4/testV2000.mdb", app_ / "Cindral.mde"}}) {
            fs::copy_file(fs::path(DORVANE_TESTDATA) / from, to);
            fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
        }
    }
    ~ProgramTest() override { ForgetProducts(); }
    static void ForgetProducts() {
        for (const char* product : {"Alveto", "Bresk", "Cindral"}) {
            RegDeleteTreeA(HKEY_CURRENT_USER,
                           ("Software\\VB and VBA Program Settings\\" + std::string(product)).c_str());
        }
    }

    // Runs dorvane.exe while `drive` works its window; the exit status.
    DWORD Run(const std::wstring& arguments, const std::function<void(HWND)>& drive = nullptr) {
        std::wstring command = L"\"" + fs::path(DORVANE_PROGRAM).wstring() + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION program{};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &program)) {
            ADD_FAILURE() << "cannot start the program";
            return 1;
        }
        HWND window = drive != nullptr ? WaitForDialog(kCaption, 60000) : nullptr;
        if (window != nullptr) drive(window);
        EXPECT_EQ(window == nullptr, drive == nullptr) << "the window did not appear";
        DWORD status = 1;
        if (WaitForSingleObject(program.hProcess, 120000) != WAIT_OBJECT_0) TerminateProcess(program.hProcess, 1);
        GetExitCodeProcess(program.hProcess, &status);
        CloseHandle(program.hThread);
        CloseHandle(program.hProcess);
        return status;
    }
    // These lines must be among the log's, each ended by CR LF.
    void ExpectLogged(std::initializer_list<std::string> lines) {
        const std::string log = testing::ReadFile(app_ / "Dorvane_log.txt");
        for (const auto& line : lines) EXPECT_NE(log.find(line + "\r\n"), std::string::npos) << line << "\n" << log;
    }
    std::vector<std::string> Files(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // One run of the window, in three steps.
    void CheckLayoutFocusAndTab(HWND window);
    void ChooseFoldersAndStartSystemInformation(HWND window);
    void PressRunNotSetUpThenRun(HWND window);

    testing::TempDir dir_;
    // Beyond ASCII, as on a German office machine: the registry, the files,
    // the window and the log carry these names.
    const fs::path app_ = dir_.path() / u8"B\u00fcro";
    const fs::path db_ = dir_ / "db";
    const fs::path backups_ = dir_.path() / u8"Sicherung-\u00fc";
    RegistrySettingsStore settings_;
    int runBoxes_ = 0;
};

class WindowTest : public ProgramTest {};  // run again at 144 DPI by the Windows step

TEST_F(ProgramTest, AnUnattendedRunCompactsBothFilesAndKeepsOneBackupWithoutAWindowOrBatchFile) {
    EXPECT_EQ(Run(L"/silent /Cindral"), 0u);
    EXPECT_EQ(Files(app_), (std::vector<std::string>{"Cindral.mde", "Dorvane_log.txt"}));
    EXPECT_EQ(Files(db_), std::vector<std::string>{"post_db.mdb"});
    ASSERT_EQ(Files(backups_).size(), 1u);
    // The log keeps the products' code page (Wine's default: 1252).
    ExpectLogged({"Application was optimized", "The Dbase was repaired & compacted successfully",
                  "Backup was created   " + dir_.path().string() + "\\Sicherung-\xFC\\" + Files(backups_)[0]});
}

// A damaged back-end in a folder with letters beyond ASCII, maintained by the
// batch file the window writes, as Task Scheduler runs it: the repair keeps
// the damaged original beside the database, logs what was lost in the
// products' code page, and the batch file sees exit status 2.
TEST_F(ProgramTest, ARepairThatLosesDataKeepsTheOriginalAndTheBatchFileSeesTwo) {
    settings_.Write("Cindral", "Locations", "DbPath", app_.string());
    fs::copy_file(db_ / "post_db.mdb", app_ / "post_db.mdb");
    {
        std::fstream damage(app_ / "post_db.mdb", std::ios::in | std::ios::out | std::ios::binary);
        damage.seekp(293 * 4096);  // a data page of its Invoices table
        damage.write(std::string(4096, '\0').data(), 4096);
    }
    const std::string damaged = testing::ReadFile(app_ / "post_db.mdb");
    fs::copy_file(DORVANE_PROGRAM, app_ / "Dorvane.exe");  // where the batch file calls it
    LocalFileSystem files;
    SilentMessageBoxes boxes;
    SystemClock clock;
    const auto sql = MakeUnavailableSqlClient();
    Runtime rt(settings_, files, &MakeUnavailableFileDatabaseEngine, *sql, boxes, clock);
    rt.ctx.Product = "Cindral";
    WriteScheduleBatch(rt);
    // The batch file as written, and one line more that a site may add: what
    // it sees as %ERRORLEVEL%. (Wine's "call" of a batch file loses the level,
    // so the line goes into a copy rather than into a batch file calling it.)
    testing::WriteFile(dir_ / "nightly.bat",
                       testing::ReadFile(app_ / "Dorvane.bat") +
                           "@>\"%~dp0status.txt\" echo %ERRORLEVEL%\r\n@exit /b %ERRORLEVEL%\r\n");
    std::wstring command = L"cmd.exe /c \"" + (dir_ / "nightly.bat").wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION shell{};
    ASSERT_TRUE(
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &shell));
    EXPECT_EQ(WaitForSingleObject(shell.hProcess, 120000), WAIT_OBJECT_0);
    DWORD status = 0;
    GetExitCodeProcess(shell.hProcess, &status);
    CloseHandle(shell.hThread);
    CloseHandle(shell.hProcess);

    EXPECT_EQ(status, 2u);  // what Task Scheduler shows as the last run's result
    EXPECT_EQ(testing::ReadFile(dir_ / "status.txt"), "2\r\n");
    std::vector<std::string> kept;
    for (const std::string& name : Files(app_))
        if (name.rfind("post_db_damaged_", 0) == 0) kept.push_back(name);
    ASSERT_EQ(kept.size(), 1u) << testing::ReadFile(app_ / "Dorvane_log.txt");
    EXPECT_EQ(testing::ReadFile(app_ / kept[0]), damaged);
    EXPECT_NE(testing::ReadFile(app_ / "post_db.mdb"), damaged);
    const std::string log = testing::ReadFile(app_ / "Dorvane_log.txt");
    const std::size_t repair = log.find("     Repair: ");
    ASSERT_NE(repair, std::string::npos) << log;
    EXPECT_NE(
        log.find("; the damaged file is kept as " + dir_.path().string() + "\\B\xFCro\\" + kept[0] + "\r\n", repair),
        std::string::npos)
        << log;
    ExpectLogged({"The Dbase was repaired & compacted successfully", "-------------------------------------"});
}

#ifdef DORVANE_WINE_TDS
// A SQL Server product (the test TDS endpoint through FreeTDS) whose backup
// folder a product saved with an umlaut: the run sends the server that folder
// and logs its success in the products' code page, or the server's words for a
// folder it lacks. The window saves the document folder the lookup reads from
// the server with its letters too; a driver nobody registered fails to open.
TEST_F(ProgramTest, ASqlServerBackupFolderWithAnUmlautReachesTheServerAndTheLog) {
    const fs::path endpoint(DORVANE_WINE_TDS);
    const int port = std::stoi(testing::ReadFile(endpoint / "port"));
    settings_.Write("Bresk", "TitleBar", "sqlver", "1");
    settings_.Write("Bresk", "Locations", "APPPATH", app_.string());
    settings_.Write("Bresk", "Locations", "DbaseName", "PB");
    settings_.Write("Bresk", "Locations", "SQLServer", "127.0.0.1," + std::to_string(port));
    const std::string folder = "E:\\Sicherung-\xC3\xBC";  // the store writes it wide, as the products do
    settings_.Write("Bresk", "Locations", "BKpath", folder);
    fs::copy_file(app_ / "Cindral.mde", app_ / "Bresk.mde");
    _putenv_s("DORVANE_SQL_USER", "dorvane");  // seen by the lookup here and the program it starts

    EXPECT_EQ(Run(L"/silent /Bresk"), 0u);
    EXPECT_NE(testing::ReadFile(endpoint / "record" / "batch")
                  .find("BACKUP DATABASE PB To DISK = 'E:\\Sicherung-\xC3\xBC\\PB.bak' WITH NOFORMAT, INIT, SKIP, "
                        "REWIND, NOUNLOAD,  STATS = 10" +
                        std::string(1, '\0')),
              std::string::npos);
    ExpectLogged({"Application was optimized", "Backup was created   E:\\Sicherung-\xFC\\PB.bak"});
    settings_.Write("Bresk", "Locations", "BKpath", "E:\\Missing");
    EXPECT_EQ(Run(L"/silent /Bresk"), 1u);
    EXPECT_NE(testing::ReadFile(app_ / "Dorvane_log.txt").find("Cannot open backup device 'E:\\Missing\\PB.bak'"),
              std::string::npos);  // the server's words, read through the wide diagnostics

    LocalFileSystem files;  // the window's lookup, with the program's own components
    SilentMessageBoxes boxes;
    SystemClock clock;
    const auto client = odbc::MakeSqlClient();
    Runtime rt(settings_, files, &MakeUnavailableFileDatabaseEngine, *client, boxes, clock);
    rt.ctx.Product = "Bresk";
    rt.ctx.DbKind = kSqlServerKind;
    SaveSetting(settings_, "Bresk", "Locations", "BKpath", LookupDocumentPath(rt));
    EXPECT_EQ(settings_.Read("Bresk", "Locations", "BKpath"), folder);
    const auto unknown = client->NewConnection();
    unknown->SetConnectionString("driver={No Such Driver};server=nowhere");
    EXPECT_THROW(unknown->Open(), Error);
}
#endif

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

// A box the window owns with this caption, text and OK only; pressed.
void ExpectBox(HWND window, const std::wstring& caption, const std::wstring& text, bool icon) {
    HWND box = WaitForDialog(caption, 10000, window);
    const DialogFacts facts = Describe(box);
    EXPECT_EQ(facts.texts, std::vector<std::wstring>{text});
    EXPECT_EQ(facts.buttons, std::vector<std::wstring>{L"OK"});
    EXPECT_EQ(facts.hasIcon, icon);
    EXPECT_EQ(facts.owner, window);
    EXPECT_TRUE(Press(box, L"OK"));
    EXPECT_TRUE(WaitUntilClosed(box, 5000));
}

// The window as the screen shows it, saved as PNG through GDI+.
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
    ULONG_PTR gdiplus = 0;
    const Gdiplus::GdiplusStartupInput startup;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&gdiplus, &startup, nullptr), Gdiplus::Ok);
    {
        const CLSID png{0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};  // its encoder
        fs::create_directories(file.parent_path());
        Gdiplus::Bitmap picture(bitmap, nullptr);
        EXPECT_EQ(picture.Save(file.wstring().c_str(), &png, nullptr), Gdiplus::Ok) << file;
    }
    Gdiplus::GdiplusShutdown(gdiplus);
    DeleteObject(bitmap);
}

void ProgramTest::CheckLayoutFocusAndTab(HWND window) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, ui::TwipsToPixels(ui::kClientWidth, dpi));
    EXPECT_EQ(client.bottom, ui::TwipsToPixels(ui::kClientHeight, dpi));
    EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE) & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    const bool drawn = std::getenv("DISPLAY") != nullptr;  // Wine's null driver draws nothing
    if (drawn) Sleep(500);                                 // let it paint
    HDC painted = GetDC(window);
    for (const auto& layout : ui::kControls) {
        SCOPED_TRACE(std::string(layout.name));
        HWND control = GetDlgItem(window, ControlId(layout.name));
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ((ui::PixelRect{r.left, r.top, r.right - r.left, r.bottom - r.top}), ui::TwipsRect(layout, dpi));
        EXPECT_EQ((GetWindowLongPtrW(control, GWL_STYLE) & WS_TABSTOP) != 0, ui::TakesFocus(layout.kind));
        if (layout.kind == ui::ControlKind::PushButton) {
            EXPECT_EQ(TextOf(control), std::wstring(layout.design_text.begin(), layout.design_text.end()));
        } else if (layout.kind == ui::ControlKind::Picture) {
            EXPECT_NE(SendMessageW(control, STM_GETICON, 0, 0), 0);
        } else if (layout.kind == ui::ControlKind::Label && drawn) {
            int blue = 0;
            for (int y = r.top; y < r.bottom; ++y) {
                for (int x = r.left; x < r.right; ++x) blue += GetPixel(painted, x, y) == RGB(0, 0, 255);
            }
            EXPECT_EQ(blue > 10, layout.textColour == &ui::kBlue);
        }
    }
    ReleaseDC(window, painted);
    const fs::path picture = fs::path(DORVANE_SCREENSHOTS) / "window.png";
    if (drawn && !fs::exists(picture)) SavePicture(window, picture);
    EXPECT_EQ(
        TextOf(GetDlgItem(window, ControlId("lblLog"))),
        L"Backup Path:\r\n" + backups_.wstring() + L"\r\n\r\nLog File:\r\n" + app_.wstring() + L"\\Dorvane_log.txt");
    EXPECT_EQ(TextOf(GetDlgItem(window, ControlId("cmbType"))), L"Cindral");

    // Focus starts on Cancel, which Enter then presses; Tab goes to the icon,
    // then on by tab index.
    EXPECT_TRUE(GetWindowLongPtrW(GetDlgItem(window, ControlId("cmdOK")), GWL_STYLE) & BS_DEFPUSHBUTTON);
    std::vector<int> visited{GetDlgCtrlID(FocusOf(window))};
    for (int i = 0; i < 6; ++i) {
        const HWND before = FocusOf(window);
        PressKey(window, VK_TAB);
        WaitFor([&] { return FocusOf(window) != before; }, 2000);
        visited.push_back(GetDlgCtrlID(FocusOf(window)));
    }
    EXPECT_EQ(visited,
              (std::vector<int>{ControlId("cmdOK"), ControlId("picIcon"), ControlId("cmdSysInfo"), ControlId("cmdRun"),
                                ControlId("cmbType"), ControlId("cmdPath"), ControlId("cmdOK")}));
    ChooseFoldersAndStartSystemInformation(window);
}

// The probe beside the tests stands in for the system information tool: it
// writes how it was started into the file DORVANE_PROBE_OUT names.
void ProgramTest::ChooseFoldersAndStartSystemInformation(HWND window) {
    HWND log = GetDlgItem(window, ControlId("lblLog"));
    for (const wchar_t* button : {L"OK", L"Cancel"}) {  // a cancel falls back to the document folder
        const std::wstring before = TextOf(log);
        Click(GetDlgItem(window, ControlId("cmdPath")));
        HWND dialog = WaitForDialog(L"", 10000, window);
        Sleep(300);  // the tree fills itself
        const auto texts = Describe(dialog).texts;
        EXPECT_NE(std::find(texts.begin(), texts.end(), L"Select Backup Folder"), texts.end());
        EXPECT_TRUE(Press(dialog, button));
        WaitFor([&] { return TextOf(log) != before; }, 5000);
        EXPECT_TRUE(fs::is_directory(settings_.Read("Cindral", "Locations", "BKpath").value_or(""))) << button;
    }
    EXPECT_EQ(settings_.Read("Cindral", "Locations", "BKpath"), (dir_ / "documents").string());

    Click(GetDlgItem(window, ControlId("cmdSysInfo")));
    std::string started;
    WaitFor([&] { return !(started = testing::ReadFile(dir_ / "started.txt")).empty(); }, 10000);
    EXPECT_EQ(started, "flags=1 show=1\n" + kProbe.string());  // a normal window, nothing added to the path
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kToolKey, "PATH");
    Click(GetDlgItem(window, ControlId("cmdSysInfo")));
    ExpectBox(window, L"Dorvane", L"System Information Is Unavailable At This Time", false);
    PressRunNotSetUpThenRun(window);
}

void ProgramTest::PressRunNotSetUpThenRun(HWND window) {
    HWND list = GetDlgItem(window, ControlId("cmbType"));
    const auto pick = [&](WPARAM entry, const std::wstring& shown) {
        SendMessageW(list, CB_SETCURSEL, entry, 0);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(ControlId("cmbType"), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
        HWND log = GetDlgItem(window, ControlId("lblLog"));
        EXPECT_TRUE(WaitFor([&] { return TextOf(log).find(shown) != std::wstring::npos; }, 5000));
    };
    pick(0, L"Log File:\r\n\\Dorvane_log.txt");  // Alveto, not set up here
    for (const auto& [focus, key] : {std::pair{"cmdOK", VK_ESCAPE}, {"cmbType", VK_RETURN}, {"picIcon", VK_RETURN}}) {
        SCOPED_TRACE(focus);
        HWND target = GetDlgItem(window, ControlId(focus));
        PostMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
        WaitFor([&] { return FocusOf(window) == target; }, 2000);
        PressKey(window, static_cast<WPARAM>(key));
        ExpectBox(window, kCaption, L"Operation Failed. Registry error", true);
        Sleep(200);
        EXPECT_TRUE(IsWindowVisible(window)) << "the window must stay open";
    }
    pick(2, (dir_ / "documents").wstring());
    Click(GetDlgItem(window, ControlId("cmdRun")));
    WaitFor(
        [&] {
            if (HWND box = WaitForDialog(L"", 200, window)) {
                const DialogFacts facts = Describe(box);  // information, OK only
                EXPECT_EQ(std::pair(facts.hasIcon, facts.buttons), std::pair(true, std::vector<std::wstring>{L"OK"}));
                ++runBoxes_;
                Press(box, L"OK");
                WaitUntilClosed(box, 10000);
            }
            return !IsWindow(window);
        },
        120000);
}

// The window follows the layout table and takes keys as a user presses them:
// the folder button and System Info do their part, Esc and Enter away from
// the buttons press Run, which warns for a product not set up and for one
// that is maintains it, writes the batch file and closes.
TEST_F(WindowTest, FollowsTheLayoutTableAndTakesKeysAndClicksAsAUserGivesThem) {
    const std::string probe = kProbe.string();
    ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, kToolKey, "PATH", REG_SZ, probe.c_str(),
                              static_cast<DWORD>(probe.size() + 1)),
              0);
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO");
    SetEnvironmentVariableW(L"DORVANE_PROBE_OUT", (dir_ / "started.txt").wstring().c_str());
    fs::create_directory(dir_ / "documents");
    settings_.Write("Cindral", "Locations", "WORKGROUPPATH", (dir_ / "documents").string());
    EXPECT_EQ(Run(L"/Cindral", [this](HWND window) { CheckLayoutFocusAndTab(window); }), 0u);
    EXPECT_EQ(runBoxes_, 3);  // front-end, back-end, backup
    // In the code page the command interpreter reads (Wine's default OEM: 437).
    EXPECT_EQ(testing::ReadFile(app_ / "Dorvane.bat"),
              "\"" + dir_.path().string() + "\\B\x81ro\\Dorvane.exe\" /silent /Cindral\r\n");
    EXPECT_EQ(Files(dir_ / "documents").size(), 1u);                                         // the backup
    EXPECT_THROW(win32ui::Win32ProgramStarter().Start("Z:\\no\\such\\tool.exe", 1), Error);  // gives the message
}

}  // namespace
}  // namespace dorvane
