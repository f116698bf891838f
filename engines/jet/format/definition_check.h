#pragma once
// Whether a table definition can be trusted to read its rows. Every row is
// read through the definition, so one wrong column block turns every value of
// a column into Null, or into its neighbour's bytes: such a definition is
// damage no reading of the rows can repair.

#include <optional>
#include <string>

#include "engines/jet/format/bytes.h"
#include "engines/jet/format/format.h"
#include "engines/jet/format/table_def.h"

namespace dorvane::jet {

// What is wrong with the columns themselves: a number used twice or not
// below the table's column counter, a variable slot used twice or past the
// table's count, a fixed value whose length is not its type's, two fixed
// values that overlap. Nothing when the columns agree.
std::optional<std::string> DefinitionFault(const TableDef& def);

// What is wrong with a row read through the definition: it does not decode,
// or a fixed value reaches into the variable data. Nothing when it fits.
std::optional<std::string> RowFault(const Format& format, const TableDef& def, ByteSpan row);

// A definition whose rows mostly do not fit it is what is damaged, not the
// rows: of the first rows handed in, more than half fail.
class RowSample {
public:
    static constexpr std::size_t kRows = 64;
    void Add(const Format& format, const TableDef& def, ByteSpan row);
    bool Full() const { return seen_ == kRows; }
    // The first fault seen, when more than half of the rows seen fail.
    std::optional<std::string> Fault() const;

private:
    std::size_t seen_ = 0;
    std::size_t failed_ = 0;
    std::optional<std::string> first_;
};

}  // namespace dorvane::jet
