#pragma once
// What an unattended run tells a scheduler's journal about each step beyond
// its log line: the file, its size before and after, and the seconds taken.
// One line on standard output after the step's log lines; the log itself
// keeps only its own messages.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace dorvane {

class Runtime;

// "summary: front-end C:\Z\Bresk.mde: 2424832 bytes -> 425984 bytes, 0.41 s";
// a file that is not there is "missing".
std::string FormatStepSummary(const std::string& step, std::optional<std::uint64_t> before,
                              std::optional<std::uint64_t> after, std::chrono::duration<double> taken);
// A step whose file the server writes where this machine cannot see it.
std::string FormatServerStepSummary(const std::string& step, std::chrono::duration<double> taken);

// Measures a step from its construction: the file's size then, and the time.
class StepSummary {
public:
    StepSummary(Runtime& rt, const std::string& measuredBefore);
    explicit StepSummary(Runtime& rt);  // for a file only the server sees
    // The line for `step`, with the size of `measuredAfter` now.
    void Print(const std::string& step, const std::string& measuredAfter);
    void PrintForServer(const std::string& step);

private:
    Runtime& rt_;
    std::optional<std::uint64_t> before_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace dorvane
