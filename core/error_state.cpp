#include "core/error_state.h"

#include <exception>
#include <new>

#include "core/error.h"

namespace dorvane {

bool RunStep(ErrorState& state, const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (const Error& e) {
        state.number = e.number() != 0 ? e.number() : errc::kInternal;
        state.description = e.description();
    } catch (const std::bad_alloc&) {
        state.number = errc::kOutOfMemory;
        state.description = "Out of memory";
    } catch (const std::exception& e) {
        state.number = errc::kInternal;
        state.description = e.what();
    } catch (...) {
        state.number = errc::kInternal;
        state.description = "Unexpected internal error";
    }
    return false;
}

}  // namespace dorvane
