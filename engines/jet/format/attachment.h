#pragma once
// An attachment's FileData: u32 1 when deflated (a zlib stream follows) or 0
// when stored, u32 the content's length, the content. The content starts with
// its own header (u32 header length, u32, u32 characters of the extension,
// the extension in UTF-16 with a NUL) and then holds the file's bytes.

#include <string>

#include "engines/jet/format/bytes.h"

namespace dorvane::jet {

struct AttachmentContent {
    std::string extension;  // UTF-8, as the header gives it
    Bytes bytes;            // the file
};

// Throws kCorrupt for data in no such form.
AttachmentContent DecodeAttachment(ByteSpan file_data);

}  // namespace dorvane::jet
