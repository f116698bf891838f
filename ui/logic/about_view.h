#pragma once
// What the window's logic needs of a drawn window. A toolkit implements it;
// tests implement it with a recorder.

#include <string>

namespace dorvane::ui {

class AboutView {
public:
    virtual ~AboutView() = default;

    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetTitleText(const std::string& text) = 0;        // lblTitle
    virtual void SetDescriptionText(const std::string& text) = 0;  // lblDescription
    virtual void SetVersionText(const std::string& text) = 0;      // lblVersion
    virtual void SetInfoText(const std::string& text) = 0;         // lblInfo
    virtual void SetLogText(const std::string& text) = 0;          // lblLog

    // Selects the entry of the product list. The view does not raise
    // cmbType_Click for it: the caller runs the handler itself.
    virtual void SelectProduct(const std::string& product) = 0;
    // The entry the product list shows, empty when none.
    virtual std::string SelectedProduct() const = 0;

    // The application-wide busy (hourglass) pointer on or off.
    virtual void SetBusyPointer(bool busy) = 0;
    // Ends the modal display.
    virtual void Close() = 0;
};

}  // namespace dorvane::ui
