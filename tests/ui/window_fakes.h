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

// Keeps the product and the blue labels; notes the busy pointer and closing in `events`.
class RecordingView final : public ui::AboutView {
public:
    explicit RecordingView(std::vector<std::string>& events) : events_(events) {}

    std::string info, log, selected;
    bool busy = false;
    int closes = 0;

    void SetCaption(const std::string&) override {}
    void SetTitleText(const std::string&) override {}
    void SetDescriptionText(const std::string&) override {}
    void SetVersionText(const std::string&) override {}
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
