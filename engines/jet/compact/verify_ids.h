#pragma once
// Checks of the table ids in a compacted copy made without looking at how
// the compactor moved them: each stored object id (permission rows, the
// navigation pane's references) names an object of the same name and type as
// in the source, or is unchanged where it named nothing there; each foreign
// key names the same related table; and every index page of a table carries
// the table's id as its owner (data pages of another owner lose their rows to
// the reader, which the row comparison finds). Throws Error(kVerifyFailed).

#include <vector>

#include "engines/jet/format/catalog.h"

namespace dorvane::jet {
class PageFile;
}

namespace dorvane::jet::compact {

// `restored`: tables a repair made tables again, which the source's catalog
// does not list as such (their rows there have another Type, or are deleted).
void VerifyTableIds(const PageFile& source, const PageFile& copy, const std::vector<CatalogEntry>& restored = {});

}  // namespace dorvane::jet::compact
