#include <string>

#include "engines/jet/compact/compaction.h"

namespace dorvane::jet {

std::uint64_t RepairReport::RowsLost() const {
    std::uint64_t n = 0;
    for (const TableRepair& t : tables) n += t.rows_dropped + t.possibly_lost + t.items_orphaned;
    return n;
}

std::uint64_t RepairReport::ValuesCut() const {
    std::uint64_t n = 0;
    for (const TableRepair& t : tables) n += t.values_cut;
    return n;
}

std::uint64_t RepairReport::RowsInDoubt() const {
    std::uint64_t n = 0;
    for (const TableRepair& t : tables) n += t.rows_disputed + t.rows_kept_deleted + t.rows_resurrected;
    return n;
}

std::string RepairReport::LossSummary() const {
    std::string out;
    const auto add = [&out](std::uint64_t n, const std::string& text) {
        if (n == 0) return;
        out += (out.empty() ? "" : "; ") + text;
    };
    for (const TableRepair& t : tables) {
        if (!t.items_of.empty()) {  // the rows of a flat table are a column's items
            const std::string items = " items of " + t.items_of;
            add(t.rows_dropped, "dropped " + std::to_string(t.rows_dropped) + items);
            add(t.possibly_lost, "up to " + std::to_string(t.possibly_lost) + items + " may be lost");
            if (t.rows_missing_items)
                add(*t.rows_missing_items, std::to_string(*t.rows_missing_items) + " of its rows lost items");
            add(t.items_orphaned, "left out " + std::to_string(t.items_orphaned) + items + " whose row is gone");
            add(t.values_cut, "cut " + std::to_string(t.values_cut) + " values of" + items);
            add(t.rows_disputed, "kept " + std::to_string(t.rows_disputed) + items + " that an index disagreed with");
            add(t.rows_kept_deleted, "kept deleted " + std::to_string(t.rows_kept_deleted) + items +
                                         " flagged deleted that their indexes and count still hold");
            add(t.rows_resurrected, "kept deleted " + std::to_string(t.rows_resurrected) + items +
                                        " found live that no index names and their count leaves out");
            continue;
        }
        const std::string table = " of table \"" + t.name + "\"";
        add(t.rows_dropped, "dropped " + std::to_string(t.rows_dropped) + " rows" + table);
        add(t.possibly_lost, "up to " + std::to_string(t.possibly_lost) + " rows" + table + " may be lost");
        add(t.values_cut, "cut " + std::to_string(t.values_cut) + " memo/OLE values" + table);
        add(t.rows_disputed,
            "kept " + std::to_string(t.rows_disputed) + " rows" + table + " that an index disagreed with");
        add(t.rows_kept_deleted, "kept deleted " + std::to_string(t.rows_kept_deleted) + " rows" + table +
                                     " flagged deleted that its indexes and row count still hold");
        add(t.rows_resurrected, "kept deleted " + std::to_string(t.rows_resurrected) + " rows" + table +
                                    " found live that no index names and its row count leaves out");
    }
    for (const Restored& table : restored_tables) add(1, "kept table \"" + table.name + "\", although " + table.why);
    for (const std::string& lost : lost_tables) add(1, "could not keep " + lost);
    return out;
}

}  // namespace dorvane::jet
