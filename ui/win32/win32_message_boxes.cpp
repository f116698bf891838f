#include "ui/win32/win32_message_boxes.h"

#include "platform/wide_text.h"
#include "platform/windows_api.h"

namespace dorvane::win32ui {

void Win32MessageBoxes::Show(const std::string& text, BoxIcon icon, const std::string& title) {
    UINT style = MB_OK | MB_SETFOREGROUND;
    switch (icon) {
        case BoxIcon::Information:
            style |= MB_ICONINFORMATION;
            break;
        case BoxIcon::Critical:
            style |= MB_ICONERROR;
            break;
        case BoxIcon::None:
            break;
    }
    // Without an owner the box must not hide behind other programs' windows.
    if (owner_ == nullptr) style |= MB_TOPMOST;
    MessageBoxW(owner_, WideFromUtf8(text).c_str(), WideFromUtf8(title).c_str(), style);
}

}  // namespace dorvane::win32ui
