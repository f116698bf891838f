#pragma once
// The error state that each operation owns: the number and description of the
// last failure. Steps run through RunStep, which records what they throw and
// lets the operation go on; a later success does not clear it.

#include <functional>
#include <string>

namespace dorvane {

struct ErrorState {
    long number = 0;
    std::string description;

    bool failed() const { return number != 0 || !description.empty(); }
    void Clear() {
        number = 0;
        description.clear();
    }
};

// Runs one step. Returns true when it completed; otherwise records the error
// (a dorvane::Error keeps its number and text, anything else becomes an
// internal error) and returns false. Never lets an exception out.
bool RunStep(ErrorState& state, const std::function<void()>& step);

}  // namespace dorvane
