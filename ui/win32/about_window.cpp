#include "ui/win32/about_window.h"

#include <cstddef>
#include <stdexcept>
#include <vector>

#include "platform/wide_text.h"
#include "core/products.h"
#include "platform/windows_api.h"
#include "ui/logic/about_form.h"
#include "ui/logic/window_layout.h"
#include "ui/win32/about_window_ids.h"
#include "ui/win32/win32_message_boxes.h"

namespace dorvane::win32ui {
namespace {

constexpr int kFontPoints = 8;
constexpr int kIconPixelsAt96 = 48;

// The system cursors by number (IDC_WAIT, IDC_ARROW) for the wide function.
const wchar_t* const kWaitCursor = MAKEINTRESOURCEW(32514);
const wchar_t* const kArrowCursor = MAKEINTRESOURCEW(32512);

constexpr int kIdList = ControlId("cmbType");
constexpr int kIdPath = ControlId("cmdPath");
constexpr int kIdRun = ControlId(ui::kDefaultAndCancelButton);
constexpr int kIdCancel = ControlId("cmdOK");
constexpr int kIdSysInfo = ControlId("cmdSysInfo");
constexpr int kIdIcon = ControlId("picIcon");

COLORREF ToColorRef(const ui::Rgb& colour) { return RGB(colour.red, colour.green, colour.blue); }

struct Win32Control {
    const wchar_t* windowClass;
    DWORD style;
};

Win32Control ControlClass(const ui::ControlLayout& layout) {
    constexpr DWORD kShown = WS_CHILD | WS_VISIBLE;
    constexpr DWORD kFocusable = kShown | WS_TABSTOP;
    switch (layout.kind) {
        case ui::ControlKind::PushButton:
            return {L"BUTTON",
                    kFocusable | (layout.name == ui::kDefaultAndCancelButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON)};
        case ui::ControlKind::DropDownList:
            return {L"COMBOBOX", kFocusable | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS};
        case ui::ControlKind::Picture:  // keeps its design size, the icon centred in it
            return {L"STATIC", kFocusable | SS_ICON | SS_CENTERIMAGE};
        case ui::ControlKind::Label:
            break;
    }
    return {L"STATIC", kShown | SS_LEFT | SS_NOPREFIX};
}

const ui::ControlLayout* LayoutOf(int id) {
    for (const auto& layout : ui::kControls) {
        if (ControlId(layout.name) == id) return &layout;
    }
    return nullptr;
}

// The closed drop-down list takes its design height. The system sizes it
// from the selection field's height plus borders; measuring after each
// change finds the field height that gives it.
void SetClosedListHeight(HWND list, int height) {
    LRESULT field = SendMessageW(list, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    for (int attempt = 0; attempt < 3 && field != CB_ERR; ++attempt) {
        RECT closed;
        GetWindowRect(list, &closed);
        const LRESULT error = height - (closed.bottom - closed.top);
        if (error == 0 || field + error <= 0) return;
        field += error;
        SendMessageW(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
    }
}

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
        throw std::runtime_error("the window could not be created (system error " + std::to_string(GetLastError()) +
                                 ")");
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
            SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, kIdCancel)), TRUE);
            return FALSE;  // the focus is set
        case WM_COMMAND:
            Guarded([&] { Command(LOWORD(wParam), HIWORD(wParam)); });
            return TRUE;
        case WM_CLOSE:  // the close box closes without running anything
            EndDialog(window_, 0);
            return TRUE;
        case WM_CTLCOLORSTATIC: {
            const ui::ControlLayout* layout = LayoutOf(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
            auto* dc = reinterpret_cast<HDC>(wParam);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            SetTextColor(dc, layout != nullptr && layout->textColour != nullptr ? ToColorRef(*layout->textColour)
                                                                                : GetSysColor(COLOR_BTNTEXT));
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

    RECT frame{0, 0, ui::TwipsToPixels(ui::kClientWidth, dpi_), ui::TwipsToPixels(ui::kClientHeight, dpi_)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE)));
    SetWindowPos(window_, nullptr, ui::TwipsToPixels(ui::kDesignLeft, dpi_), ui::TwipsToPixels(ui::kDesignTop, dpi_),
                 frame.right - frame.left, frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);

    HINSTANCE instance = GetModuleHandleW(nullptr);
    const int big = GetSystemMetrics(SM_CXICON);
    const int small = GetSystemMetrics(SM_CXSMICON);
    const int picture = MulDiv(kIconPixelsAt96, dpi_, 96);
    bigIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIdProgramIcon), IMAGE_ICON, big, big, 0));
    smallIcon_ =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIdProgramIcon), IMAGE_ICON, small, small, 0));
    pictureIcon_ =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIdProgramIcon), IMAGE_ICON, picture, picture, 0));
    if (bigIcon_ != nullptr) SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    if (smallIcon_ != nullptr) SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    LOGFONTW font{};
    font.lfHeight = -MulDiv(kFontPoints, dpi_, 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, L"MS Sans Serif", LF_FACESIZE);  // the design font of the layout
    font_ = CreateFontIndirectW(&font);

    CreateControls();
    SendMessageW(window_, DM_SETDEFID, kIdRun, 0);
    form_->Form_Load();
}

void AboutWindow::CreateControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // The order of creation is the order the Tab key follows.
    bool first = true;
    for (const ui::ControlLayout& layout : ui::InTabOrder()) {
        const ui::PixelRect r = ui::TwipsRect(layout, dpi_);
        const bool isList = layout.kind == ui::ControlKind::DropDownList;
        Win32Control kind = ControlClass(layout);
        if (first) kind.style |= WS_GROUP;
        first = false;
        const std::wstring text = WideFromUtf8(layout.design_text);
        // A drop-down list is created with the height of its opened list.
        HWND control =
            CreateWindowExW(0, kind.windowClass, text.c_str(), kind.style, r.left, r.top, r.width,
                            isList ? r.height + MulDiv(120, dpi_, 96) : r.height, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(layout.name))), instance, nullptr);
        if (control == nullptr) {
            throw std::runtime_error("cannot create the window's controls (system error " +
                                     std::to_string(GetLastError()) + ")");
        }
        if (font_ != nullptr) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        if (isList) SetClosedListHeight(control, r.height);
    }
    if (pictureIcon_ != nullptr) {
        SendDlgItemMessageW(window_, kIdIcon, STM_SETICON, reinterpret_cast<WPARAM>(pictureIcon_), 0);
    }
    for (const auto& product : kProducts) {
        const std::wstring name = WideFromUtf8(product.Product);
        SendDlgItemMessageW(window_, kIdList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
}

void AboutWindow::Command(int id, int notification) {
    switch (id) {
        case kIdList:
            if (notification == CBN_SELCHANGE) form_->cmbType_Click();
            break;
        case kIdPath:
            if (notification == BN_CLICKED) form_->cmdPath_Click();
            break;
        case kIdRun:
        case IDCANCEL:  // Esc presses Run, the window's cancel button
            if (notification == BN_CLICKED) form_->cmdRun_Click();
            break;
        case kIdCancel:
            if (notification == BN_CLICKED) form_->cmdOK_Click();
            break;
        case kIdSysInfo:
            if (notification == BN_CLICKED) form_->cmdSysInfo_Click();
            break;
        default:
            break;
    }
}

void AboutWindow::PaintRule() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    for (const ui::RuleLayout& rule : ui::kRules) {
        const ui::PixelRect r = ui::RuleRect(rule, dpi_);
        const RECT strip{r.left, r.top, r.left + r.width, r.top + r.height};
        HBRUSH brush = CreateSolidBrush(ToColorRef(rule.colour));
        FillRect(dc, &strip, brush);
        DeleteObject(brush);
    }
    EndPaint(window_, &paint);
}

void AboutWindow::SetItemText(int id, const std::string& text) {
    SetDlgItemTextW(window_, id, WideFromUtf8(text).c_str());
}

void AboutWindow::SetCaption(const std::string& text) { SetWindowTextW(window_, WideFromUtf8(text).c_str()); }
void AboutWindow::SetTitleText(const std::string& text) { SetItemText(ControlId("lblTitle"), text); }
void AboutWindow::SetDescriptionText(const std::string& text) { SetItemText(ControlId("lblDescription"), text); }
void AboutWindow::SetVersionText(const std::string& text) { SetItemText(ControlId("lblVersion"), text); }
void AboutWindow::SetInfoText(const std::string& text) { SetItemText(ControlId("lblInfo"), text); }
void AboutWindow::SetLogText(const std::string& text) { SetItemText(ControlId("lblLog"), text); }

void AboutWindow::SelectProduct(const std::string& product) {
    const std::wstring name = WideFromUtf8(product);
    const LRESULT index = SendDlgItemMessageW(window_, kIdList, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                              reinterpret_cast<LPARAM>(name.c_str()));
    // Setting the selection in code raises no CBN_SELCHANGE.
    SendDlgItemMessageW(window_, kIdList, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string AboutWindow::SelectedProduct() const {
    const LRESULT index = SendDlgItemMessageW(window_, kIdList, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return {};
    const LRESULT length = SendDlgItemMessageW(window_, kIdList, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendDlgItemMessageW(window_, kIdList, CB_GETLBTEXT, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return Utf8FromWide(text);
}

void AboutWindow::SetBusyPointer(bool busy) {
    busy_ = busy;
    SetCursor(LoadCursorW(nullptr, busy ? kWaitCursor : kArrowCursor));
}

void AboutWindow::Close() { EndDialog(window_, 1); }

}  // namespace dorvane::win32ui
