#pragma once
// Stand-ins for the window's own parts: the drawn window, the folder dialog,
// the machine registry and the program starter. The components behind the
// runtime come from tests/support/fakes.h.

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ui/logic/about_view.h"
#include "ui/logic/open_folder.h"
#include "ui/logic/registry.h"
#include "ui/logic/sys_info.h"

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

// Keys by path, each a list of named values; counts the keys left open.
class FakeRegistry final : public ui::Registry {
public:
    struct Value {
        std::string key, name;
        std::uint32_t type;
        std::string bytes;
    };
    std::vector<Value> values;
    std::vector<std::pair<std::string, std::uint32_t>> opens;  // path and rights asked for
    int openKeys = 0;

    ui::RegistryStatus OpenKey(ui::RegistryKey root, const std::string& path, std::uint32_t rights,
                               ui::RegistryKey& opened) override {
        opens.emplace_back(path, rights);
        if (root != ui::kHKeyLocalMachine) return ui::kRegistryFileNotFound;
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (values[i].key != path) continue;
            opened = i + 1;  // the handle names the key by one of its values
            ++openKeys;
            return ui::kRegistrySuccess;
        }
        return ui::kRegistryFileNotFound;
    }
    ui::RegistryValue QueryValue(ui::RegistryKey key, const std::string& name,
                                 std::size_t capacity) override {
        for (const Value& value : values) {
            if (value.key != values.at(key - 1).key || value.name != name) continue;
            if (value.bytes.size() > capacity) return {ui::kRegistryMoreData, 0, {}};
            return {ui::kRegistrySuccess, value.type, value.bytes};
        }
        return {ui::kRegistryFileNotFound, 0, {}};
    }
    void CloseKey(ui::RegistryKey) override { --openKeys; }
};

class RecordingStarter final : public ui::ProgramStarter {
public:
    std::vector<std::pair<std::string, int>> started;
    bool fail = false;
    void Start(const std::string& commandLine, int windowStyle) override {
        if (fail) throw std::runtime_error("cannot start " + commandLine);
        started.emplace_back(commandLine, windowStyle);
    }
};

}  // namespace dorvane::testing
