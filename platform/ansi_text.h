#pragma once
// Text files that other programs of the system read. The program's text is
// UTF-8; on Windows such files hold one of the system's 8-bit code pages:
//   kAnsi: the code page the products write their own files in (the log);
//   kOem: the code page the command interpreter reads a batch file in (it
//     takes a batch file's bytes in the console's code page, which is the
//     OEM one unless changed, so "ü" must be written as that page has it).
// A character the code page cannot hold becomes the code page's default
// character, as WideCharToMultiByte writes it without best-fit mapping ("?"
// in the Western code pages): never a look-alike letter, which in a batch
// file could name another program. Elsewhere the text stays UTF-8.

#include <string>
#include <string_view>

namespace dorvane {

enum class CodePage { kAnsi, kOem };

std::string SystemTextFileBytes(std::string_view utf8, CodePage page);

}  // namespace dorvane
