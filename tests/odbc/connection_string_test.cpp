// What the client layer adds to a connection string, and the text conversions
// around the wide ODBC calls.
#include <gtest/gtest.h>

#include "core/error.h"
#include "engines/odbc/connection_string.h"
#include "engines/odbc/utf16_text.h"

namespace dorvane::odbc {
namespace {

ConnectionAmendments PortOnly() { return {std::nullopt, true, BraceStyle::kFreeTds}; }

TEST(AmendConnectionString, GivesABareServerTheDefaultPort) {
    EXPECT_EQ(AmendConnectionString("driver={SQL Server};server=db01;database=PB", PortOnly()),
              "driver={SQL Server};server=db01,1433;database=PB");
    EXPECT_EQ(AmendConnectionString("driver={SQL Server};server=db01", PortOnly()),
              "driver={SQL Server};server=db01,1433");
    EXPECT_EQ(AmendConnectionString("driver={SQL Server};SERVER = db01 ;database=PB", PortOnly()),
              "driver={SQL Server};SERVER = db01,1433 ;database=PB");
    EXPECT_EQ(AmendConnectionString("driver={SQL Server};server={db;01};database=PB", PortOnly()),
              "driver={SQL Server};server={db;01,1433};database=PB");
    // A missing setting still reaches the driver, which then names the host.
    EXPECT_EQ(AmendConnectionString("driver={SQL Server};server=NA;database=", PortOnly()),
              "driver={SQL Server};server=NA,1433;database=");
}

TEST(AmendConnectionString, LeavesGivenPortsAndNamedInstancesToTheDriver) {
    const std::string bare = "driver={SQL Server};server=db01;database=PB";
    EXPECT_EQ(AmendConnectionString(bare, {}), bare);  // nothing asked, nothing added
    for (const std::string text : {"driver={SQL Server};server=db01,1500;database=PB",
                                   "driver={SQL Server};server=db01\\SQLEXPRESS;database=PB",
                                   "driver={SQL Server};server=db01;port=1500;database=PB",
                                   "driver={SQL Server};server=;database=PB",
                                   "driver={SQLite3};database=/tmp/x.db"})
        EXPECT_EQ(AmendConnectionString(text, PortOnly()), text);
}

TEST(AmendConnectionString, AddsTheSqlLoginQuotedWhenTheStringNamesNoUser) {
    ConnectionAmendments login{SqlLogin{"backup", "p;w}d=x"}, false, BraceStyle::kOdbc};
    EXPECT_EQ(AmendConnectionString("driver={SQL Server};server=db01,1433;database=PB", login),
              "driver={SQL Server};server=db01,1433;database=PB;UID={backup};PWD={p;w}}d=x};");
    EXPECT_EQ(AmendConnectionString("driver={SQL Server};server=db01,1433;", login),
              "driver={SQL Server};server=db01,1433;UID={backup};PWD={p;w}}d=x};");
    login.braces = BraceStyle::kFreeTds;
    EXPECT_EQ(AmendConnectionString("driver={SQL Server};server=db01,1433", login),
              "driver={SQL Server};server=db01,1433;UID={backup};PWD={p;w}d=x};");
    login.login->password = "ab};UID=sa";
    EXPECT_THROW(AmendConnectionString("driver={SQL Server};server=db01,1433", login), Error);
    for (const std::string text : {"driver={SQL Server};server=db01,1;uid=sa;pwd=x",
                                   "driver={SQL Server};server=db01,1;User ID=sa",
                                   "driver={SQL Server};server=db01,1;Trusted_Connection=yes"})
        EXPECT_EQ(AmendConnectionString(text, login), text);
}

TEST(AmendConnectionString, ReadsTheLoginFromTheEnvironmentOnlyWhenAUserIsSet) {
    unsetenv("DORVANE_SQL_USER");
    setenv("DORVANE_SQL_PASSWORD", "secret", 1);
    EXPECT_FALSE(SqlLoginFromEnvironment());
    setenv("DORVANE_SQL_USER", "", 1);
    EXPECT_FALSE(SqlLoginFromEnvironment());
    setenv("DORVANE_SQL_USER", "backup", 1);
    auto login = SqlLoginFromEnvironment();
    ASSERT_TRUE(login);
    EXPECT_EQ(login->user, "backup");
    EXPECT_EQ(login->password, "secret");
    unsetenv("DORVANE_SQL_PASSWORD");
    EXPECT_EQ(SqlLoginFromEnvironment()->password, "");
    unsetenv("DORVANE_SQL_USER");
}

TEST(Utf16Text, RoundTripsEveryPlane) {
    const std::string text = "S:\\D\xC3\xB6kumente \xE2\x82\xAC \xF0\x9D\x84\x9E";
    const std::u16string wide = Utf8ToUtf16(text, "path");
    EXPECT_EQ(wide, u"S:\\D\u00F6kumente \u20AC \U0001D11E");
    EXPECT_EQ(Utf16ToUtf8(wide), text);
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800z"), "a\xEF\xBF\xBDz");
}

TEST(Utf16Text, RefusesInvalidUtf8NamingTheText) {
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
