#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

#include "core/runtime.h"
#include "app/unavailable_components.h"
#include "fakes.h"
#include "qt_test_support.h"
#include "ui/logic/about_form.h"
#include "ui/qt/about_dialog.h"
#include "ui/qt/qt_folder_dialog.h"
#include "ui/qt/twips.h"

namespace dorvane::qtui {
namespace {

using test::Journal;

class AboutDialogTest : public ::testing::Test {
protected:
    Journal journal;
    test::MemorySettings settings{journal};
    test::MemoryFiles files;
    std::unique_ptr<SqlClient> sql = MakeUnavailableSqlClient();
    test::RecordingBoxes boxes{journal};
    test::FixedClock clock;
    Runtime rt{settings, files, &MakeUnavailableFileDatabaseEngine, *sql, boxes, clock};
    AboutDialog dialog{96.0};
    test::ScriptedFolderDialog folders{journal};
    test::FakeRegistry registry;
    test::RecordingStarter starter;
    ui::AboutForm form{rt, dialog, folders, ui::SysInfoTools{registry, starter},
                       ui::WindowOperations{
                           [this](Runtime&) { journal.push_back("RunMaintenance"); },
                           [this](Runtime&) { journal.push_back("WriteScheduleBatch"); },
                           [](Runtime&) { return std::string("C:\\Docs"); },
                       }};

    void SetUp() override {
        settings.Put("Alveto", "TitleBar", "sqlver", "0");
        settings.Put("Alveto", "Locations", "APPPATH", "C:\\Zentro\\Alveto");
        settings.Put("Alveto", "Locations", "BKpath", "D:\\Backups");
        settings.Put("Bresk", "TitleBar", "sqlver", "1");
        rt.ctx.Product = "Alveto";
        dialog.Bind(form);
        form.Form_Load();
    }

    template <typename T = QWidget>
    T* Control(const char* name) {
        T* control = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    std::string Text(const char* name) { return Control<QLabel>(name)->text().toStdString(); }

    void ShowActive() {
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
    void Press(QWidget* target, Qt::Key key) {
        target->setFocus(Qt::TabFocusReason);
        QTest::keyClick(target, key);
    }
    bool Ran() const {
        return std::find(journal.begin(), journal.end(), "RunMaintenance") != journal.end();
    }
};

TEST_F(AboutDialogTest, ControlsSitAtTheirTwipsPositions) {
    EXPECT_EQ(dialog.size(), QSize(381, 290));
    EXPECT_EQ(dialog.pos(), QPoint(156, 129));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    const struct {
        const char* name;
        QRect rect;
    } expected[] = {
        {"cmdPath", {8, 256, 177, 25}},       {"cmbType", {224, 32, 137, 21}},
        {"cmdRun", {272, 64, 89, 25}},        {"picIcon", {32, 16, 50, 50}},
        {"cmdOK", {272, 96, 89, 25}},         {"cmdSysInfo", {160, 104, 83, 23}},
        {"lblTitle", {112, 34, 105, 17}},     {"lblLog", {8, 184, 361, 89}},
        {"lblDescription", {8, 80, 195, 22}}, {"lblVersion", {8, 104, 131, 15}},
        {"lblInfo", {16, 136, 345, 47}},      {"Line1_1", {6, 131, 371, 1}},
        {"Line1_0", {7, 132, 370, 2}},
    };
    for (const auto& control : expected) {
        EXPECT_EQ(Control(control.name)->geometry(), control.rect) << control.name;
    }
}

TEST_F(AboutDialogTest, LayoutScalesWithTheLogicalDpi) {
    EXPECT_EQ(TwipsRect(4080, 960, 1335, 375, 144.0), QRect(408, 96, 134, 38));
    AboutDialog large(144.0);
    EXPECT_EQ(large.size(), QSize(572, 435));
    AboutDialog onScreen;
    const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInch();
    EXPECT_EQ(onScreen.width(), TwipsToPixels(5715, dpi));
}

TEST_F(AboutDialogTest, FixedDialogBorderWithCaptionAndIcon) {
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_EQ(dialog.windowTitle(), "Zentro Software Ltd");
    EXPECT_TRUE(dialog.windowIcon().availableSizes().contains(QSize(48, 48)));
    EXPECT_EQ(Control<QLabel>("picIcon")->pixmap().size(), QSize(48, 48));
}

TEST_F(AboutDialogTest, TextsAfterLoading) {
    EXPECT_EQ(Text("lblTitle"), "Dorvane for:");
    EXPECT_EQ(Text("lblDescription"), "Backup and optimize Zentro products");
    EXPECT_EQ(Text("lblVersion"), "Version 2.0.2");
    auto* description = Control<QLabel>("lblDescription");
    EXPECT_LE(QFontMetrics(description->font()).horizontalAdvance(description->text()),
              description->width());  // one line, whatever font is installed
    EXPECT_EQ(Text("lblInfo"), "mdb database");
    EXPECT_EQ(Text("lblLog"),
              "Backup Path:\nD:\\Backups\n\nLog File:\nC:\\Zentro\\Alveto\\Dorvane_log.txt");
    EXPECT_EQ(Control<QPushButton>("cmdPath")->text(), "Select Backup folder");
    EXPECT_EQ(Control<QPushButton>("cmdRun")->text(), "Run");
    EXPECT_EQ(Control<QPushButton>("cmdOK")->text(), "Cancel");
    EXPECT_EQ(Control<QPushButton>("cmdSysInfo")->text(), "&System Info...");
    auto* list = Control<QComboBox>("cmbType");
    EXPECT_FALSE(list->isEditable());
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0), "Alveto");
    EXPECT_EQ(list->itemText(1), "Bresk");
    EXPECT_EQ(list->itemText(2), "Cindral");
    EXPECT_EQ(list->currentText(), "Alveto");
}

TEST_F(AboutDialogTest, BlueLabelsAndAnEtchedRule) {
    const QColor blue(0, 0, 255);
    EXPECT_EQ(Control("lblInfo")->palette().color(QPalette::WindowText), blue);
    EXPECT_EQ(Control("lblLog")->palette().color(QPalette::WindowText), blue);
    EXPECT_EQ(Control("lblTitle")->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(Control("lblDescription")->palette().color(QPalette::WindowText), QColor(0, 0, 0));

    const QImage picture = dialog.grab().toImage();
    ASSERT_EQ(picture.size(), QSize(381, 290));
    for (int x : {6, 100, 376}) {
        EXPECT_EQ(picture.pixelColor(x, 131), QColor(128, 128, 128)) << x;
    }
    EXPECT_EQ(picture.pixelColor(100, 132), QColor(255, 255, 255));
    EXPECT_EQ(picture.pixelColor(100, 133), QColor(255, 255, 255));
    EXPECT_NE(picture.pixelColor(100, 134), QColor(255, 255, 255));
    // The database facts are drawn in blue.
    int bluePixels = 0;
    for (int y = 136; y < 150; ++y) {
        for (int x = 16; x < 120; ++x) {
            const QColor c = picture.pixelColor(x, y);
            if (c.blue() > 200 && c.red() < 80 && c.green() < 80) ++bluePixels;
        }
    }
    EXPECT_GT(bluePixels, 10);
}

TEST_F(AboutDialogTest, FocusStartsOnCancelAndTabFollowsTheTabIndexes) {
    ShowActive();
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    EXPECT_EQ(focused->objectName(), "cmdOK");
    std::vector<std::string> visited;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    EXPECT_EQ(visited,
              (std::vector<std::string>{"cmdSysInfo", "cmdRun", "cmbType", "cmdPath", "cmdOK"}));
}

TEST_F(AboutDialogTest, EnterRightAfterOpeningPressesCancel) {
    ShowActive();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(Ran());
}

TEST_F(AboutDialogTest, EnterOnTheProductListPressesRun) {
    ShowActive();
    Press(Control("cmbType"), Qt::Key_Return);
    EXPECT_EQ(std::vector<std::string>(journal.end() - 2, journal.end()),
              (std::vector<std::string>{"RunMaintenance", "WriteScheduleBatch"}));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(AboutDialogTest, EnterOnSystemInfoPressesSystemInfo) {
    ShowActive();
    Press(Control("cmdSysInfo"), Qt::Key_Enter);
    EXPECT_EQ(journal.back(), "box System Information Is Unavailable At This Time");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(Ran());
}

TEST_F(AboutDialogTest, EscapePressesRunWhereverTheFocusIs) {
    for (const char* name : {"cmdOK", "cmbType", "cmdPath"}) {
        journal.clear();
        ShowActive();
        Press(Control(name), Qt::Key_Escape);
        EXPECT_TRUE(Ran()) << name;
        EXPECT_FALSE(dialog.isVisible()) << name;
    }
}

TEST_F(AboutDialogTest, CloseBoxClosesWithoutRunning) {
    ShowActive();
    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(Ran());
}

TEST_F(AboutDialogTest, PickingAProductFromTheListRunsTheSelectionHandler) {
    settings.Put("Bresk", "Locations", "DSN", "BreskDSN");
    ShowActive();
    journal.clear();
    Press(Control("cmbType"), Qt::Key_Down);
    EXPECT_EQ(rt.ctx.Product, "Bresk");
    EXPECT_EQ(journal.front(), "get Bresk/TitleBar/sqlver");
    EXPECT_EQ(Text("lblInfo"), "DSN:   BreskDSN\nDbase:   \nServer:   ");
}

TEST(QtFolderDialog, ReturnsTheChosenFolderOrNothingOnCancel) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QtFolderDialog chooser(nullptr);
    std::string title;
    bool cancel = false;
    test::ModalWatcher watcher([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle().toStdString();
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        if (cancel) {
            dialog->reject();
        } else {
            dialog->setDirectory(folder.path());
            static_cast<QDialog*>(dialog)->accept();  // the file dialog's own accept
        }
    });
    EXPECT_EQ(chooser.ChooseFolder("Select Backup Folder"), folder.path().toStdString());
    EXPECT_EQ(title, "Select Backup Folder");
    cancel = true;
    EXPECT_EQ(chooser.ChooseFolder("Select a folder."), std::nullopt);
    EXPECT_EQ(title, "Select a folder.");
}

}  // namespace
}  // namespace dorvane::qtui
