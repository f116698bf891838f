#include "app/jet_tool/output_folder.h"

#include <system_error>

#include "core/error.h"
#include "platform/native_path.h"

namespace dorvane::jet_tool {

void CreateFolders(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw Error(errc::kPathNotFound, "cannot create the folder " + PathText(folder) + ": " + error.message());
}

}  // namespace dorvane::jet_tool
