#pragma once
// Page 0 of a new Jet 4 database, as Access 2000 writes it for a file with
// the General sort order, code page 1252, no password and no encryption.

#include "engines/jet/format/bytes.h"

namespace dorvane::jet {

// `created` is the creation time as an OLE date (days since 1899-12-30). The
// page comes back masked, as stored.
Bytes NewJet4HeaderPage(double created);
// The same for an ACE file of `version` (kVersionAce2007...): the layout is
// Jet 4's, with the ACE signature, the version byte and the two flag bytes
// Access 2010 and 2016 set.
Bytes NewAceHeaderPage(double created, std::uint8_t version);

}  // namespace dorvane::jet
