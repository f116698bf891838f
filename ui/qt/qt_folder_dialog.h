#pragma once
// The folder chooser through Qt: only existing folders can be accepted.

#include <QPointer>
#include <QWidget>

#include "ui/logic/open_folder.h"

namespace dorvane::qtui {

class QtFolderDialog final : public ui::FolderDialog {
public:
    explicit QtFolderDialog(QWidget* parent) : parent_(parent) {}
    std::optional<std::string> ChooseFolder(const std::string& title) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace dorvane::qtui
