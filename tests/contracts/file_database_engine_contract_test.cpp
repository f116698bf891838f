// The file-database engine's contract, held to the built-in Access engine and
// to the fake the operations' tests use, so that the fake behaves as the
// engine does (the same errors for the same faults).

#include <fstream>

#include "engines/jet/create/create_database.h"
#include "engines/jet/create/csv_import.h"
#include "engines/jet/jet_engine.h"
#include "tests/contracts/file_database_engine_contract.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_dir.h"

namespace dorvane::testing {
namespace {

// The doclib table as a CSV: LibCode 'lib1' for every row, DocumentPath as
// given, "" for empty text and an empty field for Null.
std::string DocLibCsv(const std::vector<std::optional<std::string>>& paths) {
    std::string csv = "LibCode,DocumentPath\r\n";
    for (const auto& path : paths) csv += "lib1," + (path ? "\"" + *path + "\"" : std::string()) + "\r\n";
    return csv;
}

class RealEngine {
public:
    FileDatabaseEngine& engine() { return *engine_; }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    void MakeDatabase(const std::string& name, const DocLibRows& doclib) {
        jet::create::CreateDatabase(dir_ / name);
        if (!doclib) return;
        std::ofstream(dir_ / "doclib.csv", std::ios::binary | std::ios::trunc) << DocLibCsv(*doclib);
        jet::create::ImportOptions options;
        options.types["DocumentPath"] = jet::create::ImportType::kText;
        jet::create::ImportCsv(dir_ / name, "doclib", dir_ / "doclib.csv", options);
    }
    std::string Content(const std::string& name) const { return ReadFile(dir_ / name); }

private:
    TempDir dir_;
    std::unique_ptr<FileDatabaseEngine> engine_ = jet::MakeEngine();
};

class FakeEngineWorld {
public:
    FileDatabaseEngine& engine() { return engine_; }
    std::string Path(const std::string& name) const { return "D:\\Data\\" + name; }
    void MakeDatabase(const std::string& name, const DocLibRows& doclib) {
        fs_.files[Path(name)] = "database " + name;
        if (doclib) engine_.doclib[Path(name)] = *doclib;
    }
    std::string Content(const std::string& name) const {
        const auto file = fs_.files.find(Path(name));
        return file == fs_.files.end() ? std::string() : file->second;
    }

private:
    FakeFileSystem fs_;
    FakeEngine engine_{fs_};
};

using Engines = ::testing::Types<RealEngine, FakeEngineWorld>;
INSTANTIATE_TYPED_TEST_SUITE_P(Engines, FileDatabaseEngineContract, Engines);

}  // namespace
}  // namespace dorvane::testing
