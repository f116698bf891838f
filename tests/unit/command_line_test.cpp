#include <gtest/gtest.h>

#include "core/run_control.h"
#include "core/run_context.h"

namespace dorvane {
namespace {

struct Parsed {
    std::string mode, product, frontEnd;
};

Parsed Parse(const std::string& args) {
    RunContext ctx;
    const std::string mode = ParseCommandLine(ctx, args);
    return {mode, ctx.Product, ctx.FrontEndFile};
}

TEST(ParseCommandLine, BatchFileArgumentsSelectAnUnattendedRun) {
    const Parsed p = Parse(JoinArguments({"/silent", "/Bresk"}));
    EXPECT_EQ(p.mode, "s");
    EXPECT_EQ(p.product, "Bresk");
    EXPECT_EQ(p.frontEnd, "Bresk.mde");
}

TEST(ParseCommandLine, EmptyMeansInteractiveAlveto) {
    const Parsed p = Parse("");
    EXPECT_EQ(p.mode, "");
    EXPECT_EQ(p.product, "Alveto");
    EXPECT_EQ(p.frontEnd, "Alveto.mde");
}

TEST(ParseCommandLine, ProductIgnoresCaseButSilentDoesNot) {
    EXPECT_EQ(Parse("-silent cindral").product, "Cindral");
    EXPECT_EQ(Parse("-silent cindral").mode, "s");
    EXPECT_EQ(Parse("/Silent /Bresk").mode, "");
    EXPECT_EQ(Parse("/SILENT").mode, "");
    EXPECT_EQ(Parse("xsilentx").mode, "s");  // behind any prefix
}

TEST(ParseCommandLine, ProductTableOrderDecides) {
    EXPECT_EQ(Parse("/silent /Cindral /Bresk").product, "Bresk");
    EXPECT_EQ(Parse("/Cindral /ALVETO").product, "Alveto");
    EXPECT_EQ(Parse("/silent /Other").product, "Alveto");
}

TEST(JoinArguments, SingleBlanks) {
    EXPECT_EQ(JoinArguments({"a b", "c"}), "a b c");
    EXPECT_EQ(JoinArguments({}), "");
}

}  // namespace
}  // namespace dorvane
