#pragma once
// Message boxes of the system: one OK button, the icon asked for, the given
// title; modal to the window when one is open.

#include "core/message_boxes.h"

struct HWND__;

namespace dorvane::win32ui {

class Win32MessageBoxes final : public MessageBoxes {
public:
    explicit Win32MessageBoxes(HWND__* owner = nullptr) : owner_(owner) {}
    void SetOwner(HWND__* owner) { owner_ = owner; }
    void Show(const std::string& text, BoxIcon icon, const std::string& title) override;

private:
    HWND__* owner_;
};

}  // namespace dorvane::win32ui
