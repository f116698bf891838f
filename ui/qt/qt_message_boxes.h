#pragma once
// Message boxes as Qt dialogs: modal, one OK button, the given icon and title.

#include <QString>
#include <string>

#include "core/message_boxes.h"

namespace dorvane::qtui {

class QtMessageBoxes final : public MessageBoxes {
public:
    void Show(const std::string& text, BoxIcon icon, const std::string& title) override;
};

// Program text (UTF-8, CR LF line breaks) as Qt shows it.
QString DisplayText(const std::string& text);

}  // namespace dorvane::qtui
