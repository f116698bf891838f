#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include "core/runtime.h"
#include "app/unavailable_components.h"
#include "fakes.h"
#include "qt_test_support.h"
#include "ui/qt/about_dialog.h"
#include "ui/qt/show_window.h"

namespace dorvane::qtui {
namespace {

using test::SeenBox;

// The program's window with the program's own operations, on fakes.
class ShowWindowTest : public ::testing::Test {
protected:
    test::Journal journal;
    test::MemorySettings settings{journal};
    test::MemoryFiles files;
    std::unique_ptr<SqlClient> sql = MakeUnavailableSqlClient();
    test::RecordingBoxes startupBoxes{journal};
    test::FixedClock clock;
    Runtime rt{settings, files, &MakeUnavailableFileDatabaseEngine, *sql, startupBoxes, clock};
    std::vector<SeenBox> seenBoxes;

    static QPushButton* Button(QWidget* window, const char* name) {
        return window->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    static std::string Label(QWidget* window, const char* name) {
        return window->findChild<QLabel*>(QString::fromLatin1(name))->text().toStdString();
    }
    static void SavePicture(QWidget* window, const char* file) {
        const QString path = QStringLiteral(DORVANE_UI_PICTURES "/") + QString::fromLatin1(file);
        EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
    }
    // Answers boxes by pressing OK; `onWindow` acts on the window when it
    // first appears, `afterBox` after each box.
    bool Show(std::function<void(QWidget*)> onWindow,
              std::function<void(QWidget*)> afterBox = [](QWidget*) {}) {
        QPointer<QWidget> window;
        test::ModalWatcher watcher([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                seenBoxes.push_back(test::AnswerBox(box));
                if (window) afterBox(window);
            } else if (qobject_cast<AboutDialog*>(modal) != nullptr) {
                window = modal;
                onWindow(modal);
            }
        });
        return ShowMainWindow(rt);
    }
};

TEST_F(ShowWindowTest, RunOfAnAccessProductReportsEveryStepWritesTheBatchAndCloses) {
    settings.Put("Alveto", "TitleBar", "sqlver", "0");
    settings.Put("Alveto", "Locations", "APPPATH", "C:\\Zentro\\Alveto");
    settings.Put("Alveto", "Locations", "DbPath", "C:\\Zentro\\Data");
    settings.Put("Alveto", "Locations", "BKpath", "D:\\Backups");
    rt.ctx.Product = "Alveto";
    rt.ctx.FrontEndFile = "Alveto.mde";
    bool wasOpen = false;
    EXPECT_TRUE(Show([&](QWidget* window) {
        wasOpen = window->isVisible();
        EXPECT_EQ(Label(window, "lblInfo"), "mdb database");
        SavePicture(window, "frmAbout-alveto-access.png");
        Button(window, "cmdRun")->click();
    }));
    EXPECT_TRUE(wasOpen);
    // This machine has no Access engine: three failures, each in a Qt box.
    ASSERT_EQ(seenBoxes.size(), 3u);
    for (const auto& box : seenBoxes) {
        EXPECT_EQ(box.icon, QMessageBox::Critical) << box.text;
        EXPECT_TRUE(box.okOnly);
    }
    EXPECT_TRUE(startupBoxes.shown.empty());
    EXPECT_EQ(rt.boxes, &startupBoxes);  // given back when the window closed
    EXPECT_EQ(files.files["C:\\Zentro\\Alveto\\Dorvane.bat"],
              "\"C:\\Zentro\\Alveto\\Dorvane.exe\" /silent /Alveto\r\n");
}

TEST_F(ShowWindowTest, ProductNotSetUpRefusesRunAndTheWindowStaysOpen) {
    rt.ctx.Product = "Cindral";
    bool openAfterBox = false;
    EXPECT_TRUE(Show([](QWidget* window) { Button(window, "cmdRun")->click(); },
                     [&](QWidget* window) {
                         openAfterBox = window->isVisible();
                         Button(window, "cmdOK")->click();
                     }));
    ASSERT_EQ(seenBoxes.size(), 1u);
    EXPECT_EQ(seenBoxes[0].text, "Operation Failed. Registry error");
    EXPECT_EQ(seenBoxes[0].title, "Zentro Software Ltd");
    EXPECT_EQ(seenBoxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(openAfterBox);
    EXPECT_TRUE(files.files.empty());  // nothing ran, no batch file
}

TEST_F(ShowWindowTest, SqlServerProductAndTheSystemInfoMessage) {
    settings.Put("Bresk", "TitleBar", "sqlver", "1");
    settings.Put("Bresk", "Locations", "DSN", "BreskDSN");
    settings.Put("Bresk", "Locations", "DbaseName", "BreskData");
    settings.Put("Bresk", "Locations", "SQLServer", "SRV01\\SQLEXPRESS");
    settings.Put("Bresk", "Locations", "APPPATH", "C:\\Zentro\\Bresk");
    settings.Put("Bresk", "Locations", "BKpath", "E:\\SqlBackups");
    rt.ctx.Product = "Bresk";
    EXPECT_TRUE(Show(
        [](QWidget* window) {
            EXPECT_EQ(Label(window, "lblInfo"),
                      "DSN:   BreskDSN\nDbase:   BreskData\nServer:   SRV01\\SQLEXPRESS");
            SavePicture(window, "frmAbout-bresk-sqlserver.png");
            Button(window, "cmdSysInfo")->click();
        },
        [](QWidget* window) { Button(window, "cmdOK")->click(); }));
    ASSERT_EQ(seenBoxes.size(), 1u);
    EXPECT_EQ(seenBoxes[0].text, "System Information Is Unavailable At This Time");
    EXPECT_EQ(seenBoxes[0].title, "Dorvane");
    EXPECT_EQ(seenBoxes[0].icon, QMessageBox::NoIcon);
    EXPECT_TRUE(seenBoxes[0].okOnly);
    EXPECT_EQ(settings.Value("Bresk", "Locations", "BKpath"), "E:\\SqlBackups");
}

TEST_F(ShowWindowTest, BackupFolderButtonSavesTheChosenFolder) {
    QTemporaryDir chosen;
    ASSERT_TRUE(chosen.isValid());
    settings.Put("Alveto", "Locations", "BKpath", "D:\\Old");
    rt.ctx.Product = "Alveto";
    std::string title, shown;
    EXPECT_TRUE(Show([&](QWidget* window) {
        test::ModalWatcher picker([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            title = dialog->windowTitle().toStdString();
            dialog->setDirectory(chosen.path());
            static_cast<QDialog*>(dialog)->accept();  // the file dialog's own accept
        });
        Button(window, "cmdPath")->click();
        shown = Label(window, "lblLog");
        Button(window, "cmdOK")->click();
    }));
    EXPECT_EQ(title, "Select Backup Folder");
    EXPECT_EQ(settings.Value("Alveto", "Locations", "BKpath"), chosen.path().toStdString());
    EXPECT_EQ(shown.substr(0, shown.find("\n\n")),
              "Backup Path:\n" + chosen.path().toStdString());
}

}  // namespace
}  // namespace dorvane::qtui
