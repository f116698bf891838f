#include "ui/qt/about_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <exception>

#include "core/products.h"
#include "ui/logic/about_form.h"
#include "ui/logic/about_texts.h"
#include "ui/logic/window_layout.h"
#include "ui/qt/qt_message_boxes.h"

// Resources of a static library are registered by hand, outside any namespace.
static void InitDorvaneResources() { Q_INIT_RESOURCE(dorvane); }

namespace dorvane::qtui {
namespace {

// The design font of the window: every position assumes its line height.
constexpr double kWindowFontPoints = 8.0;
constexpr double kSmallestFontPoints = 6.5;

double ScreenDpi(double requested) {
    if (requested > 0) return requested;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
}

QString FromView(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QRect ToQRect(const ui::PixelRect& r) { return QRect(r.left, r.top, r.width, r.height); }

void SetColour(QWidget* widget, QPalette::ColorRole role, const ui::Rgb& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, QColor(colour.red, colour.green, colour.blue));
    widget->setPalette(palette);
}

QWidget* MakeControl(QWidget* parent, const ui::ControlLayout& layout, const QPixmap& icon) {
    QWidget* control = nullptr;
    switch (layout.kind) {
        case ui::ControlKind::PushButton:
            control = new QPushButton(FromView(layout.design_text), parent);
            break;
        case ui::ControlKind::DropDownList: {
            auto* list = new QComboBox(parent);
            list->setEditable(false);  // pick an entry, never type one
            for (const auto& product : kProducts) list->addItem(FromView(product.Product));
            control = list;
            break;
        }
        case ui::ControlKind::Picture: {
            auto* picture = new QLabel(parent);
            picture->setAlignment(Qt::AlignCenter);
            picture->setPixmap(icon);
            picture->setFocusPolicy(Qt::TabFocus);  // reached by Tab, not by a click
            control = picture;
            break;
        }
        case ui::ControlKind::Label: {
            auto* label = new QLabel(FromView(layout.design_text), parent);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(true);
            control = label;
            break;
        }
    }
    control->setObjectName(FromView(layout.name));
    if (layout.textColour != nullptr) SetColour(control, QPalette::WindowText, *layout.textColour);
    return control;
}

// A rule is a filled strip of its pen width.
void MakeRule(QWidget* parent, const ui::RuleLayout& layout, double dpi) {
    auto* rule = new QWidget(parent);
    rule->setObjectName(FromView(layout.name));
    rule->setGeometry(ToQRect(ui::RuleRect(layout, dpi)));
    rule->setAutoFillBackground(true);
    SetColour(rule, QPalette::Window, layout.colour);
}

// The window's font at the design size, made smaller only as far as the
// one-line description needs to fit its label with the fonts installed here.
QFont WindowFont(QFont base, int descriptionWidth) {
    const QString description = FromView(ui::kFileDescription);
    for (double points = kWindowFontPoints; points >= kSmallestFontPoints; points -= 0.5) {
        base.setPointSizeF(points);
        if (QFontMetrics(base).horizontalAdvance(description) <= descriptionWidth) break;
    }
    return base;
}

}  // namespace

AboutDialog::AboutDialog(double logicalDpi) {
    InitDorvaneResources();
    const double dpi = ScreenDpi(logicalDpi);

    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Zentro Software"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(ui::TwipsToPixels(ui::kClientWidth, dpi), ui::TwipsToPixels(ui::kClientHeight, dpi));
    setSizeGripEnabled(false);
    move(ui::TwipsToPixels(ui::kDesignLeft, dpi), ui::TwipsToPixels(ui::kDesignTop, dpi));
    setFont(WindowFont(font(), ui::TwipsRect(ui::ControlNamed("lblDescription"), dpi).width));
    const QPixmap icon(QStringLiteral(":/dorvane/dorvane48.png"));
    setWindowIcon(QIcon(icon));

    for (const auto& layout : ui::kControls) {
        QWidget* control = MakeControl(this, layout, icon);
        control->setGeometry(ToQRect(ui::TwipsRect(layout, dpi)));
    }
    for (const auto& rule : ui::kRules) MakeRule(this, rule, dpi);

    // Labels lie under the controls that take focus, so they never catch their clicks.
    QWidget* previous = nullptr;
    for (const auto& layout : ui::InTabOrder()) {
        if (!ui::TakesFocus(layout.kind)) continue;
        QWidget* control = findChild<QWidget*>(FromView(layout.name));
        control->raise();
        if (previous != nullptr)
            setTabOrder(previous, control);
        else
            control->setFocus(Qt::OtherFocusReason);
        previous = control;
    }

    cmdPath_ = findChild<QPushButton*>(QStringLiteral("cmdPath"));
    cmbType_ = findChild<QComboBox*>(QStringLiteral("cmbType"));
    cmdRun_ = findChild<QPushButton*>(FromView(ui::kDefaultAndCancelButton));
    cmdOK_ = findChild<QPushButton*>(QStringLiteral("cmdOK"));
    cmdSysInfo_ = findChild<QPushButton*>(QStringLiteral("cmdSysInfo"));
    lblTitle_ = findChild<QLabel*>(QStringLiteral("lblTitle"));
    lblLog_ = findChild<QLabel*>(QStringLiteral("lblLog"));
    lblDescription_ = findChild<QLabel*>(QStringLiteral("lblDescription"));
    lblVersion_ = findChild<QLabel*>(QStringLiteral("lblVersion"));
    lblInfo_ = findChild<QLabel*>(QStringLiteral("lblInfo"));
    // Run answers both Enter and Esc; a focused push button takes Enter itself.
    cmdRun_->setDefault(true);
}

AboutDialog::~AboutDialog() { SetBusyPointer(false); }

void AboutDialog::Bind(ui::AboutForm& form) {
    form_ = &form;
    connect(cmdPath_, &QPushButton::clicked, this, [this] { Handle(&ui::AboutForm::cmdPath_Click); });
    connect(cmdRun_, &QPushButton::clicked, this, [this] { Handle(&ui::AboutForm::cmdRun_Click); });
    connect(cmdOK_, &QPushButton::clicked, this, [this] { Handle(&ui::AboutForm::cmdOK_Click); });
    connect(cmdSysInfo_, &QPushButton::clicked, this, [this] { Handle(&ui::AboutForm::cmdSysInfo_Click); });
    connect(cmbType_, &QComboBox::activated, this, [this] { Handle(&ui::AboutForm::cmbType_Click); });
}

void AboutDialog::Handle(void (ui::AboutForm::*handler)()) {
    if (form_ == nullptr) return;
    // Nothing may unwind through Qt's event loop.
    try {
        (form_->*handler)();
    } catch (const std::exception& error) {
        SetBusyPointer(false);
        QtMessageBoxes().Show(error.what(), BoxIcon::Critical, std::string(ui::kWindowCaption));
    }
}

void AboutDialog::SetCaption(const std::string& text) { setWindowTitle(DisplayText(text)); }
void AboutDialog::SetTitleText(const std::string& text) { lblTitle_->setText(DisplayText(text)); }
void AboutDialog::SetDescriptionText(const std::string& text) { lblDescription_->setText(DisplayText(text)); }
void AboutDialog::SetVersionText(const std::string& text) { lblVersion_->setText(DisplayText(text)); }
void AboutDialog::SetInfoText(const std::string& text) { lblInfo_->setText(DisplayText(text)); }
void AboutDialog::SetLogText(const std::string& text) { lblLog_->setText(DisplayText(text)); }

void AboutDialog::SelectProduct(const std::string& product) {
    const int index = cmbType_->findText(QString::fromStdString(product), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) cmbType_->setCurrentIndex(index);
}

std::string AboutDialog::SelectedProduct() const { return cmbType_->currentText().toStdString(); }

void AboutDialog::SetBusyPointer(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void AboutDialog::Close() { accept(); }

void AboutDialog::keyPressEvent(QKeyEvent* event) {
    // Esc presses Run wherever the focus is (Run is also the cancel button).
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        cmdRun_->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace dorvane::qtui
