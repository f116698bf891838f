#include "core/paths.h"

namespace dorvane {

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    path += '\\';
    path += name;
    return path;
}

}  // namespace dorvane
