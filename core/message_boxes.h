#pragma once
// Modal message boxes with one OK button. Texts may hold CR LF line breaks.

#include <string>

namespace dorvane {

enum class BoxIcon { None, Information, Critical };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void Show(const std::string& text, BoxIcon icon, const std::string& title) = 0;
};

// Unattended runs show nothing.
class SilentMessageBoxes final : public MessageBoxes {
public:
    void Show(const std::string&, BoxIcon, const std::string&) override {}
};

}  // namespace dorvane
