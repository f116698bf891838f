// The window drawn by Qt on the offscreen platform: built from the layout
// table, driven by keys, and shown by the program with its own operations,
// boxes and folder dialog. Writes pictures of the window into the build
// folder.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <tuple>

#include "tests/support/fakes.h"
#include "ui/logic/about_form.h"
#include "ui/logic/posix_platform.h"
#include "ui/logic/window_layout.h"
#include "ui/qt/about_dialog.h"
#include "ui/qt/qt_folder_dialog.h"
#include "ui/qt/show_window.h"

namespace dorvane::qtui {
namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

class AboutDialogTest : public ::testing::Test {
protected:
    testing::FakeWorld world;
    AboutDialog dialog{96.0};
    QtFolderDialog folders{nullptr};
    ui::PosixRegistry registry;  // no tool here: System Info shows its message
    ui::PosixProgramStarter starter;
    int runs = 0;
    ui::AboutForm form{world.rt, dialog, folders, ui::SysInfoTools{registry, starter},
                       ui::WindowOperations{[this](Runtime&) { ++runs; }, [](Runtime&) {},
                                            [](Runtime&) { return std::string("C:\\Docs"); }}};

    void SetUp() override {
        world.settings.Set("Alveto", "TitleBar", "sqlver", "0");
        world.settings.Set("Alveto", "Locations", "APPPATH", "C:\\Zentro\\Alveto");
        world.settings.Set("Alveto", "Locations", "BKpath", "D:\\Backups");
        world.settings.Set("Bresk", "TitleBar", "sqlver", "1");
        world.rt.ctx.Product = "Alveto";
        dialog.Bind(form);
        form.Form_Load();
    }
    QWidget* Control(std::string_view name) { return dialog.findChild<QWidget*>(Q(name)); }
    std::string Focused() { return QApplication::focusWidget()->objectName().toStdString(); }
    void ShowActive() {
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
};

TEST_F(AboutDialogTest, EveryControlIsBuiltFromTheLayoutTableAtTheScreensDpi) {
    for (const double dpi : {96.0, 144.0}) {
        AboutDialog window(dpi);
        const auto rect = [](const ui::PixelRect& r) { return QRect(r.left, r.top, r.width, r.height); };
        EXPECT_EQ(window.minimumSize(), window.maximumSize());
        EXPECT_EQ(window.size(),
                  QSize(ui::TwipsToPixels(ui::kClientWidth, dpi), ui::TwipsToPixels(ui::kClientHeight, dpi)));
        EXPECT_EQ(window.pos(),
                  QPoint(ui::TwipsToPixels(ui::kDesignLeft, dpi), ui::TwipsToPixels(ui::kDesignTop, dpi)));
        for (const auto& layout : ui::kControls) {
            SCOPED_TRACE(std::string(layout.name) + " at " + std::to_string(dpi));
            auto* control = window.findChild<QWidget*>(Q(layout.name));
            ASSERT_NE(control, nullptr);
            EXPECT_EQ(control->geometry(), rect(ui::TwipsRect(layout, dpi)));
            EXPECT_EQ((control->focusPolicy() & Qt::TabFocus) != 0, ui::TakesFocus(layout.kind));
            if (const ui::Rgb* c = layout.textColour) {
                EXPECT_EQ(control->palette().color(QPalette::WindowText), QColor(c->red, c->green, c->blue));
            }
            const auto* button = qobject_cast<QPushButton*>(control);
            EXPECT_EQ(button != nullptr, layout.kind == ui::ControlKind::PushButton);
            if (button != nullptr) {
                EXPECT_EQ(button->text(), Q(layout.design_text));
            }
            EXPECT_EQ(qobject_cast<QComboBox*>(control) != nullptr, layout.kind == ui::ControlKind::DropDownList);
        }
        for (const auto& rule : ui::kRules) {
            const auto* line = window.findChild<QWidget*>(Q(rule.name));
            EXPECT_EQ(line->geometry(), rect(ui::RuleRect(rule, dpi))) << rule.name;
            EXPECT_TRUE(line->autoFillBackground());
            EXPECT_EQ(line->palette().color(QPalette::Window),
                      QColor(rule.colour.red, rule.colour.green, rule.colour.blue));
        }
    }
    EXPECT_TRUE(dialog.grab().save(QStringLiteral(DORVANE_UI_PICTURES "/frmAbout-alveto-access.png")));
    // Edges are rounded, not sizes: 5715 twips are 571.5 pixels at 144 DPI.
    EXPECT_EQ(AboutDialog(144.0).size(), QSize(572, 435));
    EXPECT_FALSE(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(qobject_cast<QLabel*>(Control("picIcon"))->pixmap().size(), QSize(48, 48));
    auto* list = qobject_cast<QComboBox*>(Control("cmbType"));
    EXPECT_FALSE(list->isEditable());
    EXPECT_EQ(QStringList({list->itemText(0), list->itemText(1), list->itemText(2)}),
              QStringList({"Alveto", "Bresk", "Cindral"}));
}

// Focus starts on Cancel and Tab goes to the icon next, then on in tab order;
// Enter presses the focused button or Run, Esc always Run, the close box
// nothing; a product picked from the list is selected.
TEST_F(AboutDialogTest, TabOrderKeysAndTheListDriveTheForm) {
    ShowActive();
    std::vector<std::string> visited{Focused()};
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(Focused());
    }
    EXPECT_EQ(visited,
              (std::vector<std::string>{"cmdOK", "picIcon", "cmdSysInfo", "cmdRun", "cmbType", "cmdPath", "cmdOK"}));
    QTest::mouseClick(Control("picIcon"), Qt::LeftButton);  // focusable, not clickable
    EXPECT_EQ(Focused(), "cmdOK");
    const std::tuple<const char*, Qt::Key, int> cases[] = {
        // where, which key, runs (-1: System Info)
        {"cmdOK", Qt::Key_Return, 0},      {"picIcon", Qt::Key_Return, 1}, {"cmbType", Qt::Key_Return, 1},
        {"cmdSysInfo", Qt::Key_Enter, -1}, {"cmdOK", Qt::Key_Escape, 1},   {"cmbType", Qt::Key_Escape, 1},
        {nullptr, Qt::Key_unknown, 0},  // the close box
    };
    for (const auto& [focus, key, ran] : cases) {
        SCOPED_TRACE(std::string(focus ? focus : "close box") + " " + QTest::toString(key));
        runs = 0;
        world.boxes.shown.clear();
        ShowActive();
        if (focus == nullptr) {
            dialog.close();
        } else {
            Control(focus)->setFocus(Qt::TabFocusReason);
            QTest::keyClick(Control(focus), key);
        }
        EXPECT_EQ(runs, std::max(ran, 0));
        EXPECT_EQ(dialog.isVisible(), ran < 0);
        EXPECT_EQ(world.boxes.shown.size(), ran < 0 ? 1u : 0u);  // the System Info message
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    ShowActive();
    Control("cmbType")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(Control("cmbType"), Qt::Key_Down);
    EXPECT_EQ(world.rt.ctx.Product, "Bresk");
}

// Calls `answer` from the event loop for every modal window that comes up
// while the timer runs, so an answer may itself open further modal windows.
void AnswerModals(QTimer& timer, std::function<void(QWidget*)> answer) {
    auto seen = std::make_shared<QList<QPointer<QWidget>>>();
    QObject::connect(&timer, &QTimer::timeout, [seen, answer = std::move(answer)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || seen->contains(modal)) return;
        seen->append(QPointer<QWidget>(modal));
        QTimer::singleShot(0, modal, [answer, target = QPointer<QWidget>(modal)] {
            if (target) answer(target);
        });
    });
    timer.start(10);
}

// The program's own window and operations on fakes, a SQL Server product:
// each box is a Qt box answered with OK, the folder dialog a Qt dialog.
TEST(ShowMainWindow, SystemInfoTheFolderButtonAndRunThroughQtBoxesAndDialogs) {
    testing::FakeWorld world;
    for (const auto& [key, value] : {std::pair{"DSN", "BreskDSN"},
                                     {"DbaseName", "BreskData"},
                                     {"SQLServer", "SRV01\\SQLEXPRESS"},
                                     {"APPPATH", "C:\\Zentro\\Bresk"},
                                     {"BKpath", "E:\\SqlBackups"}}) {
        world.settings.Set("Bresk", "Locations", key, value);
    }
    world.settings.Set("Bresk", "TitleBar", "sqlver", "1");
    world.rt.ctx.Product = "Bresk";
    QTemporaryDir chosen;
    using Seen = std::tuple<std::string, std::string, QMessageBox::Icon>;  // title, text, icon
    std::vector<Seen> seen;
    std::string shownFolder;
    QTimer watcher;
    AnswerModals(watcher, [&](QWidget* modal) {
        auto press = [&](const char* name) { modal->findChild<QPushButton*>(name)->click(); };
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen.emplace_back(box->windowTitle().toStdString(), box->text().toStdString(), box->icon());
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            box->button(QMessageBox::Ok)->click();
        } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            seen.emplace_back(files->windowTitle().toStdString(), "", QMessageBox::NoIcon);
            files->setDirectory(chosen.path());
            static_cast<QDialog*>(files)->accept();  // the file dialog's own accept
        } else if (qobject_cast<AboutDialog*>(modal) != nullptr) {
            EXPECT_EQ(modal->windowTitle(), "Zentro Software Ltd");
            EXPECT_EQ(modal->findChild<QLabel*>("lblInfo")->text(),
                      "DSN:   BreskDSN\nDbase:   BreskData\nServer:   SRV01\\SQLEXPRESS");
            EXPECT_TRUE(modal->grab().save(QStringLiteral(DORVANE_UI_PICTURES "/frmAbout-bresk-sqlserver.png")));
            press("cmdSysInfo");
            press("cmdPath");
            shownFolder = modal->findChild<QLabel*>("lblLog")->text().toStdString();
            press("cmdRun");
        }
    });
    EXPECT_TRUE(ShowMainWindow(world.rt));
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0], Seen("Dorvane", "System Information Is Unavailable At This Time", QMessageBox::NoIcon));
    EXPECT_EQ(seen[1], Seen("Select Backup Folder", "", QMessageBox::NoIcon));
    EXPECT_EQ(std::get<2>(seen[2]), QMessageBox::Critical);  // no front-end file here
    EXPECT_EQ(seen[3], Seen("Zentro Software Ltd", "Backup was created", QMessageBox::Information));
    EXPECT_EQ(shownFolder.substr(0, shownFolder.find("\n\n")), "Backup Path:\n" + chosen.path().toStdString());
    EXPECT_EQ(world.rt.boxes, &world.boxes);  // given back when the window closed
    EXPECT_TRUE(world.boxes.shown.empty());
}

}  // namespace
}  // namespace dorvane::qtui
