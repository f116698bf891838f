#pragma once
// Fakes for the window's tests. Settings, view, dialogs and boxes write into
// one shared journal so a test can check the order of everything.

#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/message_boxes.h"
#include "core/settings/settings_store.h"
#include "core/components/file_system.h"
#include "ui/logic/about_view.h"
#include "ui/logic/open_folder.h"
#include "ui/logic/registry.h"
#include "ui/logic/sys_info.h"

namespace dorvane::test {

using Journal = std::vector<std::string>;

// Settings in memory; names match without regard to case, like the real store.
class MemorySettings final : public SettingsStore {
public:
    explicit MemorySettings(Journal& journal) : journal_(journal) {}

    void Put(const std::string& app, const std::string& section, const std::string& key,
             const std::string& value) {
        entries_[Name(app, section, key)] = value;
    }
    std::optional<std::string> Value(const std::string& app, const std::string& section,
                                     const std::string& key) const {
        auto it = entries_.find(Name(app, section, key));
        if (it == entries_.end()) return std::nullopt;
        return it->second;
    }

    std::optional<std::string> Read(std::string_view app, std::string_view section,
                                    std::string_view key) override {
        journal_.push_back("get " + std::string(app) + "/" + std::string(section) + "/" +
                           std::string(key));
        return Value(std::string(app), std::string(section), std::string(key));
    }
    bool Write(std::string_view app, std::string_view section, std::string_view key,
               std::string_view value) override {
        journal_.push_back("save " + std::string(app) + "/" + std::string(section) + "/" +
                           std::string(key) + "=" + std::string(value));
        Put(std::string(app), std::string(section), std::string(key), std::string(value));
        return true;
    }
    bool Delete(std::string_view, std::string_view, std::string_view) override {
        throw std::logic_error("the window never deletes settings");
    }
    std::vector<SettingEntry> List(std::optional<std::string_view>) override { return {}; }

private:
    static std::string Name(const std::string& app, const std::string& section,
                            const std::string& key) {
        std::string all = app + "\x1f" + section + "\x1f" + key;
        for (char& c : all) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return all;
    }

    Journal& journal_;
    std::map<std::string, std::string> entries_;
};

// Files as a map from path text to content.
class MemoryFiles final : public FileSystem {
public:
    std::map<std::string, std::string> files;

    bool Exists(const std::string& path) override { return files.count(path) != 0; }
    void CopyFile(const std::string& source, const std::string& destination) override {
        files[destination] = files.at(source);
    }
    void DeleteFile(const std::string& path) override { files.erase(path); }
    void RenameReplace(const std::string& from, const std::string& to) override {
        files[to] = files.at(from);
        files.erase(from);
    }
    std::vector<std::string> ListMatching(const std::string&, std::string_view) override {
        return {};
    }
    void AppendToFile(const std::string& path, std::string_view bytes) override {
        files[path] += bytes;
    }
};

class FixedClock final : public Clock {
public:
    LocalTime Now() override { return LocalTime{2026, 12, 6, 19, 30, 0}; }
    std::string FormatGeneralDate(const LocalTime& time) override {
        return FormatIsoDateTime(time);
    }
};

struct ShownBox {
    std::string text;
    BoxIcon icon;
    std::string title;
};

class RecordingBoxes final : public MessageBoxes {
public:
    explicit RecordingBoxes(Journal& journal) : journal_(journal) {}
    std::vector<ShownBox> shown;
    void Show(const std::string& text, BoxIcon icon, const std::string& title) override {
        journal_.push_back("box " + text);
        shown.push_back({text, icon, title});
    }

private:
    Journal& journal_;
};

class RecordingView final : public ui::AboutView {
public:
    explicit RecordingView(Journal& journal) : journal_(journal) {}

    std::string caption, title, description, version, info, log, selected;
    bool busy = false;
    int closes = 0;

    void SetCaption(const std::string& text) override { Note("caption", caption, text); }
    void SetTitleText(const std::string& text) override { Note("lblTitle", title, text); }
    void SetDescriptionText(const std::string& text) override {
        Note("lblDescription", description, text);
    }
    void SetVersionText(const std::string& text) override { Note("lblVersion", version, text); }
    void SetInfoText(const std::string& text) override { Note("lblInfo", info, text); }
    void SetLogText(const std::string& text) override { Note("lblLog", log, text); }
    void SelectProduct(const std::string& product) override { Note("select", selected, product); }
    std::string SelectedProduct() const override { return selected; }
    void SetBusyPointer(bool on) override {
        busy = on;
        journal_.push_back(on ? "busy" : "normal");
    }
    void Close() override {
        ++closes;
        journal_.push_back("close");
    }

private:
    void Note(const std::string& what, std::string& field, const std::string& text) {
        field = text;
        journal_.push_back(what + " " + text);
    }
    Journal& journal_;
};

// Answers queued by the test; nullopt is a cancel.
class ScriptedFolderDialog final : public ui::FolderDialog {
public:
    explicit ScriptedFolderDialog(Journal& journal) : journal_(journal) {}
    std::vector<std::optional<std::string>> answers;
    std::vector<std::string> titles;
    bool fail = false;

    std::optional<std::string> ChooseFolder(const std::string& title) override {
        journal_.push_back("dialog " + title);
        titles.push_back(title);
        if (fail) throw std::runtime_error("dialog failed");
        auto answer = answers.at(0);
        answers.erase(answers.begin());
        return answer;
    }

private:
    Journal& journal_;
};

class FakeRegistry final : public ui::Registry {
public:
    struct Open {
        ui::RegistryKey root;
        std::string path;
        std::uint32_t rights;
    };
    // key path -> value name -> value
    std::map<std::string, std::map<std::string, ui::RegistryValue>> keys;
    std::vector<Open> opens;
    int openKeys = 0;

    void Put(const std::string& key, const std::string& name, std::uint32_t type,
             const std::string& bytes) {
        keys[key][name] = ui::RegistryValue{ui::kRegistrySuccess, type, bytes};
    }

    ui::RegistryStatus OpenKey(ui::RegistryKey root, const std::string& path,
                               std::uint32_t rights, ui::RegistryKey& opened) override {
        opens.push_back({root, path, rights});
        auto it = keys.find(path);
        if (it == keys.end()) return ui::kRegistryFileNotFound;
        opened = static_cast<ui::RegistryKey>(std::distance(keys.begin(), it)) + 100;
        ++openKeys;
        return ui::kRegistrySuccess;
    }
    ui::RegistryValue QueryValue(ui::RegistryKey key, const std::string& name,
                                 std::size_t capacity) override {
        auto it = keys.begin();
        std::advance(it, static_cast<long>(key - 100));
        auto value = it->second.find(name);
        if (value == it->second.end()) return {ui::kRegistryFileNotFound, 0, {}};
        if (value->second.data.size() > capacity) return {ui::kRegistryMoreData, 0, {}};
        return value->second;
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

}  // namespace dorvane::test
