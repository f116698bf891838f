#pragma once
#include <functional>

#include "core/error.h"

namespace dorvane::testing {

// The number of the dorvane::Error that `action` throws (0: none); its words go to *why.
inline long ErrorOf(const std::function<void()>& action, std::string* why = nullptr) {
    try {
        action();
    } catch (const Error& e) {
        if (why != nullptr) *why = e.description();
        return e.number();
    }
    return 0;
}

}  // namespace dorvane::testing
