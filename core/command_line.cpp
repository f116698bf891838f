#include <algorithm>
#include <cctype>

#include "core/ascii.h"
#include "core/run_control.h"
#include "core/products.h"
#include "core/run_context.h"

namespace dorvane {
namespace {}  // namespace

std::string ParseCommandLine(RunContext& ctx, std::string_view arguments) {
    // Only blanks are trimmed, never tabs; the tests below are containment
    // tests, so the trimming cannot change their outcome.
    while (!arguments.empty() && arguments.front() == ' ') arguments.remove_prefix(1);
    while (!arguments.empty() && arguments.back() == ' ') arguments.remove_suffix(1);

    const std::string runMode = arguments.find("silent") != std::string_view::npos ? "s" : "";

    const ProductProfile* chosen = &kDefaultProduct;
    for (const auto& product : kProducts) {
        if (ContainsIgnoringAsciiCase(arguments, product.Product)) {
            chosen = &product;
            break;
        }
    }
    ctx.Product = std::string(chosen->Product);
    ctx.FrontEndFile = std::string(chosen->FrontEndFile);
    return runMode;
}

std::string JoinArguments(const std::vector<std::string>& arguments) {
    std::string joined;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) joined += ' ';
        joined += arguments[i];
    }
    return joined;
}

}  // namespace dorvane
