#include "engines/jet/format/attachment.h"

#include "core/error.h"
#include "engines/jet/format/inflate.h"
#include "engines/jet/format/text.h"

namespace dorvane::jet {

namespace {

constexpr std::size_t kWrapper = 8;
constexpr std::size_t kContentHeader = 12;
constexpr std::uint32_t kStored = 0, kDeflated = 1;

}  // namespace

AttachmentContent DecodeAttachment(ByteSpan data) {
    if (data.size() < kWrapper) ThrowCorrupt("an attachment is shorter than its header");
    const std::uint32_t kind = Le32(data, 0);
    const std::uint32_t length = Le32(data, 4);
    const ByteSpan rest = data.subspan(kWrapper);
    Bytes content;
    if (kind == kDeflated) {
        content = InflateZlib(rest, length);
    } else if (kind == kStored) {
        content.assign(rest.begin(), rest.end());
    } else {
        ThrowCorrupt("an attachment's header names no known form");
    }
    if (content.size() != length) ThrowCorrupt("an attachment's length differs from its header's");
    if (content.size() < kContentHeader) ThrowCorrupt("an attachment's content is shorter than its header");
    const std::uint32_t header = Le32(content, 0);
    const std::uint32_t characters = Le32(content, 8);
    if (header < kContentHeader || header > content.size() || characters > (header - kContentHeader) / 2)
        ThrowCorrupt("an attachment's content header overruns it");
    AttachmentContent out;
    out.extension = Ucs2ToUtf8(ByteSpan(content).subspan(kContentHeader, characters * 2));
    while (!out.extension.empty() && out.extension.back() == '\0') out.extension.pop_back();
    out.bytes.assign(content.begin() + header, content.end());
    return out;
}

}  // namespace dorvane::jet
