#include "ui/logic/about_texts.h"

#include <charconv>
#include <cstdint>
#include <vector>

#include "core/database_kind.h"
#include "core/run_context.h"

namespace dorvane::ui {
namespace {

std::vector<std::uint32_t> VersionNumbers(std::string_view record) {
    std::vector<std::uint32_t> numbers;
    while (true) {
        const auto dot = record.find('.');
        const auto part = record.substr(0, dot);
        std::uint32_t value = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
        numbers.push_back(ec == std::errc() && end == part.data() + part.size() ? value : 0);
        if (dot == std::string_view::npos) break;
        record.remove_prefix(dot + 1);
    }
    numbers.resize(4, 0);
    return numbers;
}

}  // namespace

std::string InfoText(const RunContext& ctx) {
    if (ctx.DbKind != kSqlServerKind) return "mdb database";
    std::string text = "DSN:   " + ctx.Dsn;
    text += kCrLf;
    text += "Dbase:   " + ctx.DbaseName;
    text += kCrLf;
    text += "Server:   " + ctx.SqlServerName;
    return text;
}

std::string LogText(const RunContext& ctx) {
    std::string text = "Backup Path:";
    text += kCrLf;
    text += ctx.BackupPath;
    text += kCrLf;
    text += kCrLf;
    text += "Log File:";
    text += kCrLf;
    text += ctx.AppPath + "\\Dorvane_log.txt";
    return text;
}

std::string TitleText() { return std::string(kApplicationTitle) + " for:"; }

std::string VersionText(std::string_view versionRecord) {
    const auto n = VersionNumbers(versionRecord);
    return "Version " + std::to_string(n[0]) + "." + std::to_string(n[1]) + "." + std::to_string(n[3]);
}

std::string_view ProgramVersion() { return DORVANE_VERSION; }

}  // namespace dorvane::ui
