// The window drawn by Qt on the offscreen platform: built from the layout
// table, driven by keys and clicks, and shown by the program with its own
// operations, boxes and folder dialog. Writes pictures of the window into
// the build folder.

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
#include <functional>
#include <tuple>

#include "tests/support/fakes.h"
#include "tests/ui/window_fakes.h"
#include "ui/logic/about_form.h"
#include "ui/logic/posix_platform.h"
#include "ui/logic/window_layout.h"
#include "ui/qt/about_dialog.h"
#include "ui/qt/qt_folder_dialog.h"
#include "ui/qt/show_window.h"

namespace dorvane::qtui {
namespace {

QString Name(std::string_view name) { return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())); }
QRect Rect(const ui::PixelRect& r) { return QRect(r.left, r.top, r.width, r.height); }

// Calls `answer` from the event loop for every modal window that comes up,
// so an answer may itself open further modal windows.
class ModalWatcher {
public:
    explicit ModalWatcher(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || seen_.contains(modal)) return;
            seen_.append(QPointer<QWidget>(modal));
            QTimer::singleShot(0, modal, [this, target = QPointer<QWidget>(modal)] {
                if (target) answer_(target);
            });
        });
        timer_.start(10);
    }

private:
    std::function<void(QWidget*)> answer_;
    QTimer timer_;
    QList<QPointer<QWidget>> seen_;
};

class AboutDialogTest : public ::testing::Test {
protected:
    testing::FakeWorld world;
    AboutDialog dialog{96.0};
    testing::ScriptedFolderDialog folders;
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
    template <typename T = QWidget>
    T* Control(AboutDialog& window, std::string_view name) {
        T* control = window.findChild<T*>(Name(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    void ShowActive() {
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
    std::string Focused() { return QApplication::focusWidget()->objectName().toStdString(); }
};

TEST_F(AboutDialogTest, EveryControlIsBuiltFromTheLayoutTableAtTheScreensDpi) {
    for (const double dpi : {96.0, 144.0}) {
        SCOPED_TRACE(dpi);
        AboutDialog window(dpi);
        EXPECT_EQ(window.minimumSize(), window.maximumSize());
        EXPECT_EQ(window.size(), QSize(ui::TwipsToPixels(ui::kClientWidth, dpi), ui::TwipsToPixels(ui::kClientHeight, dpi)));
        EXPECT_EQ(window.pos(), QPoint(ui::TwipsToPixels(ui::kDesignLeft, dpi), ui::TwipsToPixels(ui::kDesignTop, dpi)));
        for (const auto& layout : ui::kControls) {
            SCOPED_TRACE(layout.name);
            QWidget* control = Control(window, layout.name);
            ASSERT_NE(control, nullptr);
            EXPECT_EQ(control->geometry(), Rect(ui::TwipsRect(layout, dpi)));
            EXPECT_EQ((control->focusPolicy() & Qt::TabFocus) != 0, ui::TakesFocus(layout.kind));
            if (layout.textColour != nullptr) {
                const ui::Rgb& c = *layout.textColour;
                EXPECT_EQ(control->palette().color(QPalette::WindowText), QColor(c.red, c.green, c.blue));
            }
            if (layout.kind == ui::ControlKind::PushButton) {
                EXPECT_EQ(qobject_cast<QPushButton*>(control)->text(), Name(layout.designText));
            } else if (layout.kind == ui::ControlKind::DropDownList) {
                auto* list = qobject_cast<QComboBox*>(control);
                EXPECT_FALSE(list->isEditable());
                EXPECT_EQ(list->count(), 3);
            } else if (layout.kind == ui::ControlKind::Picture) {
                EXPECT_EQ(qobject_cast<QLabel*>(control)->pixmap().size(), QSize(48, 48));
            }
        }
        for (const auto& rule : ui::kRules) {
            EXPECT_EQ(Control(window, rule.name)->geometry(), Rect(ui::RuleRect(rule, dpi))) << rule.name;
        }
    }
    // Edges are rounded, not sizes: 5715 twips are 571.5 pixels at 144 DPI.
    EXPECT_EQ(AboutDialog(144.0).size(), QSize(572, 435));
    EXPECT_EQ(Control(dialog, "cmdRun")->geometry(), QRect(272, 64, 89, 25));
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(dialog.windowIcon().availableSizes().contains(QSize(48, 48)));
    QStringList products;
    for (int i = 0; i < 3; ++i) products << Control<QComboBox>(dialog, "cmbType")->itemText(i);
    EXPECT_EQ(products, QStringList({"Alveto", "Bresk", "Cindral"}));
}

TEST_F(AboutDialogTest, FocusStartsOnCancelAndTabGoesToTheIconNextThenInTabOrder) {
    ShowActive();
    EXPECT_EQ(Focused(), "cmdOK");
    std::vector<std::string> visited;
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(Focused());
    }
    EXPECT_EQ(visited, (std::vector<std::string>{"picIcon", "cmdSysInfo", "cmdRun", "cmbType", "cmdPath", "cmdOK"}));
    QTest::mouseClick(Control(dialog, "picIcon"), Qt::LeftButton);  // focusable, not clickable
    EXPECT_EQ(Focused(), "cmdOK");
}

TEST_F(AboutDialogTest, EnterPressesTheFocusedButtonOrRunAndEscAlwaysPressesRun) {
    const struct {
        const char* focus;
        Qt::Key key;
        int runs;
        bool staysOpen;
    } cases[] = {
        {"cmdOK", Qt::Key_Return, 0, false},     {"picIcon", Qt::Key_Return, 1, false},
        {"cmbType", Qt::Key_Return, 1, false},   {"cmdSysInfo", Qt::Key_Enter, 0, true},
        {"cmdOK", Qt::Key_Escape, 1, false},     {"picIcon", Qt::Key_Escape, 1, false},
        {"cmbType", Qt::Key_Escape, 1, false},   {"cmdPath", Qt::Key_Escape, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.focus) + " " + QTest::toString(c.key));
        runs = 0;
        world.boxes.shown.clear();
        ShowActive();
        QWidget* target = Control(dialog, c.focus);
        target->setFocus(Qt::TabFocusReason);
        QTest::keyClick(target, c.key);
        EXPECT_EQ(runs, c.runs);
        EXPECT_EQ(dialog.isVisible(), c.staysOpen);
        EXPECT_EQ(world.boxes.shown.size(), c.staysOpen ? 1u : 0u);  // the System Info message
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    runs = 0;
    ShowActive();
    dialog.close();  // the close box
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(runs, 0);
}

TEST_F(AboutDialogTest, PickingAProductFromTheListRunsTheSelection) {
    world.settings.Set("Bresk", "Locations", "DSN", "BreskDSN");
    ShowActive();
    Control(dialog, "cmbType")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(Control(dialog, "cmbType"), Qt::Key_Down);
    EXPECT_EQ(world.rt.ctx.Product, "Bresk");
    EXPECT_EQ(Control<QLabel>(dialog, "lblInfo")->text(), "DSN:   BreskDSN\nDbase:   \nServer:   ");
}

TEST(QtFolderDialog, ACancelGivesNothing) {
    QtFolderDialog chooser(nullptr);
    QString title;
    ModalWatcher watcher([&](QWidget* modal) {
        title = modal->windowTitle();
        qobject_cast<QDialog*>(modal)->reject();
    });
    EXPECT_EQ(chooser.ChooseFolder("Select a folder."), std::nullopt);
    EXPECT_EQ(title, "Select a folder.");
}

TEST_F(AboutDialogTest, TheDatabaseFactsAreBlueBelowAnEtchedRule) {
    const QImage picture = dialog.grab().toImage();
    EXPECT_TRUE(picture.save(QStringLiteral(DORVANE_UI_PICTURES "/frmAbout-alveto-access.png")));
    for (const auto& [y, colour] : {std::pair{131, QColor(128, 128, 128)}, {132, QColor(Qt::white)},
                                    {133, QColor(Qt::white)}}) {
        for (int x : {7, 100, 376}) EXPECT_EQ(picture.pixelColor(x, y), colour) << x << "," << y;
    }
    int blue = 0;  // "mdb database"
    for (int y = 136; y < 150; ++y) {
        for (int x = 16; x < 120; ++x) {
            const QColor c = picture.pixelColor(x, y);
            blue += c.blue() > 200 && c.red() < 80 && c.green() < 80 ? 1 : 0;
        }
    }
    EXPECT_GT(blue, 10);
}

// The program's own window and operations on fakes, a SQL Server product:
// each box is a Qt box answered with OK, the folder dialog a Qt dialog.
TEST(ShowMainWindow, SystemInfoTheFolderButtonAndRunThroughQtBoxesAndDialogs) {
    testing::FakeWorld world;
    for (const auto& [key, value] : {std::pair{"DSN", "BreskDSN"}, {"DbaseName", "BreskData"},
                                     {"SQLServer", "SRV01\\SQLEXPRESS"}, {"APPPATH", "C:\\Zentro\\Bresk"}}) {
        world.settings.Set("Bresk", "Locations", key, value);
    }
    world.settings.Set("Bresk", "TitleBar", "sqlver", "1");
    world.rt.ctx.Product = "Bresk";
    QTemporaryDir chosen;
    std::vector<std::tuple<std::string, std::string, QMessageBox::Icon>> seen;  // title, text, icon
    std::string shownFolder;
    ModalWatcher watcher([&](QWidget* modal) {
        auto button = [&](const char* name) { return modal->findChild<QPushButton*>(name); };
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen.emplace_back(box->windowTitle().toStdString(), box->text().toStdString(), box->icon());
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            box->button(QMessageBox::Ok)->click();
        } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            seen.emplace_back(files->windowTitle().toStdString(), "", QMessageBox::NoIcon);
            files->setDirectory(chosen.path());
            static_cast<QDialog*>(files)->accept();  // the file dialog's own accept
        } else if (qobject_cast<AboutDialog*>(modal) != nullptr) {
            EXPECT_EQ(modal->findChild<QLabel*>("lblInfo")->text(),
                      "DSN:   BreskDSN\nDbase:   BreskData\nServer:   SRV01\\SQLEXPRESS");
            EXPECT_TRUE(modal->grab().save(QStringLiteral(DORVANE_UI_PICTURES "/frmAbout-bresk-sqlserver.png")));
            button("cmdSysInfo")->click();
            button("cmdPath")->click();
            shownFolder = modal->findChild<QLabel*>("lblLog")->text().toStdString();
            button("cmdRun")->click();
        }
    });
    EXPECT_TRUE(ShowMainWindow(world.rt));
    using Seen = std::tuple<std::string, std::string, QMessageBox::Icon>;
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0], Seen("Dorvane", "System Information Is Unavailable At This Time", QMessageBox::NoIcon));
    EXPECT_EQ(seen[1], Seen("Select Backup Folder", "", QMessageBox::NoIcon));
    EXPECT_EQ(std::get<2>(seen[2]), QMessageBox::Critical);  // no front-end file here
    EXPECT_EQ(std::get<2>(seen[3]), QMessageBox::Information);
    EXPECT_EQ(std::get<1>(seen[3]), "Backup was created");
    EXPECT_EQ(shownFolder.substr(0, shownFolder.find("\n\n")), "Backup Path:\n" + chosen.path().toStdString());
    EXPECT_EQ(world.rt.boxes, &world.boxes);  // given back when the window closed
    EXPECT_TRUE(world.boxes.shown.empty());
    EXPECT_EQ(world.files.files["C:\\Zentro\\Bresk\\Dorvane.bat"], "\"C:\\Zentro\\Bresk\\Dorvane.exe\" /silent /Bresk\r\n");
}

}  // namespace
}  // namespace dorvane::qtui
