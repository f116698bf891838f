// dorvane-jet: the built-in Access engine from the command line, for
// administrators and tests.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/jet_tool/attachment_export.h"
#include "app/jet_tool/csv.h"
#include "app/jet_tool/csv_export.h"
#include "app/jet_tool/output.h"
#include "app/jet_tool/table_export.h"
#include "core/error.h"
#include "engines/jet/check/checker.h"
#include "engines/jet/compact/compaction.h"
#include "engines/jet/create/create_database.h"
#include "engines/jet/create/csv_import.h"
#include "engines/jet/database.h"
#include "engines/jet/query.h"
#include "engines/jet/format/value.h"
#include "platform/heap.h"

namespace {

using namespace dorvane::jet;

dorvane::jet_tool::Output out(stdout);
dorvane::jet_tool::Output err(stderr);

constexpr const char* kUsage =
    "Usage: dorvane-jet COMMAND ARGUMENTS\n"
    "Reads Access files with the built-in engine: Jet 3 and Jet 4 (.mdb/.mde, Access 97 to\n"
    "2003) and ACE (.accdb, Access 2007, 2010/2013, 2016 and 2019; not Office-encrypted\n"
    "ones); checks, compacts and repairs them; makes Jet 4 ones.\n"
    "\n"
    "Commands:\n"
    "  tables FILE [--all]        user tables, one per line; --all adds system tables\n"
    "  schema FILE [TABLE]        columns and indexes of every table, or of one\n"
    "  export FILE TABLE [--attachments DIR]\n"
    "                             the table as CSV (RFC 4180), header row first,\n"
    "                             binary and OLE values as hexadecimal, Null as an empty\n"
    "                             field; a complex column as its items joined by \"; \"\n"
    "                             (multi-value values, attachments as \"name (N bytes)\",\n"
    "                             memo versions as \"text (date)\"); --attachments writes\n"
    "                             each attachment to DIR/COLUMN/ROW/NAME, ROW counted\n"
    "                             from 1, never over an existing file\n"
    "  export FILE --all DIR [--attachments DIR]\n"
    "                             every user table the same way, each into DIR/TABLE.csv\n"
    "                             (DIR made where missing, no file overwritten; % and\n"
    "                             what a file name cannot hold as %XX); attachments\n"
    "                             under DIR/TABLE/COLUMN/ROW/NAME\n"
    "  query FILE \"SELECT ...\"    run SELECT col[, col...] FROM table\n"
    "                             [WHERE col = 'text' [AND ...]]; CSV with a header row\n"
    "  check FILE                 read every table, long value and index entry and\n"
    "                             check that they agree; each problem is printed with\n"
    "                             its class (derived: rebuilt by repair; primary: rows or\n"
    "                             values unreadable; suspect: rows may be lost;\n"
    "                             unrepairable); exit status 1 on any problem\n"
    "  compact SOURCE DESTINATION write a compacted copy of SOURCE to DESTINATION, a new\n"
    "                             file, compared with SOURCE before it is kept; SOURCE is\n"
    "                             never written and must not be in use\n"
    "  repair SOURCE DESTINATION  like compact, but a damaged SOURCE is repaired into\n"
    "                             DESTINATION: every row that reads soundly is kept,\n"
    "                             indexes, maps and counts are rebuilt; prints per table\n"
    "                             what was rebuilt, lost or kept in doubt; a sound SOURCE\n"
    "                             is compacted as compact does; exit status 3 when the\n"
    "                             copy was written but something was lost or is in doubt,\n"
    "                             2 when the damage cannot be repaired\n"
    "  create [--version V] FILE  a new, empty database of Access V: 2000 (Jet 4, the\n"
    "                             default), or 2007, 2010, 2016 or 2019 (ACE, .accdb);\n"
    "                             an existing FILE is refused\n"
    "  import FILE TABLE CSV [--key COLUMN] [--index COLUMN ...] [--type COLUMN=TYPE ...]\n"
    "                             a new TABLE in the Jet 4 or ACE FILE from a CSV (RFC 4180,\n"
    "                             UTF-8, header row); each column's type is chosen from\n"
    "                             its values (Long, Double, Currency, DateTime, YesNo,\n"
    "                             Text, Memo) unless given (OLE: given only, values in\n"
    "                             hexadecimal); --key makes COLUMN the primary key,\n"
    "                             --index indexes COLUMN (duplicates allowed); a value\n"
    "                             that does not fit is refused with its line and FILE\n"
    "                             is left as it was\n"
    "  drop FILE TABLE            takes a user TABLE out of the Jet 4 FILE; its pages\n"
    "                             stay free until the file is compacted\n"
    "  --help                     this text\n"
    "  --version                  the program's version\n"
    "\n"
    "Exit status: 0 success, 1 inconsistencies found (check), 2 error or bad usage,\n"
    "3 repaired with something lost or in doubt (repair).\n";

// A repair that wrote its copy but could not keep everything, or kept rows
// whose indexes disagreed with them.
constexpr int kRepairedWithLoss = 3;

int Usage(const std::string& problem) {
    err << "dorvane-jet: " << problem << "\n\n" << kUsage;
    return 2;
}

int Import(const std::vector<std::string>& args) {
    if (args.size() < 4) return Usage("import needs FILE, TABLE and CSV");
    create::ImportOptions options;
    for (std::size_t i = 4; i < args.size(); ++i) {
        if (args[i] == "--key" && i + 1 < args.size()) {
            options.key = args[++i];
        } else if (args[i] == "--index" && i + 1 < args.size()) {
            options.indexes.push_back(args[++i]);
        } else if (args[i] == "--type" && i + 1 < args.size()) {
            const std::string& given = args[++i];
            const std::size_t eq = given.find('=');
            const auto type = eq == std::string::npos ? std::nullopt : create::ImportTypeNamed(given.substr(eq + 1));
            if (!type)
                return Usage(
                    "--type takes COLUMN=TYPE with TYPE one of Long, Double, Currency, DateTime, YesNo, Text, Memo, "
                    "OLE");
            options.types[given.substr(0, eq)] = *type;
        } else {
            return Usage("import does not know '" + args[i] + "'");
        }
    }
    const create::ImportSummary summary = create::ImportCsv(args[1], args[2], args[3], options);
    out << "imported " << summary.rows << " rows into " << args[2] << " (";
    for (std::size_t i = 0; i < summary.columns.size(); ++i) {
        out << (i ? ", " : "") << summary.columns[i].first << " " << create::ImportTypeName(summary.columns[i].second);
    }
    out << ")\n";
    return 0;
}

std::string FormatName(const PageFile& file) {
    switch (file.version_byte()) {
        case kVersionJet3:
            return "Jet 3";
        case kVersionJet4:
            return "Jet 4";
        case kVersionAce2007:
            return "ACE (Access 2007)";
        case kVersionAce2010:
            return "ACE (Access 2010)";
        case kVersionAce2016:
            return "ACE (Access 2016)";
        default:
            return "ACE (Access 2019)";
    }
}

std::string TypeName(const Column& column) {
    switch (column.type) {
        case coltype::kBoolean:
            return "Boolean";
        case coltype::kByte:
            return "Byte";
        case coltype::kInteger:
            return "Integer";
        case coltype::kLong:
            return "Long";
        case coltype::kCurrency:
            return "Currency";
        case coltype::kSingle:
            return "Single";
        case coltype::kDouble:
            return "Double";
        case coltype::kDateTime:
            return "Date/Time";
        case coltype::kBinary:
            return "Binary(" + std::to_string(column.length) + ")";
        case coltype::kText:
            return "Text(" + std::to_string(column.length) + " bytes)";
        case coltype::kOle:
            return "OLE";
        case coltype::kMemo:
            return "Memo";
        case coltype::kGuid:
            return "GUID";
        case coltype::kDecimal:
            return "Decimal(" + std::to_string(column.precision) + "," + std::to_string(column.scale) + ")";
        case coltype::kFixedBinary:
            return "Fixed binary(" + std::to_string(column.length) + ")";
        case coltype::kComplex:
            return "Complex";
        case coltype::kBigInt:
            return "Large Number";
        case coltype::kExtendedDate:
            return "Date/Time Extended";
        default:
            return "type 0x" + HexUpper(ByteSpan(&column.type, 1));
    }
}

void PrintSchema(const JetDatabase& db, const CatalogEntry& entry) {
    const TableDef def = ReadTableDef(db.file(), entry.table_page());
    out << "TABLE " << entry.name << " (definition page " << def.page << ", " << def.columns.size() << " columns, "
        << def.num_rows << " rows cached)\n";
    for (const Column& column : def.columns) {
        out << "  " << column.name << "  " << TypeName(column) << (column.IsCalculated() ? "  calculated" : "")
            << (column.IsFixed() ? "" : "  variable") << "  #" << column.number << "\n";
    }
    for (const LogicalIndex& index : def.logical_indexes) {
        const PhysicalIndex& physical = def.physical_indexes[index.physical_index];
        out << "  INDEX " << index.name << " (";
        for (std::size_t i = 0; i < physical.columns.size(); ++i) {
            const Column* column = def.ColumnByNumber(physical.columns[i].column_number);
            out << (i ? ", " : "")
                << (column ? column->name : std::string("#").append(std::to_string(physical.columns[i].column_number)))
                << (physical.columns[i].ascending ? "" : " DESC");
        }
        out << ")" << (index.type == kIndexPrimaryKey ? " PRIMARY KEY" : "")
            << (index.type == kIndexForeignKey ? " FOREIGN KEY" : "")
            << ((physical.flags & kIndexUnique) ? " UNIQUE" : "") << "\n";
    }
}

void PrintRows(const TextRows& rows) {
    const std::vector<std::optional<std::string>> header(rows.columns.begin(), rows.columns.end());
    out << dorvane::jet_tool::CsvRow(header);
    for (const auto& row : rows.rows) out << dorvane::jet_tool::CsvRow(row);
}

// One line per table the repair touched: indexes rebuilt, entries dropped,
// rows kept and lost.
void PrintRepair(const RepairReport& report) {
    for (const TableRepair& t : report.tables) {
        if (t.rebuilt_indexes.empty() && t.stale_entries == 0 && t.rows_dropped == 0 && t.possibly_lost == 0 &&
            t.values_cut == 0 && t.rows_disputed == 0)
            continue;
        out << "table \"" << t.name << "\": " << t.rows_kept << " rows kept";
        if (!t.rebuilt_indexes.empty()) {
            out << ", rebuilt index";
            for (std::size_t i = 0; i < t.rebuilt_indexes.size(); ++i) out << (i ? ", " : " ") << t.rebuilt_indexes[i];
            out << " from the rows";
        }
        if (t.stale_entries) out << ", dropped " << t.stale_entries << " stale index entries";
        if (t.rows_dropped) out << ", dropped " << t.rows_dropped << " rows of damaged pages";
        if (t.possibly_lost) out << ", up to " << t.possibly_lost << " rows may be lost";
        if (t.values_cut) out << ", cut " << t.values_cut << " memo/OLE values (set to Null)";
        if (t.rows_disputed) out << ", kept " << t.rows_disputed << " rows that an index disagreed with";
        out << "\n";
    }
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) return Usage("no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    if (command == "--version") {
        if (args.size() != 1) return Usage("--version takes no arguments");
        out << "dorvane-jet " DORVANE_VERSION "\n";
        return 0;
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        const bool known =
            (command == "import" && (args[i] == "--key" || args[i] == "--index" || args[i] == "--type")) ||
            (command == "export" && (args[i] == "--attachments" || args[i] == "--all")) ||
            (command == "create" && args[i] == "--version") || (command == "tables" && args[i] == "--all");
        if (args[i].rfind("--", 0) == 0 && !known)
            return Usage(command + " does not know the option '" + args[i] + "'");
    }
    if (command == "compact") {
        if (args.size() != 3) return Usage("compact needs SOURCE and DESTINATION");
        CompactSummary summary;
        CompactFile(args[1], args[2], summary);
        out << "compacted " << args[1] << " (" << summary.source_pages << " pages) into " << args[2] << " ("
            << summary.copy_pages << " pages, " << summary.holes << " kept empty, " << summary.definitions_moved
            << " table definitions moved); checked " << summary.tables << " tables, " << summary.rows << " rows, "
            << summary.long_values << " memo/OLE values, " << summary.index_entries << " index entries\n";
        if (summary.definitions_kept != nullptr)
            out << "table definitions kept their pages: " << summary.definitions_kept << "\n";
        return 0;
    }
    if (command == "repair") {
        if (args.size() != 3) return Usage("repair needs SOURCE and DESTINATION");
        RepairReport report;
        RepairFile(args[1], args[2], report);
        PrintRepair(report);
        const std::string loss = report.LossSummary();
        out << (report.source_sound ? "found " + args[1] + " sound and compacted it" : "repaired " + args[1])
            << " into " << args[2] << " (" << report.summary.copy_pages << " pages); checked " << report.summary.tables
            << " tables, " << report.summary.rows << " rows" << (loss.empty() ? "; nothing lost" : "; " + loss) << "\n";
        return loss.empty() ? 0 : kRepairedWithLoss;
    }
    if (args.size() < 2) return Usage(command + " needs a FILE");
    if (command == "create") {
        static const std::map<std::string, std::uint8_t> kVersions{{"2000", kVersionJet4},
                                                                   {"2007", kVersionAce2007},
                                                                   {"2010", kVersionAce2010},
                                                                   {"2016", kVersionAce2016},
                                                                   {"2019", kVersionAce2019}};
        std::vector<std::string> rest(args.begin() + 1, args.end());
        std::uint8_t version = kVersionJet4;
        if (const auto at = std::find(rest.begin(), rest.end(), "--version"); at != rest.end()) {
            if (at + 1 == rest.end() || !kVersions.contains(*(at + 1)))
                return Usage("create --version takes 2000, 2007, 2010, 2016 or 2019");
            version = kVersions.at(*(at + 1));
            rest.erase(at, at + 2);
        }
        if (rest.size() != 1) return Usage("create takes one FILE");
        create::CreateDatabase(rest[0], version);
        out << "created " << rest[0] << "\n";
        return 0;
    }
    if (command == "import") return Import(args);
    if (command == "drop") {
        if (args.size() != 3) return Usage("drop needs FILE and TABLE");
        create::DropTable(args[1], args[2]);
        out << "dropped " << args[2] << " from " << args[1] << "\n";
        return 0;
    }
    if (command == "tables") {
        const bool all = std::find(args.begin(), args.end(), "--all") != args.end();
        const auto files =
            std::count_if(args.begin() + 1, args.end(), [](const std::string& a) { return a != "--all"; });
        if (files != 1 || args.size() > 3) return Usage("tables takes one FILE, and --all for the system tables too");
        const std::string& file = args[1] == "--all" ? args[2] : args[1];
        const JetDatabase db = JetDatabase::Open(file);
        for (const CatalogEntry& entry : db.tables()) {
            if (all || !entry.IsSystem()) out << entry.name << "\n";
        }
        return 0;
    }
    if (command == "schema") {
        if (args.size() > 3) return Usage("schema takes FILE [TABLE]");
        const JetDatabase db = JetDatabase::Open(args[1]);
        if (args.size() == 3) {
            const auto entry = FindTable(db.tables(), args[2]);
            if (!entry) throw dorvane::Error(dorvane::errc::kItemNotFound, "no table named '" + args[2] + "'");
            PrintSchema(db, *entry);
        } else {
            for (const CatalogEntry& entry : db.tables()) PrintSchema(db, entry);
        }
        return 0;
    }
    if (command == "export" && args.size() > 2 && args[2] == "--all") {
        const bool attachments = args.size() == 6 && args[4] == "--attachments";
        if (args.size() != 4 && !attachments)
            return Usage("export --all needs FILE, --all and DIR, then --attachments DIR or nothing");
        const JetDatabase db = JetDatabase::OpenForOnePass(args[1], dorvane::jet_tool::kExportKeptBlocks);
        const dorvane::jet_tool::ExportedTables done =
            dorvane::jet_tool::ExportEveryTable(db, args[3], attachments ? args[5] : std::string());
        out << "exported " << done.tables << " table" << (done.tables == 1 ? "" : "s") << " into " << args[3];
        if (attachments)
            out << ", " << done.attachments << " attachment" << (done.attachments == 1 ? "" : "s") << " under "
                << args[5];
        out << "\n";
        return 0;
    }
    if (command == "export") {
        const bool attachments = args.size() == 5 && args[3] == "--attachments";
        if (args.size() != 3 && !attachments)
            return Usage("export needs FILE and TABLE, then --attachments DIR or nothing");
        const JetDatabase db = JetDatabase::OpenForOnePass(args[1], dorvane::jet_tool::kExportKeptBlocks);
        const TableDef def = db.LoadTable(args[2]);
        dorvane::jet_tool::ExportCsv(db.file(), def, stdout);
        if (attachments) {
            const std::size_t files = dorvane::jet_tool::ExportAttachments(db.file(), def, args[4]);
            err << files << " attachment" << (files == 1 ? "" : "s") << " written under " << args[4] << "\n";
        }
        return 0;
    }
    if (command == "query") {
        if (args.size() != 3) return Usage("query needs FILE and one SELECT statement");
        const SelectQuery query = ParseSelect(args[2]);
        const JetDatabase db = JetDatabase::Open(args[1]);
        PrintRows(RunSelect(db.file(), db.tables(), query));
        return 0;
    }
    if (command == "check") {
        if (args.size() != 2) return Usage("check takes one FILE");
        const JetDatabase db = JetDatabase::OpenForOnePass(args[1]);
        const CheckReport report = CheckDatabaseOnTwoCores(db.file());
        for (std::size_t i = 0; i < report.problems.size(); ++i)
            out << "PROBLEM (" << DamageClassName(report.classes[i]) << "): " << report.problems[i] << "\n";
        out << args[1] << ": " << FormatName(db.file()) << ", " << db.file().page_count() << " pages, " << report.tables
            << " tables, " << report.rows << " rows, " << report.long_values << " memo/OLE values, " << report.indexes
            << " indexes with " << report.index_entries << " entries";
        if (report.stale_row_counts > 0) {
            out << ", " << report.stale_row_counts << " stale cached row counts (harmless)";
        }
        out << "\n" << (report.ok() ? "OK" : std::to_string(report.problems.size()) + " problems") << "\n";
        return report.ok() ? 0 : 1;
    }
    return Usage("unknown command '" + command + "'");
}

// Whatever was printed must reach its reader: a full disk or a closed
// output is a failure, not a silent success.
int StatusAfterOutput(int status) {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    const int cause = errno;
    err << "dorvane-jet: cannot write the output" << (cause != 0 ? std::string(": ") + std::strerror(cause) : "")
        << "\n";
    return 2;
}

}  // namespace

// Messages are worded for a shell user: what failed and why. The numbers the
// errors carry are for dorvane's own log and error state, not for this tool.
int main(int argc, char** argv) {
    dorvane::platform::SetUpHeap();
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return StatusAfterOutput(Run(args));
    } catch (const std::exception& error) {
        err << "dorvane-jet: " << error.what() << "\n";
    }
    return 2;
}
