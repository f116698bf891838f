// What the client layer adds to a connection string, and the text conversions
// around the wide ODBC calls.
#include <gtest/gtest.h>

#include "core/error.h"
#include "engines/odbc/connection_string.h"
#include "engines/odbc/utf16_text.h"

namespace dorvane::odbc {
namespace {

TEST(AmendConnectionString, GivesABareServerTheDefaultPortAndLeavesTheRestToTheDriver) {
    const ConnectionAmendments portOnly{std::nullopt, true, BraceStyle::kFreeTds};
    const std::string d = "driver={SQL Server};";
    for (const auto& [given, amended] : std::vector<std::pair<std::string, std::string>>{
             {d + "server=db01;database=PB", d + "server=db01,1433;database=PB"},
             {d + "server=db01", d + "server=db01,1433"},
             {d + "SERVER = db01 ;database=PB", d + "SERVER = db01,1433 ;database=PB"},
             {d + "server={db;01};database=PB", d + "server={db;01,1433};database=PB"},
             {d + "server=db01\\SQLEXPRESS;database=PB", d + "server=db01\\SQLEXPRESS;database=PB"},
             {d + "server=db01;port=1500;database=PB", d + "server=db01;port=1500;database=PB"},
             {d + "server=;database=PB", d + "server=;database=PB"},
             {"driver={SQLite3};database=/tmp/x.db", "driver={SQLite3};database=/tmp/x.db"}}) {
        EXPECT_EQ(AmendConnectionString(given, portOnly), amended);
    }
    EXPECT_EQ(AmendConnectionString(d + "server=db01;database=PB", {}), d + "server=db01;database=PB");
}

TEST(AmendConnectionString, AddsTheSqlLoginQuotedWhenTheStringNamesNoUser) {
    ConnectionAmendments login{SqlLogin{"backup", "p;w}d=x"}, false, BraceStyle::kOdbc};
    const std::string d = "driver={SQL Server};server=db01,1433";
    EXPECT_EQ(AmendConnectionString(d + ";database=PB", login), d + ";database=PB;UID={backup};PWD={p;w}}d=x};");
    EXPECT_EQ(AmendConnectionString(d + ";", login), d + ";UID={backup};PWD={p;w}}d=x};");
    login.braces = BraceStyle::kFreeTds;
    EXPECT_EQ(AmendConnectionString(d, login), d + ";UID={backup};PWD={p;w}d=x};");
    for (const std::string& text : {d + ";uid=sa;pwd=x", d + ";User ID=sa", d + ";Trusted_Connection=yes"})
        EXPECT_EQ(AmendConnectionString(text, login), text);
    login.login->password = "ab};UID=sa";  // FreeTDS would end the value early
    EXPECT_THROW(AmendConnectionString(d, login), Error);
}

TEST(Utf16Text, RoundTripsEveryPlaneAndRefusesInvalidUtf8NamingTheText) {
    const std::string text = "S:\\D\xC3\xB6kumente \xE2\x82\xAC \xF0\x9D\x84\x9E";
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text, "path")), text);
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800z"), "a\xEF\xBF\xBDz");
    for (const std::string bad : {"\xC3", "a\xFF", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        try {
            Utf8ToUtf16(bad, "statement");
            ADD_FAILURE() << "accepted invalid UTF-8";
        } catch (const Error& error) {
            EXPECT_NE(error.description().find("statement is not valid UTF-8"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace dorvane::odbc
