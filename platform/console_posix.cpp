#include "platform/console.h"

namespace dorvane::platform {

void UseStartingConsole() {}

}  // namespace dorvane::platform
