#pragma once
// Standard output of a program that may have no console of its own.

namespace dorvane::platform {

// A Windows desktop program prints into the console of the prompt that
// started it, when there is one; elsewhere, and with redirected output,
// standard output is used as it is.
void UseStartingConsole();

}  // namespace dorvane::platform
