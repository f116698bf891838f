#pragma once
// frmAbout drawn with Qt Widgets from the window's layout table, every
// control at its design position scaled to the screen. The handlers live in
// ui::AboutForm; this class only draws and forwards.

#include <QDialog>

#include "ui/logic/about_view.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace dorvane::ui {
class AboutForm;
}

namespace dorvane::qtui {

class AboutDialog final : public QDialog, public ui::AboutView {
    Q_OBJECT

public:
    // Laid out for the given logical DPI; 0 takes the primary screen's.
    explicit AboutDialog(double logicalDpi = 0);
    ~AboutDialog() override;

    // Connects the controls to the handlers.
    void Bind(ui::AboutForm& form);

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

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Handle(void (ui::AboutForm::*handler)());

    ui::AboutForm* form_ = nullptr;
    bool busy_ = false;
    QPushButton* cmdPath_;
    QComboBox* cmbType_;
    QPushButton* cmdRun_;
    QPushButton* cmdOK_;
    QPushButton* cmdSysInfo_;
    QLabel* lblTitle_;
    QLabel* lblLog_;
    QLabel* lblDescription_;
    QLabel* lblVersion_;
    QLabel* lblInfo_;
};

}  // namespace dorvane::qtui
