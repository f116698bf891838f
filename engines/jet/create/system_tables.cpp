#include "engines/jet/create/system_tables.h"

#include "core/error.h"
#include "engines/jet/create/field_values.h"

namespace dorvane::jet::create {

namespace {

constexpr std::uint8_t kSystemBinaryFlags = 0x32;  // SIDs and owners
constexpr std::uint16_t kNameBytes = 510;
constexpr std::uint16_t kAccessObjectBytes = 3992;
constexpr std::int32_t kSystemObjectFlag = static_cast<std::int32_t>(0x80000000u);
constexpr std::int32_t kHiddenObjectFlag = 2;
constexpr std::int16_t kTypeContainer = 3;
constexpr std::int16_t kTypeDatabase = 2;
constexpr std::int16_t kTypePropertyStore = -32757;
// ACE: the flags of the complex-type templates, and the length their Decimal records.
constexpr std::int32_t kTemplateFlags = static_cast<std::int32_t>(0x80030000u);
constexpr std::uint16_t kTemplateDecimalLength = 9;

// The security ids of a new file: the engine's, the creating user's, the
// administrators' group and the creator-owner entry of the containers.
const Bytes kEngineSid{0x65, 0x89};
const Bytes kCreatorSid{0x64, 0x8B};
const Bytes kAdminsSid{0x65, 0x8B};
const Bytes kOwnerEntrySid{0x65, 0x8E};

NewColumn Col(std::string name, std::uint8_t type, std::uint16_t length = 0) {
    return {std::move(name), type, length, {}, {}};
}
NewColumn Sid(std::string name) { return {std::move(name), coltype::kBinary, kNameBytes, kSystemBinaryFlags, {}}; }

}  // namespace

std::vector<NewTable> SystemTableDesigns(bool ace) {
    using namespace coltype;
    NewTable objects{"MSysObjects",
                     kSystemTable,
                     {Col("Id", kLong), Col("ParentId", kLong), Col("Name", kText, kNameBytes), Col("Type", kInteger),
                      Col("DateCreate", kDateTime), Col("DateUpdate", kDateTime), Sid("Owner"), Col("Flags", kLong),
                      Col("Database", kMemo), Col("Connect", kMemo), Col("ForeignName", kText, kNameBytes),
                      Col("RmtInfoShort", kBinary, kNameBytes), Col("RmtInfoLong", kOle), Col("Lv", kOle),
                      Col("LvProp", kOle), Col("LvModule", kOle), Col("LvExtra", kOle)},
                     {{"ParentIdName", {"ParentId", "Name"}, kIndexStored | kIndexUnique, false},
                      {"Id", {"Id"}, kIndexStored | kIndexUnique, true}}};
    NewTable aces{"MSysACEs",
                  kSystemTable,
                  {Col("ObjectId", kLong), Sid("SID"), Col("ACM", kLong), Col("FInheritable", kBoolean)},
                  {{"ObjectId", {"ObjectId"}, kIndexStored | kIndexRequired, false}}};
    NewTable queries{"MSysQueries",
                     kSystemTable,
                     {Col("ObjectId", kLong), Col("Attribute", kByte), Col("Order", kBinary, kNameBytes),
                      Col("Name1", kText, kNameBytes), Col("Name2", kText, kNameBytes), Col("Expression", kMemo),
                      Col("Flag", kInteger), Col("LvExtra", kLong)},
                     {{"ObjectIdAttribute", {"ObjectId", "Attribute", "Order"}, kIndexStored | kIndexUnique, true}}};
    NewTable relationships{
        "MSysRelationships",
        kSystemTable,
        {Col("szRelationship", kText, kNameBytes), Col("grbit", kLong), Col("ccolumn", kLong), Col("icolumn", kLong),
         Col("szObject", kText, kNameBytes), Col("szColumn", kText, kNameBytes),
         Col("szReferencedObject", kText, kNameBytes), Col("szReferencedColumn", kText, kNameBytes)},
        {{"szRelationship", {"szRelationship"}, kIndexStored | kIndexIgnoresNulls, false},
         {"szObject", {"szObject"}, kIndexStored | kIndexIgnoresNulls, false},
         {"szReferencedObject", {"szReferencedObject"}, kIndexStored | kIndexIgnoresNulls, false}}};
    std::vector<NewTable> tables{objects, aces, queries, relationships};
    if (ace) {
        constexpr std::uint8_t kComplexIndex = kIndexStored | kIndexRequired | kIndexIgnoresNulls;
        // The templates' columns carry only the fixed-length flag and 0x02.
        const auto plain = [](std::string name, std::uint8_t type, std::uint16_t length = 0) {
            const bool variable = type == kText || type == kMemo || type == kOle;
            return NewColumn{std::move(name), type, length, std::uint8_t(variable ? 0x02 : 0x03), {}};
        };
        const auto required = [](std::string name, std::uint8_t type, std::uint16_t length = 0) {
            return NewColumn{std::move(name), type, length, std::uint8_t(type == kText ? 0x12 : 0x13), {}};
        };
        tables.push_back({"MSysComplexColumns",
                          kSystemTable,
                          {required("ColumnName", kText, kNameBytes),
                           required("ComplexTypeObjectID", kLong),
                           required("FlatTableID", kLong),
                           required("ConceptualTableID", kLong),
                           {"ComplexID", kLong, 0, std::uint8_t{0x17}, {}}},
                          {{"IdxConceptualTableID", {"ConceptualTableID"}, kComplexIndex, false},
                           {"IdxFlatTableID", {"FlatTableID"}, kComplexIndex, false},
                           {"IdxID", {"ComplexID"}, kComplexIndex | kIndexUnique, true}}});
        // The templates a complex column's kind is told by: one Value column each.
        const std::pair<const char*, NewColumn> templates[] = {
            {"UnsignedByte", plain("Value", kByte)},
            {"Short", plain("Value", kInteger)},
            {"Long", plain("Value", kLong)},
            {"IEEESingle", plain("Value", kSingle)},
            {"IEEEDouble", plain("Value", kDouble)},
            {"GUID", plain("Value", kGuid)},
            {"Decimal", {"Value", kDecimal, kTemplateDecimalLength, std::uint8_t{0x02}, true}},
            {"Text", plain("Value", kText, kNameBytes)}};
        for (const auto& [kind, value] : templates)
            tables.push_back({std::string("MSysComplexType_") + kind, kSystemTable, {value}, {}});
        tables.push_back(
            {"MSysComplexType_Attachment",
             kSystemTable,
             {plain("FileURL", kMemo), plain("FileName", kText, kNameBytes), plain("FileType", kText, kNameBytes),
              plain("FileData", kOle), plain("FileTimeStamp", kDateTime), plain("FileFlags", kLong)},
             {}});
        return tables;
    }
    // A user table to the engine (Access keeps its own objects here), with a variable-length Long.
    tables.push_back({"MSysAccessObjects",
                      kUserTable,
                      {{"Data", kFixedBinary, kAccessObjectBytes, 0x03, false}, {"ID", kLong, 0, 0x02, true}},
                      {{"AOIndex", {"ID"}, kIndexStored | kIndexRequired | kIndexUnique, true}}});
    return tables;
}

std::vector<StoredValue> RowOf(const TableDef& def, const std::vector<std::pair<std::string, StoredValue>>& named) {
    std::vector<StoredValue> row(def.columns.size());
    for (const auto& [name, value] : named) {
        const auto at = def.ColumnIndex(name);
        if (!at) ThrowCorrupt("table has no column \"" + name + "\"");
        row[*at] = value;
    }
    return row;
}

namespace {

std::vector<StoredValue> CatalogRow(const TableDef& catalog, std::int32_t id, std::int32_t parent,
                                    const std::string& name, std::int16_t type, double created, const Bytes& owner,
                                    std::int32_t flags) {
    const Column& nameColumn = catalog.columns.at(*catalog.ColumnIndex("Name"));
    return RowOf(catalog, {{"Id", LongValue(id)},
                           {"ParentId", LongValue(parent)},
                           {"Name", TextValue(nameColumn, name)},
                           {"Type", IntegerValue(type)},
                           {"DateCreate", DateTimeValue(created)},
                           {"DateUpdate", DateTimeValue(created)},
                           {"Owner", BinaryValue(owner)},
                           {"Flags", LongValue(flags)}});
}

}  // namespace

std::vector<StoredValue> UserTableCatalogRow(const TableDef& catalog, std::int32_t id, const std::string& name,
                                             ByteSpan owner, double created) {
    return CatalogRow(catalog, id, kTablesContainer, name, kTypeTable, created, Bytes(owner.begin(), owner.end()), 0);
}

SystemRows SystemTableRows(const std::vector<NewTable>& designs, const std::vector<TableDef>& defs, double created) {
    const TableDef& catalog = defs.at(0);
    const TableDef& aceTable = defs.at(1);
    SystemRows rows;
    const auto object = [&](std::int32_t id, std::int32_t parent, const char* name, std::int16_t type,
                            const Bytes& owner, std::int32_t flags) {
        rows.catalog.push_back(CatalogRow(catalog, id, parent, name, type, created, owner, flags));
    };
    object(kTablesContainer, kRootContainer, "Tables", kTypeContainer, kEngineSid, kSystemObjectFlag);
    object(kDatabasesContainer, kRootContainer, "Databases", kTypeContainer, kEngineSid, kSystemObjectFlag);
    object(kRelationshipsContainer, kRootContainer, "Relationships", kTypeContainer, kEngineSid, kSystemObjectFlag);
    object(kDatabaseObject, kDatabasesContainer, "MSysDb", kTypeDatabase, kCreatorSid, kSystemObjectFlag);
    std::vector<std::int32_t> ids;
    for (std::size_t i = 0; i < defs.size(); ++i) {
        ids.push_back(static_cast<std::int32_t>(defs[i].page));
        const std::string& name = designs.at(i).name;
        const bool access = name == "MSysAccessObjects";  // Access's own table: owned by the creator, hidden
        const bool complexType = name.starts_with("MSysComplexType_");
        object(ids.back(), kTablesContainer, name.c_str(), kTypeTable, access ? kCreatorSid : kEngineSid,
               access        ? kHiddenObjectFlag
               : complexType ? kTemplateFlags
                             : kSystemObjectFlag);
    }
    const std::int32_t kAccessFirst = static_cast<std::int32_t>(0x80000000u);
    object(kAccessFirst, kDatabasesContainer, "SummaryInfo", kTypePropertyStore, kCreatorSid, 0);
    object(kAccessFirst + 1, kDatabasesContainer, "UserDefined", kTypePropertyStore, kCreatorSid, 0);
    const char* containers[] = {"Forms", "Reports", "Scripts", "Modules", "SysRel", "DataAccessPages"};
    for (std::int32_t i = 0; i < 6; ++i)
        object(kAccessFirst + 2 + i, kRootContainer, containers[i], kTypeContainer, kCreatorSid, 0);

    const auto ace = [&](std::int32_t id, const Bytes& sid, std::int32_t acm, bool inheritable) {
        rows.aces.push_back(RowOf(aceTable, {{"ObjectId", LongValue(id)},
                                             {"SID", BinaryValue(sid)},
                                             {"ACM", LongValue(acm)},
                                             {"FInheritable", BooleanValue(inheritable)}}));
    };
    for (std::size_t i = 0; i < 4; ++i) ace(ids[i], kCreatorSid, i == 3 ? 917504 : 393216, false);
    ace(kTablesContainer, kOwnerEntrySid, 983294, true);
    ace(kTablesContainer, kCreatorSid, 393217, false);
    ace(kRelationshipsContainer, kOwnerEntrySid, 983294, true);
    ace(kRelationshipsContainer, kCreatorSid, 393217, false);
    ace(kDatabasesContainer, kCreatorSid, 393216, false);
    ace(kDatabaseObject, kCreatorSid, 393230, false);
    ace(kDatabaseObject, kAdminsSid, 14, false);
    for (std::size_t i : {std::size_t{2}, std::size_t{3}, std::size_t{0}}) ace(ids[i], kAdminsSid, 20, false);
    ace(kTablesContainer, kAdminsSid, kTableRights, true);
    ace(kRelationshipsContainer, kAdminsSid, 1048575, true);
    if (designs.back().name == "MSysAccessObjects") {
        ace(ids.back(), kCreatorSid, 1048575, false);
        ace(ids.back(), kAdminsSid, 1048575, false);
    }
    for (std::size_t i = 4; i < ids.size() && designs[i].table_type == kSystemTable; ++i) {
        ace(ids[i], kCreatorSid, 393216, false);
        ace(ids[i], kAdminsSid, 20, false);
    }
    ace(kAccessFirst, kAdminsSid, 65536, false);
    ace(kAccessFirst + 1, kAdminsSid, 65536, false);
    for (std::int32_t i = 0; i < 6; ++i) {
        for (const Bytes* sid : {&kAdminsSid, &kCreatorSid, &kOwnerEntrySid})
            ace(kAccessFirst + 2 + i, *sid, 1048575, true);
    }
    return rows;
}

}  // namespace dorvane::jet::create
