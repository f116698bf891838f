#pragma once
// Stand-ins for the drawn window and the folder dialog. The components
// behind the runtime come from tests/support/fakes.h.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/logic/about_view.h"
#include "ui/logic/open_folder.h"

namespace dorvane::testing {

// Keeps what the logic shows; notes the busy pointer and closing in `events`.
class RecordingView final : public ui::AboutView {
public:
    explicit RecordingView(std::vector<std::string>& events) : events_(events) {}

    std::string caption, title, description, version, info, log, selected;
    bool busy = false;
    int closes = 0;

    void SetCaption(const std::string& text) override { caption = text; }
    void SetTitleText(const std::string& text) override { title = text; }
    void SetDescriptionText(const std::string& text) override { description = text; }
    void SetVersionText(const std::string& text) override { version = text; }
    void SetInfoText(const std::string& text) override { info = text; }
    void SetLogText(const std::string& text) override { log = text; }
    void SelectProduct(const std::string& product) override { selected = product; }
    std::string SelectedProduct() const override { return selected; }
    void SetBusyPointer(bool on) override {
        busy = on;
        events_.push_back(on ? "busy" : "normal");
    }
    void Close() override {
        ++closes;
        events_.push_back("close");
    }

private:
    std::vector<std::string>& events_;
};

// Gives the queued answers in turn (nullopt is a cancel); throws when `fail`.
class ScriptedFolderDialog final : public ui::FolderDialog {
public:
    std::vector<std::optional<std::string>> answers;
    std::vector<std::string> titles;
    bool fail = false;

    std::optional<std::string> ChooseFolder(const std::string& title) override {
        titles.push_back(title);
        if (fail || answers.empty()) throw std::runtime_error("the folder dialog failed");
        auto answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
};

}  // namespace dorvane::testing
