#include "operations/step_summary.h"

#include <cstdio>

#include "core/run_control.h"
#include "core/runtime.h"

namespace dorvane {
namespace {

std::string SizeText(std::optional<std::uint64_t> size) { return size ? std::to_string(*size) + " bytes" : "missing"; }

std::string SecondsText(std::chrono::duration<double> taken) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", taken.count());
    return text;
}

}  // namespace

std::string FormatStepSummary(const std::string& step, std::optional<std::uint64_t> before,
                              std::optional<std::uint64_t> after, std::chrono::duration<double> taken) {
    return "summary: " + step + ": " + SizeText(before) + " -> " + SizeText(after) + ", " + SecondsText(taken);
}

std::string FormatServerStepSummary(const std::string& step, std::chrono::duration<double> taken) {
    return "summary: " + step + ": written by the server, its size is not seen here, " + SecondsText(taken);
}

StepSummary::StepSummary(Runtime& rt, const std::string& measuredBefore)
    : rt_(rt), before_(rt.files.FileSize(measuredBefore)), start_(rt.clock.Steady()) {}

StepSummary::StepSummary(Runtime& rt) : rt_(rt), start_(rt.clock.Steady()) {}

void StepSummary::Print(const std::string& step, const std::string& measuredAfter) {
    if (!rt_.ctx.Unattended()) return;
    PrintLine(FormatStepSummary(step, before_, rt_.files.FileSize(measuredAfter), rt_.clock.Steady() - start_));
}

void StepSummary::PrintForServer(const std::string& step) {
    if (rt_.ctx.Unattended()) PrintLine(FormatServerStepSummary(step, rt_.clock.Steady() - start_));
}

}  // namespace dorvane
