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

#include "tests/support/fakes.h"
#include "tests/ui/window_fakes.h"
#include "ui/logic/about_form.h"
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
    testing::FakeRegistry registry;
    testing::RecordingStarter starter;
    int runs = 0;
    ui::AboutForm form{world.rt, dialog, folders, ui::SysInfoTools{registry, starter},
                       ui::WindowOperations{[this](Runtime&) { ++runs; }, [](Runtime&) {},
                                            [](Runtime&) { return std::string("C:\\Docs"); }}};

    void SetUp() override {
        world.settings.Set("Alveto", "TitleBar", "sqlver", "0");
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

// The program's window with the program's own operations, on fakes: Qt boxes
// answered with OK, and pictures of the window saved.
class ShowWindowTest : public ::testing::Test {
protected:
    testing::FakeWorld world;
    struct Box {
        std::string title, text;
        QMessageBox::Icon icon;
        bool okOnly;
    };
    std::vector<Box> boxes;

    void Put(const char* product, std::initializer_list<std::pair<const char*, const char*>> settings) {
        for (const auto& [key, value] : settings) {
            world.settings.Set(product, std::string(key) == "sqlver" ? "TitleBar" : "Locations", key, value);
        }
        world.rt.ctx.Product = product;
    }
    static QPushButton* Button(QWidget* window, const char* name) { return window->findChild<QPushButton*>(name); }
    static std::string Label(QWidget* window, const char* name) {
        return window->findChild<QLabel*>(name)->text().toStdString();
    }
    static QImage Picture(QWidget* window, const char* file) {
        const QImage picture = window->grab().toImage();
        EXPECT_TRUE(picture.save(QStringLiteral(DORVANE_UI_PICTURES "/") + file)) << file;
        return picture;
    }
    // `onWindow` acts on the window when it appears, `afterBox` after each
    // box has been answered; a file dialog gets `folder`.
    bool Show(const std::function<void(QWidget*)>& onWindow, const std::function<void(QWidget*)>& afterBox,
              const QString& folder = {}) {
        QPointer<QWidget> window;
        ModalWatcher watcher([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                boxes.push_back({box->windowTitle().toStdString(), box->text().toStdString(), box->icon(),
                                 box->standardButtons() == QMessageBox::Ok});
                box->button(QMessageBox::Ok)->click();
                if (window) afterBox(window);
            } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
                boxes.push_back({files->windowTitle().toStdString(), "folder dialog", QMessageBox::NoIcon, false});
                files->setDirectory(folder);
                static_cast<QDialog*>(files)->accept();  // the file dialog's own accept
            } else if (qobject_cast<AboutDialog*>(modal) != nullptr) {
                onWindow(window = modal);
            }
        });
        return ShowMainWindow(world.rt);
    }
};

TEST_F(ShowWindowTest, AnAccessProductsRunReportsEveryStepInABoxWritesTheBatchAndCloses) {
    Put("Alveto", {{"sqlver", "0"}, {"APPPATH", "C:\\Zentro\\Alveto"}, {"BKpath", "D:\\Backups"}});
    EXPECT_TRUE(Show(
        [&](QWidget* window) {
            EXPECT_EQ(Label(window, "lblInfo"), "mdb database");
            const QImage picture = Picture(window, "frmAbout-alveto-access.png");
            // The etched rule: grey, then white two pixels deep.
            for (const auto& [y, colour] : {std::pair{131, QColor(128, 128, 128)}, {132, QColor(Qt::white)},
                                            {133, QColor(Qt::white)}}) {
                for (int x : {7, 100, 376}) EXPECT_EQ(picture.pixelColor(x, y), colour) << x << "," << y;
            }
            int blue = 0;  // the database facts are drawn in blue
            for (int y = 136; y < 150; ++y) {
                for (int x = 16; x < 120; ++x) {
                    const QColor c = picture.pixelColor(x, y);
                    blue += c.blue() > 200 && c.red() < 80 && c.green() < 80 ? 1 : 0;
                }
            }
            EXPECT_GT(blue, 10);
            Button(window, "cmdRun")->click();
        },
        [](QWidget*) {}));
    ASSERT_EQ(boxes.size(), 3u);  // front-end, back-end, backup: no such files here
    for (const auto& box : boxes) {
        EXPECT_EQ(box.icon, QMessageBox::Critical) << box.text;
        EXPECT_TRUE(box.okOnly);
    }
    EXPECT_TRUE(world.boxes.shown.empty());
    EXPECT_EQ(world.rt.boxes, &world.boxes);  // given back when the window closed
    EXPECT_EQ(world.files.files["C:\\Zentro\\Alveto\\Dorvane.bat"],
              "\"C:\\Zentro\\Alveto\\Dorvane.exe\" /silent /Alveto\r\n");
}

TEST_F(ShowWindowTest, ASqlServerProductsSystemInfoMessageAndFolderChoice) {
    QTemporaryDir chosen;
    ASSERT_TRUE(chosen.isValid());
    Put("Bresk", {{"sqlver", "1"}, {"DSN", "BreskDSN"}, {"DbaseName", "BreskData"}, {"SQLServer", "SRV01\\SQLEXPRESS"},
                  {"APPPATH", "C:\\Zentro\\Bresk"}, {"BKpath", "E:\\SqlBackups"}});
    std::string shownFolder;
    EXPECT_TRUE(Show(
        [](QWidget* window) {
            EXPECT_EQ(Label(window, "lblInfo"), "DSN:   BreskDSN\nDbase:   BreskData\nServer:   SRV01\\SQLEXPRESS");
            Picture(window, "frmAbout-bresk-sqlserver.png");
            Button(window, "cmdSysInfo")->click();
        },
        [&](QWidget* window) {
            Button(window, "cmdPath")->click();
            shownFolder = Label(window, "lblLog");
            Button(window, "cmdOK")->click();
        },
        chosen.path()));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "System Information Is Unavailable At This Time");
    EXPECT_EQ(boxes[0].title, "Dorvane");
    EXPECT_EQ(boxes[0].icon, QMessageBox::NoIcon);
    EXPECT_TRUE(boxes[0].okOnly);
    EXPECT_EQ(boxes[1].title, "Select Backup Folder");
    EXPECT_EQ(world.settings.Get("Bresk", "Locations", "BKpath"), chosen.path().toStdString());
    EXPECT_EQ(shownFolder.substr(0, shownFolder.find("\n\n")), "Backup Path:\n" + chosen.path().toStdString());
}

TEST_F(ShowWindowTest, AProductNotSetUpRefusesRunAndTheWindowStaysOpen) {
    Put("Cindral", {});
    bool openAfterBox = false;
    EXPECT_TRUE(Show([](QWidget* window) { Button(window, "cmdRun")->click(); },
                     [&](QWidget* window) {
                         openAfterBox = window->isVisible();
                         Button(window, "cmdOK")->click();
                     }));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Operation Failed. Registry error");
    EXPECT_EQ(boxes[0].title, "Zentro Software Ltd");
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(openAfterBox);
    EXPECT_TRUE(world.files.files.empty());  // nothing ran, no batch file
}

}  // namespace
}  // namespace dorvane::qtui
