#include "platform/system_error.h"

#include "platform/native_path.h"

namespace dorvane::platform {

Error PathError(long number, const std::filesystem::path& path, std::string_view doing, std::string_view reason) {
    ErrorText text("cannot ");
    (text << doing << " ").Path(PathText(path)) << ": " << reason;
    return Error(number, text);
}

Error SystemError(OsError code, const std::filesystem::path& path, std::string_view doing) {
    switch (CauseOf(code)) {
        case Cause::kNotFound: {
            std::error_code ignored;
            const std::filesystem::path folder = path.parent_path();
            if (!folder.empty() && !std::filesystem::is_directory(folder, ignored))
                return PathError(errc::kPathNotFound, path, doing, "the folder does not exist");
            return PathError(errc::kFileNotFound, path, doing, "the file does not exist");
        }
        case Cause::kExists:
            return PathError(errc::kFileAlreadyExists, path, doing, "a file of that name already exists");
        case Cause::kDenied:
            return PathError(errc::kPermissionDenied, path, doing, "permission denied");
        case Cause::kReadOnly:
            return PathError(errc::kPermissionDenied, path, doing, "the disk or folder is read-only");
        case Cause::kIsFolder:
            return PathError(errc::kPermissionDenied, path, doing, "it is a folder");
        case Cause::kFull:
            return PathError(errc::kDiskFull, path, doing, "the disk is full");
        case Cause::kInUse:
            return PathError(errc::kInUse, path, doing, "the file is in use by another program");
        case Cause::kOther:
            break;
    }
    return PathError(errc::kIoError, path, doing, SystemDescription(code));
}

}  // namespace dorvane::platform
