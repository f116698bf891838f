#pragma once
// DatabaseKind: the integer under "TitleBar"/"sqlver". 1 is SQL Server, 9 (the
// default) means the product is not set up here, anything else is Access.

#include <cstdint>
#include <optional>
#include <string_view>

namespace dorvane {

class SettingsStore;
struct RunContext;

inline constexpr std::int16_t kSqlServerKind = 1;
inline constexpr std::int16_t kNotSetUpKind = 9;

// Plain decimal whole numbers with surrounding blanks and an optional sign,
// within -32768..32767. Anything else does not convert.
std::optional<std::int16_t> ParseDatabaseKind(std::string_view text);

// get(Product, "TitleBar", "sqlver", 9) into ctx.DbKind; when the text does not
// convert, DbKind keeps its earlier value.
void ReadDatabaseKind(SettingsStore& settings, RunContext& ctx);

}  // namespace dorvane
