#include "platform/ansi_text.h"

namespace dorvane {

// Text files here are UTF-8, the program's own text.
std::string SystemTextFileBytes(std::string_view utf8, CodePage) { return std::string(utf8); }

}  // namespace dorvane
