#pragma once
// The catalog: MSysObjects, whose definition is always on page 2. Each table
// is a row with Type 1 whose Id is the page of its definition.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane::jet {

class PageFile;

inline constexpr std::uint32_t kCatalogPage = 2;
inline constexpr std::int16_t kObjectTypeTable = 1;
inline constexpr std::uint32_t kSystemObjectFlags = 0x80000002;

struct CatalogEntry {
    std::string name;
    std::int32_t id = 0;
    std::int32_t parent_id = 0;
    std::int16_t type = 0;
    std::uint32_t flags = 0;

    bool IsTable() const { return type == kObjectTypeTable; }
    bool IsSystem() const { return (flags & kSystemObjectFlags) != 0; }
    // For tables: the first page of the table definition.
    std::uint32_t table_page() const { return static_cast<std::uint32_t>(id) & 0x00FFFFFF; }
};

// Every catalog row, in stored order.
std::vector<CatalogEntry> ReadCatalog(const PageFile& file);

// Only the tables (Type 1), in stored order.
std::vector<CatalogEntry> ReadTables(const PageFile& file);

// Case-insensitive lookup among the tables.
std::optional<CatalogEntry> FindTable(const std::vector<CatalogEntry>& tables, std::string_view name);

}  // namespace dorvane::jet
