#include "ui/win32/about_window.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "platform/ansi_text.h"
#include "core/products.h"
#include "platform/windows_api.h"
#include "ui/logic/about_form.h"
#include "ui/win32/about_window_ids.h"
#include "ui/win32/twips.h"
#include "ui/win32/win32_message_boxes.h"

namespace dorvane::win32ui {
namespace {

constexpr int kClientWidth = 5715;
constexpr int kClientHeight = 4350;
constexpr int kDesignLeft = 2340;
constexpr int kDesignTop = 1935;
constexpr int kFontPoints = 8;
constexpr int kIconPixelsAt96 = 48;

// The system cursors by number (IDC_WAIT, IDC_ARROW) for the wide function.
const wchar_t* const kWaitCursor = MAKEINTRESOURCEW(32514);
const wchar_t* const kArrowCursor = MAKEINTRESOURCEW(32512);

constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kWhite = RGB(255, 255, 255);

struct ControlLayout {
    int id;
    const wchar_t* windowClass;
    const wchar_t* text;
    DWORD style;
    int left, top, width, height;  // twips
};

constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;

// In tab order: the order of creation is the order the Tab key follows.
constexpr ControlLayout kControls[] = {
    {kIdCmdOK, L"BUTTON", L"Cancel", kButton | WS_GROUP, 4080, 1440, 1335, 375},
    {kIdPicIcon, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_ICON, 480, 240, 750, 750},
    {kIdCmdSysInfo, L"BUTTON", L"&System Info...", kButton, 2400, 1560, 1245, 345},
    {kIdLblDescription, L"STATIC", L"App Description", kLabel, 120, 1200, 2925, 330},
    {kIdLblInfo, L"STATIC", L"Warning: ...", kLabel, 240, 2040, 5175, 705},
    {kIdLblVersion, L"STATIC", L"Version", kLabel, 120, 1560, 1965, 225},
    {kIdCmdRun, L"BUTTON", L"Run", (kButton & ~DWORD{BS_PUSHBUTTON}) | BS_DEFPUSHBUTTON, 4080, 960, 1335, 375},
    {kIdLblLog, L"STATIC", L"Label1", kLabel, 120, 2760, 5415, 1335},
    {kIdCmbType, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS,
     3360, 480, 2055, 315},
    {kIdLblTitle, L"STATIC", L"Application Title", kLabel, 1680, 510, 1575, 255},
    {kIdCmdPath, L"BUTTON", L"Select Backup folder", kButton, 120, 3840, 2655, 375},
};

// The etched rule: a grey line with a white one a pixel below it.
struct RuleLayout {
    int x1, x2, y, pixels;
    COLORREF colour;
};
constexpr RuleLayout kRules[] = {{90, 5654, 1965, 1, kGrey}, {105, 5654, 1980, 2, kWhite}};

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// An empty dialog template: the controls are made at run time, in pixels.
std::vector<DWORD> EmptyDialogTemplate() {
    std::vector<DWORD> storage(16, 0);  // DWORD storage keeps the required alignment
    auto* dialog = reinterpret_cast<DLGTEMPLATE*>(storage.data());
    dialog->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    dialog->dwExtendedStyle = WS_EX_CONTROLPARENT;
    dialog->cdit = 0;
    // Menu, class and title follow as empty words: the zeroed storage.
    return storage;
}

}  // namespace

AboutWindow::AboutWindow() = default;

AboutWindow::~AboutWindow() {
    if (font_ != nullptr) DeleteObject(font_);
    for (HICON icon : {bigIcon_, smallIcon_, pictureIcon_}) {
        if (icon != nullptr) DestroyIcon(icon);
    }
}

void AboutWindow::Run(ui::AboutForm& form, Win32MessageBoxes& boxes) {
    form_ = &form;
    boxes_ = &boxes;
    failure_ = nullptr;
    const auto dialogTemplate = EmptyDialogTemplate();
    const INT_PTR result = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()), nullptr,
        reinterpret_cast<DLGPROC>(&AboutWindow::DialogProc), reinterpret_cast<LPARAM>(this));
    boxes.SetOwner(nullptr);
    window_ = nullptr;
    if (failure_) std::rethrow_exception(failure_);
    if (result == -1) {
        throw std::runtime_error("the window could not be created (system error " +
                                 std::to_string(GetLastError()) + ")");
    }
}

long long __stdcall AboutWindow::DialogProc(HWND__* window, unsigned message, unsigned long long wParam,
                                            long long lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<AboutWindow*>(lParam);
        self->window_ = window;
    }
    auto* self = reinterpret_cast<AboutWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
}

template <typename Handler>
void AboutWindow::Guarded(Handler&& handler) {
    // Nothing may unwind through the system's dialog code.
    try {
        handler();
    } catch (...) {
        failure_ = std::current_exception();
        EndDialog(window_, 0);
    }
}

long long AboutWindow::Handle(unsigned message, unsigned long long wParam, long long lParam) {
    switch (message) {
        case WM_INITDIALOG:
            Guarded([&] { Initialise(); });
            // Through the dialog manager, so that Cancel, holding the focus,
            // is also the button Enter presses until the focus moves on.
            SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, kIdCmdOK)), TRUE);
            return FALSE;  // the focus is set
        case WM_COMMAND:
            Guarded([&] { Command(LOWORD(wParam), HIWORD(wParam)); });
            return TRUE;
        case WM_CLOSE:  // the close box closes without running anything
            EndDialog(window_, 0);
            return TRUE;
        case WM_CTLCOLORSTATIC: {
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            auto* dc = reinterpret_cast<HDC>(wParam);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            if (id == kIdLblInfo || id == kIdLblLog) SetTextColor(dc, kBlue);
            else if (id == kIdLblTitle || id == kIdLblDescription) SetTextColor(dc, kBlack);
            else SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_PAINT:
            PaintRule();
            return TRUE;
        case WM_SETCURSOR:
            if (!busy_) return FALSE;
            SetCursor(LoadCursorW(nullptr, kWaitCursor));
            SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        default:
            return FALSE;
    }
}

void AboutWindow::Initialise() {
    boxes_->SetOwner(window_);
    dpi_ = ScreenDpi();

    RECT frame{0, 0, TwipsToPixels(kClientWidth, dpi_), TwipsToPixels(kClientHeight, dpi_)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE)));
    SetWindowPos(window_, nullptr, TwipsToPixels(kDesignLeft, dpi_), TwipsToPixels(kDesignTop, dpi_),
                 frame.right - frame.left, frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);

    HINSTANCE instance = GetModuleHandleW(nullptr);
    const int big = GetSystemMetrics(SM_CXICON);
    const int small = GetSystemMetrics(SM_CXSMICON);
    const int picture = MulDiv(kIconPixelsAt96, dpi_, 96);
    bigIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIdProgramIcon), IMAGE_ICON, big, big, 0));
    smallIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIdProgramIcon), IMAGE_ICON, small, small, 0));
    pictureIcon_ = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(kIdProgramIcon), IMAGE_ICON, picture, picture, 0));
    if (bigIcon_ != nullptr) SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    if (smallIcon_ != nullptr) SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    LOGFONTW font{};
    font.lfHeight = -MulDiv(kFontPoints, dpi_, 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, L"MS Sans Serif", LF_FACESIZE);  // the design font of the layout
    font_ = CreateFontIndirectW(&font);

    CreateControls();
    SendMessageW(window_, DM_SETDEFID, kIdCmdRun, 0);
    form_->Form_Load();
}

void AboutWindow::CreateControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const ControlLayout& layout : kControls) {
        PixelRect r = TwipsRect(layout.left, layout.top, layout.width, layout.height, dpi_);
        // A drop-down list's height includes its opened list.
        if (layout.id == kIdCmbType) r.height += MulDiv(120, dpi_, 96);
        HWND control = CreateWindowExW(0, layout.windowClass, layout.text, layout.style, r.left, r.top, r.width,
                                       r.height, window_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)), instance, nullptr);
        if (control == nullptr) {
            throw std::runtime_error("cannot create the window's controls (system error " +
                                     std::to_string(GetLastError()) + ")");
        }
        if (font_ != nullptr) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    }
    if (pictureIcon_ != nullptr) {
        SendDlgItemMessageW(window_, kIdPicIcon, STM_SETICON, reinterpret_cast<WPARAM>(pictureIcon_), 0);
    }
    for (const auto& product : kProducts) {
        const std::wstring name = WideFromAnsi(product.Product);
        SendDlgItemMessageW(window_, kIdCmbType, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
}

void AboutWindow::Command(int id, int notification) {
    switch (id) {
        case kIdCmbType:
            if (notification == CBN_SELCHANGE) form_->cmbType_Click();
            break;
        case kIdCmdPath:
            if (notification == BN_CLICKED) form_->cmdPath_Click();
            break;
        case kIdCmdRun:
        case IDCANCEL:  // Esc presses Run, the window's cancel button
            if (notification == BN_CLICKED) form_->cmdRun_Click();
            break;
        case kIdCmdOK:
            if (notification == BN_CLICKED) form_->cmdOK_Click();
            break;
        case kIdCmdSysInfo:
            if (notification == BN_CLICKED) form_->cmdSysInfo_Click();
            break;
        default:
            break;
    }
}

void AboutWindow::PaintRule() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    for (const RuleLayout& rule : kRules) {
        const int left = TwipsToPixels(rule.x1, dpi_);
        const int top = TwipsToPixels(rule.y, dpi_);
        const RECT strip{left, top, TwipsToPixels(rule.x2, dpi_), top + std::max(1, MulDiv(rule.pixels, dpi_, 96))};
        HBRUSH brush = CreateSolidBrush(rule.colour);
        FillRect(dc, &strip, brush);
        DeleteObject(brush);
    }
    EndPaint(window_, &paint);
}

void AboutWindow::SetItemText(int id, const std::string& text) {
    SetDlgItemTextW(window_, id, WideFromAnsi(text).c_str());
}

void AboutWindow::SetCaption(const std::string& text) { SetWindowTextW(window_, WideFromAnsi(text).c_str()); }
void AboutWindow::SetTitleText(const std::string& text) { SetItemText(kIdLblTitle, text); }
void AboutWindow::SetDescriptionText(const std::string& text) { SetItemText(kIdLblDescription, text); }
void AboutWindow::SetVersionText(const std::string& text) { SetItemText(kIdLblVersion, text); }
void AboutWindow::SetInfoText(const std::string& text) { SetItemText(kIdLblInfo, text); }
void AboutWindow::SetLogText(const std::string& text) { SetItemText(kIdLblLog, text); }

void AboutWindow::SelectProduct(const std::string& product) {
    const std::wstring name = WideFromAnsi(product);
    const LRESULT index =
        SendDlgItemMessageW(window_, kIdCmbType, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>(name.c_str()));
    // Setting the selection in code raises no CBN_SELCHANGE.
    SendDlgItemMessageW(window_, kIdCmbType, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string AboutWindow::SelectedProduct() const {
    const LRESULT index = SendDlgItemMessageW(window_, kIdCmbType, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return {};
    const LRESULT length = SendDlgItemMessageW(window_, kIdCmbType, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendDlgItemMessageW(window_, kIdCmbType, CB_GETLBTEXT, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return AnsiFromWide(text);
}

void AboutWindow::SetBusyPointer(bool busy) {
    busy_ = busy;
    SetCursor(LoadCursorW(nullptr, busy ? kWaitCursor : kArrowCursor));
}

void AboutWindow::Close() { EndDialog(window_, 1); }

}  // namespace dorvane::win32ui
