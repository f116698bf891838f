#pragma once
// frmAbout drawn with Win32 controls: a modal dialog built from the window's
// layout table, converted at the screen's DPI.

#include <exception>
#include <string>

#include "ui/logic/about_view.h"

struct HWND__;
struct HFONT__;
struct HICON__;

namespace dorvane::ui {
class AboutForm;
}

namespace dorvane::win32ui {

class Win32MessageBoxes;

class AboutWindow final : public ui::AboutView {
public:
    AboutWindow();
    ~AboutWindow() override;
    AboutWindow(const AboutWindow&) = delete;
    AboutWindow& operator=(const AboutWindow&) = delete;

    // Creates the window, runs Form_Load before it is first shown, and
    // returns when it closes. While it is open the boxes are owned by it.
    // A failure inside a handler closes the window and is thrown from here.
    void Run(ui::AboutForm& form, Win32MessageBoxes& boxes);

    void SetCaption(const std::string& text) override;
    void SetTitleText(const std::string& text) override;
    void SetDescriptionText(const std::string& text) override;
    void SetVersionText(const std::string& text) override;
    void SetInfoText(const std::string& text) override;
    void SetLogText(const std::string& text) override;
    void SelectProduct(const std::string& product) override;
    std::string SelectedProduct() const override;
    void SetBusyPointer(bool busy) override;
    void Close() override;

private:
    static long long __stdcall DialogProc(HWND__* window, unsigned message, unsigned long long wParam,
                                          long long lParam);
    long long Handle(unsigned message, unsigned long long wParam, long long lParam);
    void Initialise();
    void CreateControls();
    void Command(int id, int notification);
    void PaintRule();
    void SetItemText(int id, const std::string& text);
    template <typename Handler>
    void Guarded(Handler&& handler);

    HWND__* window_ = nullptr;
    ui::AboutForm* form_ = nullptr;
    Win32MessageBoxes* boxes_ = nullptr;
    int dpi_ = 96;
    HFONT__* font_ = nullptr;
    HICON__* bigIcon_ = nullptr;
    HICON__* smallIcon_ = nullptr;
    HICON__* pictureIcon_ = nullptr;
    bool busy_ = false;
    std::exception_ptr failure_;
};

}  // namespace dorvane::win32ui
