#pragma once
// Whether a table definition can be trusted to read its rows. Every row is
// read through the definition, so one wrong column block turns every value of
// a column into Null, or into its neighbour's bytes: such a definition is
// damage no reading of the rows can repair.

#include <optional>
#include <string>
#include <vector>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/format.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {

// What is wrong with the columns themselves: a number used twice or not
// below the table's column counter, a variable slot used twice or past the
// table's count, a fixed value whose length is not its type's, two fixed
// values that overlap. Nothing when the columns agree.
std::optional<std::string> DefinitionFault(const TableDef& def);

// A definition whose rows mostly do not fit it is what is damaged, not the
// rows. Of the first rows handed in, each column is judged on the rows that
// tell about it: a fixed value must lie before the variable data, and a Null
// variable value must leave its slot empty (bytes there are another column's,
// read through the wrong null-mask bit). A column that fails on more rows
// than it fits on, or rows that mostly do not decode, fault the definition.
class RowSample {
public:
    static constexpr std::size_t kRows = 64;
    void Add(const Format& format, const TableDef& def, ByteSpan row);
    std::optional<std::string> Fault() const;

private:
    struct Tally {
        std::size_t fits = 0;
        std::size_t faults = 0;
        std::string reason;  // of the first fault
    };
    std::size_t seen_ = 0;
    std::size_t unreadable_ = 0;
    std::string unreadable_reason_;
    std::vector<Tally> columns_;  // parallel to the definition's columns
};

}  // namespace dorvane::jet
