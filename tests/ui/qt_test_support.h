#pragma once
// Helpers for the widget tests: answering modal windows as they appear.

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace dorvane::test {

// Calls `answer` once for every modal window that becomes active, from the
// event loop (never from inside the timer), so the answer may open further
// modal windows.
class ModalWatcher {
public:
    explicit ModalWatcher(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
        timer_.start(10);
    }

private:
    void Look() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        seen_.erase(std::remove_if(seen_.begin(), seen_.end(),
                                   [](const QPointer<QWidget>& w) { return w.isNull(); }),
                    seen_.end());
        if (std::find(seen_.begin(), seen_.end(), modal) != seen_.end()) return;
        seen_.emplace_back(modal);
        QPointer<QWidget> target(modal);
        QTimer::singleShot(0, modal, [this, target] {
            if (target) answer_(target);
        });
    }

    std::function<void(QWidget*)> answer_;
    QTimer timer_;
    std::vector<QPointer<QWidget>> seen_;
};

struct SeenBox {
    std::string title;
    std::string text;
    QMessageBox::Icon icon;
    bool okOnly;
};

// Records a message box and presses its OK button.
inline SeenBox AnswerBox(QMessageBox* box) {
    SeenBox seen{box->windowTitle().toStdString(), box->text().toStdString(), box->icon(),
                 box->standardButtons() == QMessageBox::Ok};
    box->button(QMessageBox::Ok)->click();
    return seen;
}

}  // namespace dorvane::test
