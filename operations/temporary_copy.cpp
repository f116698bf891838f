#include "operations/temporary_copy.h"

#include "core/error.h"
#include "core/error_state.h"
#include "core/runtime.h"

namespace dorvane {

void RefuseLeftoverTemporary(Runtime& rt, const std::string& temporary, const std::string& fileName) {
    if (!rt.files.Exists(temporary)) return;
    throw Error(errc::kFileAlreadyExists,
                temporary + " is left over from an earlier run that did not finish: it may hold a compacted copy of " +
                    fileName +
                    " that was never copied back, or one cut short. Check both with dorvane-jet check, keep "
                    "the sound one as " +
                    fileName + " and delete Temp.bk0; until then " + fileName + " is not compacted");
}

bool CopyBack(Runtime& rt, const std::string& temporary, const std::string& source, ErrorState& error) {
    bool sourceUnchanged = false;
    const bool copied = RunStep(error, [&] {
        try {
            rt.files.CopyFile(temporary, source);
        } catch (const DestinationUnchanged&) {
            sourceUnchanged = true;
            throw;
        }
    });
    if (!copied && sourceUnchanged) {
        ErrorState ignored;  // if it cannot go either, the next run says why it blocks
        RunStep(ignored, [&] { rt.files.DeleteFile(temporary); });
    }
    return copied;
}

}  // namespace dorvane
