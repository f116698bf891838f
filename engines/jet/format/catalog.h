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
// An ODBC link: since Access 2007 it may keep the remote table's definition
// locally, on the page its Id names.
inline constexpr std::int16_t kObjectTypeOdbcLink = 4;
inline constexpr std::uint32_t kSystemObjectFlags = 0x80000002;

struct CatalogEntry {
    std::string name;
    std::int32_t id = 0;
    std::int32_t parent_id = 0;
    std::int16_t type = 0;
    std::uint32_t flags = 0;

    // Has a definition in this file, on page Id. Ids of other objects, links
    // without a local definition among them, have their top byte set.
    bool IsTable() const {
        return type == kObjectTypeTable ||
               (type == kObjectTypeOdbcLink && id > 0 && (static_cast<std::uint32_t>(id) >> 24) == 0);
    }
    bool IsLink() const { return type == kObjectTypeOdbcLink; }
    bool IsSystem() const { return (flags & kSystemObjectFlags) != 0; }
    // For tables: the first page of the table definition.
    std::uint32_t table_page() const { return static_cast<std::uint32_t>(id) & 0x00FFFFFF; }
};

// Every catalog row, in stored order.
std::vector<CatalogEntry> ReadCatalog(const PageFile& file);

// Only the objects with a definition (tables, and links that keep one), in
// stored order.
std::vector<CatalogEntry> ReadTables(const PageFile& file);

// Case-insensitive lookup among the tables.
std::optional<CatalogEntry> FindTable(const std::vector<CatalogEntry>& tables, std::string_view name);

}  // namespace dorvane::jet
