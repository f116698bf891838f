#include "core/database_kind.h"

#include <charconv>
#include <cstdint>

#include "core/run_context.h"
#include "core/settings/settings_store.h"

namespace dorvane {

std::optional<std::int16_t> ParseDatabaseKind(std::string_view text) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    std::int64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 32768) return std::nullopt;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < -32768 || value > 32767) return std::nullopt;
    return static_cast<std::int16_t>(value);
}

void ReadDatabaseKind(SettingsStore& settings, RunContext& ctx) {
    const auto text = GetSetting(settings, ctx.Product, "TitleBar", "sqlver", kNotSetUpKind);
    if (auto kind = ParseDatabaseKind(text)) ctx.DbKind = *kind;
}

}  // namespace dorvane
