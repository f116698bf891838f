#include "ui/qt/qt_folder_dialog.h"

#include <QDir>
#include <QFileDialog>

namespace dorvane::qtui {

std::optional<std::string> QtFolderDialog::ChooseFolder(const std::string& title) {
    const QString folder =
        QFileDialog::getExistingDirectory(parent_, QString::fromStdString(title), QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(folder).toStdString();
}

}  // namespace dorvane::qtui
