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
#include <algorithm>
#include <cmath>
#include <exception>

#include "core/products.h"
#include "ui/logic/about_form.h"
#include "ui/logic/about_texts.h"
#include "ui/qt/qt_message_boxes.h"
#include "ui/qt/twips.h"

// Resources of a static library are registered by hand, outside any namespace.
static void InitDorvaneResources() { Q_INIT_RESOURCE(dorvane); }

namespace dorvane::qtui {
namespace {

constexpr int kClientWidth = 5715;
constexpr int kClientHeight = 4350;
constexpr int kDesignLeft = 2340;  // where the window opens on the screen
constexpr int kDesignTop = 1935;
// The design font of the window: every position assumes its line height.
constexpr double kWindowFontPoints = 8.0;
constexpr double kSmallestFontPoints = 6.5;

const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);
const QColor kGrey(128, 128, 128);
const QColor kWhite(255, 255, 255);

double ScreenDpi(double requested) {
    if (requested > 0) return requested;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& rect) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(rect);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, const QRect& rect) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(rect);
    return button;
}

// A straight rule, drawn as a filled strip of its pen width.
void MakeRule(QWidget* parent, const char* name, int x1, int x2, int y, int penPixels,
              const QColor& colour, double dpi) {
    auto* rule = new QWidget(parent);
    rule->setObjectName(QString::fromLatin1(name));
    const int left = TwipsToPixels(x1, dpi);
    const int top = TwipsToPixels(y, dpi);
    const int thickness = std::max(1, static_cast<int>(std::lround(penPixels * dpi / 96.0)));
    rule->setGeometry(left, top, TwipsToPixels(x2, dpi) - left, thickness);
    rule->setAutoFillBackground(true);
    QPalette palette = rule->palette();
    palette.setColor(QPalette::Window, colour);
    rule->setPalette(palette);
}

// The window's font at the design size, made smaller only as far as the
// one-line description needs to fit its label with the fonts installed here.
QFont WindowFont(QFont base, int descriptionWidth) {
    const QString description = QString::fromUtf8(
        ui::kFileDescription.data(), static_cast<qsizetype>(ui::kFileDescription.size()));
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
    auto at = [dpi](int left, int top, int width, int height) {
        return TwipsRect(left, top, width, height, dpi);
    };

    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Zentro Software"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(TwipsToPixels(kClientWidth, dpi), TwipsToPixels(kClientHeight, dpi));
    setSizeGripEnabled(false);
    move(TwipsToPixels(kDesignLeft, dpi), TwipsToPixels(kDesignTop, dpi));
    setFont(WindowFont(font(), at(120, 1200, 2925, 330).width()));
    const QPixmap icon(QStringLiteral(":/dorvane/dorvane48.png"));
    setWindowIcon(QIcon(icon));

    // Created in the window's own order; labels lie under the buttons.
    cmdPath_ = MakeButton(this, "cmdPath", "Select Backup folder", at(120, 3840, 2655, 375));
    cmbType_ = new QComboBox(this);
    cmbType_->setObjectName(QStringLiteral("cmbType"));
    cmbType_->setGeometry(at(3360, 480, 2055, 315));
    cmbType_->setEditable(false);
    for (const auto& product : kProducts) {
        cmbType_->addItem(QString::fromUtf8(product.Product.data(),
                                            static_cast<qsizetype>(product.Product.size())));
    }
    cmdRun_ = MakeButton(this, "cmdRun", "Run", at(4080, 960, 1335, 375));
    picIcon_ = new QLabel(this);
    picIcon_->setObjectName(QStringLiteral("picIcon"));
    picIcon_->setGeometry(at(480, 240, 750, 750));
    picIcon_->setAlignment(Qt::AlignCenter);
    picIcon_->setPixmap(icon);
    cmdOK_ = MakeButton(this, "cmdOK", "Cancel", at(4080, 1440, 1335, 375));
    cmdSysInfo_ = MakeButton(this, "cmdSysInfo", "&System Info...", at(2400, 1560, 1245, 345));
    lblTitle_ = MakeLabel(this, "lblTitle", at(1680, 510, 1575, 255));
    lblLog_ = MakeLabel(this, "lblLog", at(120, 2760, 5415, 1335));
    MakeRule(this, "Line1_1", 90, 5654, 1965, 1, kGrey, dpi);
    lblDescription_ = MakeLabel(this, "lblDescription", at(120, 1200, 2925, 330));
    MakeRule(this, "Line1_0", 105, 5654, 1980, 2, kWhite, dpi);
    lblVersion_ = MakeLabel(this, "lblVersion", at(120, 1560, 1965, 225));
    lblInfo_ = MakeLabel(this, "lblInfo", at(240, 2040, 5175, 705));

    SetTextColour(lblTitle_, kBlack);
    SetTextColour(lblDescription_, kBlack);
    SetTextColour(lblLog_, kBlue);
    SetTextColour(lblInfo_, kBlue);
    for (QWidget* control : {static_cast<QWidget*>(cmdPath_), static_cast<QWidget*>(cmbType_),
                             static_cast<QWidget*>(cmdRun_), static_cast<QWidget*>(cmdOK_),
                             static_cast<QWidget*>(cmdSysInfo_)}) {
        control->raise();
    }

    // Run answers both Enter and Esc; a focused push button takes Enter itself.
    cmdRun_->setDefault(true);
    setTabOrder(cmdOK_, cmdSysInfo_);
    setTabOrder(cmdSysInfo_, cmdRun_);
    setTabOrder(cmdRun_, cmbType_);
    setTabOrder(cmbType_, cmdPath_);
    cmdOK_->setFocus(Qt::OtherFocusReason);
}

AboutDialog::~AboutDialog() { SetBusyPointer(false); }

void AboutDialog::Bind(ui::AboutForm& form) {
    form_ = &form;
    connect(cmdPath_, &QPushButton::clicked, this, [this] { Handle(&ui::AboutForm::cmdPath_Click); });
    connect(cmdRun_, &QPushButton::clicked, this, [this] { Handle(&ui::AboutForm::cmdRun_Click); });
    connect(cmdOK_, &QPushButton::clicked, this, [this] { Handle(&ui::AboutForm::cmdOK_Click); });
    connect(cmdSysInfo_, &QPushButton::clicked, this,
            [this] { Handle(&ui::AboutForm::cmdSysInfo_Click); });
    connect(cmbType_, &QComboBox::activated, this,
            [this] { Handle(&ui::AboutForm::cmbType_Click); });
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
void AboutDialog::SetDescriptionText(const std::string& text) {
    lblDescription_->setText(DisplayText(text));
}
void AboutDialog::SetVersionText(const std::string& text) {
    lblVersion_->setText(DisplayText(text));
}
void AboutDialog::SetInfoText(const std::string& text) { lblInfo_->setText(DisplayText(text)); }
void AboutDialog::SetLogText(const std::string& text) { lblLog_->setText(DisplayText(text)); }

void AboutDialog::SelectProduct(const std::string& product) {
    const int index = cmbType_->findText(QString::fromStdString(product),
                                         Qt::MatchExactly | Qt::MatchCaseSensitive);
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
