#pragma once
// In-memory stand-ins for the components, for tests of the program's logic; the file system records its calls.

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/error.h"
#include "core/message_boxes.h"
#include "core/runtime.h"
#include "core/settings/settings_store.h"
#include "core/components/file_database_engine.h"
#include "core/components/file_system.h"
#include "engines/files/local_file_system.h"
#include "core/components/sql_client.h"

namespace dorvane::testing {

inline std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    return s;
}

class FakeSettings final : public SettingsStore {
public:
    void Set(const std::string& app, const std::string& section, const std::string& key, const std::string& value) {
        values_[Id(app, section, key)] = value;
    }
    std::optional<std::string> Get(const std::string& app, const std::string& section, const std::string& key) const {
        const auto it = values_.find(Id(app, section, key));
        return it == values_.end() ? std::nullopt : std::optional<std::string>(it->second);
    }

    std::optional<std::string> Read(std::string_view app, std::string_view section, std::string_view key) override {
        return Get(std::string(app), std::string(section), std::string(key));
    }
    bool Write(std::string_view app, std::string_view section, std::string_view key, std::string_view value) override {
        ++writes;
        if (throwOnWrite) throw std::runtime_error("the settings store is not writable");
        Set(std::string(app), std::string(section), std::string(key), std::string(value));
        return true;
    }
    bool Delete(std::string_view, std::string_view, std::string_view) override { return false; }
    std::vector<SettingEntry> List(std::optional<std::string_view>) override { return {}; }

    bool throwOnWrite = false;
    int writes = 0;

private:
    static std::string Id(const std::string& app, const std::string& section, const std::string& key) {
        return Lower(app) + "\n" + Lower(section) + "\n" + Lower(key);
    }
    std::map<std::string, std::string> values_;
};

// Files as text contents keyed by path text (exact).
class FakeFileSystem final : public FileSystem {
public:
    std::map<std::string, std::string> files;
    std::vector<std::string> calls;    // "copy a -> b", "delete a", ...
    std::set<std::string> failOn;      // calls that throw, by their text
    std::set<std::string> notDurable;  // copy destinations replaced and then not made durable

    bool Exists(const std::string& path) override { return files.count(path) > 0; }
    std::optional<std::uint64_t> FileSize(const std::string& path) override {
        const auto it = files.find(path);
        return it == files.end() ? std::nullopt : std::optional<std::uint64_t>(it->second.size());
    }
    // A refused copy leaves its destination as it was, and says so; one in
    // notDurable replaces it and then fails, as a folder that cannot be flushed does.
    void CopyFile(const std::string& source, const std::string& destination) override {
        try {
            Record("copy " + source + " -> " + destination);
        } catch (const Error& e) {
            throw DestinationUnchanged(e);
        }
        auto it = files.find(source);
        if (it == files.end()) throw DestinationUnchanged(Error(errc::kFileNotFound, "File not found: " + source));
        files[destination] = it->second;
        if (notDurable.count(destination) > 0) throw Error(errc::kIoError, "cannot flush the folder of " + destination);
    }
    void DeleteFile(const std::string& path) override {
        Record("delete " + path);
        files.erase(path);
    }
    void RenameReplace(const std::string& from, const std::string& to) override {
        Record("rename " + from + " -> " + to);
        auto it = files.find(from);
        if (it == files.end()) throw Error(errc::kFileNotFound, "File not found: " + from);
        files[to] = it->second;
        files.erase(from);
    }
    std::vector<std::string> ListMatching(const std::string& folder, std::string_view pattern) override {
        std::vector<std::string> out;
        const std::string prefix = folder + "\\";
        for (const auto& [path, content] : files) {
            if (path.rfind(prefix, 0) != 0) continue;
            const std::string name = path.substr(prefix.size());
            if (name.find('\\') == std::string::npos && WildcardMatch(pattern, name)) out.push_back(path);
        }
        return out;
    }
    void AppendToFile(const std::string& path, std::string_view bytes, TextFile) override {
        Record("append " + path);
        files[path] += std::string(bytes);
    }

private:
    void Record(const std::string& call) {
        calls.push_back(call);
        if (failOn.count(call) > 0) throw Error(errc::kPermissionDenied, "refused: " + call);
    }
};

// Compaction copies the content with a marker, so tests can tell copies apart.
class FakeEngine final : public FileDatabaseEngine {
public:
    explicit FakeEngine(FakeFileSystem& fs) : fs_(fs) {}

    std::map<std::string, std::string> compactErrors;  // source -> description
    std::map<std::string, RepairLoss> repairLosses;    // source -> what its repair loses
    // Lookup: path -> rows of DocumentPath (nullopt = Null)
    std::map<std::string, std::vector<std::optional<std::string>>> doclib;
    std::vector<std::string> sqlSeen;

    // Noted among the file system's calls: "hold <path>", "release <path>".
    std::unique_ptr<DatabaseHold> HoldDatabase(const std::string& path) override {
        return std::make_unique<FakeHold>(fs_, path);
    }
    void CompactDatabase(const std::string& source, const std::string& destination) override {
        if (auto it = compactErrors.find(source); it != compactErrors.end()) throw Error(errc::kInUse, it->second);
        auto src = fs_.files.find(source);
        if (src == fs_.files.end()) throw Error(errc::kFileNotFound, "Could not find file '" + source + "'.");
        if (fs_.files.count(destination) > 0) throw Error(errc::kFileAlreadyExists, "Database already exists.");
        fs_.files[destination] = src->second + "+compacted";
    }
    RepairLoss RepairDatabase(const std::string& source, const std::string& destination) override {
        CompactDatabase(source, destination);
        return repairLosses[source];  // none scripted: nothing lost
    }
    std::shared_ptr<Database> OpenDatabase(const std::string& path) override;

private:
    class FakeHold final : public DatabaseHold {
    public:
        FakeHold(FakeFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {
            fs_.calls.push_back("hold " + path_);
        }
        ~FakeHold() override { fs_.calls.push_back("release " + path_); }

    private:
        FakeFileSystem& fs_;
        std::string path_;
    };
    FakeFileSystem& fs_;
};

class FakeRecordset final : public Recordset {
public:
    explicit FakeRecordset(std::vector<std::optional<std::string>> rows) : rows_(std::move(rows)) {}
    void MoveFirst() override {
        if (rows_.empty()) throw Error(errc::kNoCurrentRecord, "No current record.");
    }
    FieldValue Field(const std::string& name) override {
        if (Lower(name) != "documentpath") throw Error(errc::kItemNotFound, "Item not found");
        if (!rows_.front()) return FieldValue{true, {}};
        return FieldValue{false, *rows_.front()};
    }
    void Close() override {}

private:
    std::vector<std::optional<std::string>> rows_;
};

using DocLib = std::optional<std::vector<std::optional<std::string>>>;  // nullopt: no doclib table

class FakeQueryDef final : public QueryDef {
public:
    FakeQueryDef(FakeEngine& engine, DocLib rows) : engine_(engine), rows_(std::move(rows)) {}
    void SetSQL(const std::string& sql) override { engine_.sqlSeen.push_back(sql); }
    std::unique_ptr<Recordset> OpenRecordset() override {
        if (!rows_) throw Error(errc::kItemNotFound, "The database has no table or query named 'doclib'.");
        return std::make_unique<FakeRecordset>(*rows_);
    }

private:
    FakeEngine& engine_;
    DocLib rows_;
};

class FakeDatabase final : public Database {
public:
    FakeDatabase(FakeEngine& engine, DocLib rows) : engine_(engine), rows_(std::move(rows)) {}
    std::unique_ptr<QueryDef> CreateQueryDef(const std::string&) override {
        if (closed) throw Error(errc::kInternal, "The database is closed.");
        return std::make_unique<FakeQueryDef>(engine_, rows_);
    }
    void Close() override { closed = true; }
    bool closed = false;

private:
    FakeEngine& engine_;
    DocLib rows_;
};

inline std::shared_ptr<Database> FakeEngine::OpenDatabase(const std::string& path) {
    if (fs_.files.count(path) == 0) throw Error(errc::kFileNotFound, "Could not find file '" + path + "'.");
    auto it = doclib.find(path);
    return std::make_shared<FakeDatabase>(*this, it == doclib.end() ? DocLib{} : DocLib{it->second});
}

// SQL client whose failures the test scripts; its record sets are always empty.
class FakeSql final : public SqlClient {
public:
    std::string openError;     // non-empty: Open throws it
    std::string executeError;  // non-empty: Execute throws it
    std::string closeError;    // non-empty: Close throws it

    std::unique_ptr<SqlConnection> NewConnection() override;
    std::unique_ptr<SqlCommand> NewCommand() override;
    std::unique_ptr<SqlRecordset> NewRecordset() override;
};

class FakeSqlConnection final : public SqlConnection {
public:
    explicit FakeSqlConnection(FakeSql& sql) : sql_(sql) {}
    void SetConnectionString(const std::string&) override {}
    void Open() override {
        if (!sql_.openError.empty()) throw Error(-2147467259, sql_.openError);
        open_ = true;
    }
    bool IsOpen() const override { return open_; }
    void Close() override {
        if (!sql_.closeError.empty()) throw Error(-2147467259, sql_.closeError);
        open_ = false;
    }

private:
    FakeSql& sql_;
    bool open_ = false;
};

class FakeSqlCommand final : public SqlCommand {
public:
    explicit FakeSqlCommand(FakeSql& sql) : sql_(sql) {}
    void SetActiveConnection(SqlConnection& c) override { connection_ = &c; }
    void SetCommandText(const std::string&) override {}
    void SetCommandType(int) override {}
    void Execute() override {
        if (connection_ == nullptr || !connection_->IsOpen()) {
            throw Error(3709, "The connection cannot be used to perform this operation.");
        }
        if (!sql_.executeError.empty()) throw Error(-2147217900, sql_.executeError);
    }

private:
    FakeSql& sql_;
    SqlConnection* connection_ = nullptr;
};

class FakeSqlRecordset final : public SqlRecordset {
public:
    void Open(const std::string&, SqlConnection&) override {}
    void MoveFirst() override { throw Error(3021, "No current record."); }
    FieldValue Field(const std::string&) override { return FieldValue{true, {}}; }
    void Close() override {}
};

inline std::unique_ptr<SqlConnection> FakeSql::NewConnection() { return std::make_unique<FakeSqlConnection>(*this); }
inline std::unique_ptr<SqlCommand> FakeSql::NewCommand() { return std::make_unique<FakeSqlCommand>(*this); }
inline std::unique_ptr<SqlRecordset> FakeSql::NewRecordset() { return std::make_unique<FakeSqlRecordset>(); }

class FakeBoxes final : public MessageBoxes {
public:
    struct Box {
        std::string text;
        BoxIcon icon;
        std::string title;
    };
    std::vector<Box> shown;
    std::vector<std::string>* events = nullptr;  // where to note "box <text>", in order with file calls
    void Show(const std::string& text, BoxIcon icon, const std::string& title) override {
        shown.push_back({text, icon, title});
        if (events != nullptr) events->push_back("box " + text);
    }
};

class FakeClock final : public Clock {
public:
    LocalTime now{2026, 12, 6, 3, 47, 52};
    // Each reading of the steady clock is a quarter of a second after the last.
    std::chrono::steady_clock::time_point steady{};
    LocalTime Now() override { return now; }
    std::chrono::steady_clock::time_point Steady() override { return steady += std::chrono::milliseconds(250); }
    std::string FormatGeneralDate(const LocalTime& t) override { return FormatIsoDateTime(t); }
};

// A Runtime over fakes, ready for a product.
struct FakeWorld {
    FakeSettings settings;
    FakeFileSystem files;
    FakeSql sql;
    FakeBoxes boxes;
    FakeClock clock;
    FakeEngine* engine = nullptr;  // owned by the runtime once created
    Runtime rt{settings,
               files,
               [this] {
                   auto e = std::make_unique<FakeEngine>(files);
                   engine = e.get();
                   return std::unique_ptr<FileDatabaseEngine>(std::move(e));
               },
               sql,
               boxes,
               clock};

    FakeEngine& Engine() {
        rt.FileDb();
        return *engine;
    }
};

}  // namespace dorvane::testing
