#include "core/ascii.h"
#include "engines/odbc/connection_string.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "core/error.h"

namespace dorvane::odbc {
namespace {

// One "key=value" of a connection string, with where its value sits in the
// text (braces included), so a value can be replaced without touching the rest.
struct Attribute {
    std::string key;  // trimmed, lower case
    std::string value;
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
    bool braced = false;
    std::size_t portAt = 0;  // just after the value's last character
};

std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

std::vector<Attribute> Parse(const std::string& text) {
    std::vector<Attribute> attributes;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto equals = text.find('=', i);
        const auto semicolon = text.find(';', i);
        if (equals == std::string::npos || (semicolon != std::string::npos && semicolon < equals)) {
            // A fragment without "=": nothing to read, skip to the next one.
            if (semicolon == std::string::npos) break;
            i = semicolon + 1;
            continue;
        }
        Attribute attribute;
        attribute.key = AsciiLower(Trim(std::string_view(text).substr(i, equals - i)));
        std::size_t v = equals + 1;
        while (v < text.size() && (text[v] == ' ' || text[v] == '\t')) ++v;
        if (v < text.size() && text[v] == '{') {
            attribute.braced = true;
            attribute.valueBegin = v;
            std::size_t k = v + 1;
            bool closed = false;
            while (k < text.size()) {
                if (text[k] == '}') {
                    if (k + 1 < text.size() && text[k + 1] == '}') {
                        attribute.value.push_back('}');
                        k += 2;
                        continue;
                    }
                    ++k;
                    closed = true;
                    break;
                }
                attribute.value.push_back(text[k++]);
            }
            attribute.valueEnd = k;
            attribute.portAt = closed ? k - 1 : k;
            const auto next = text.find(';', k);
            i = next == std::string::npos ? text.size() : next + 1;
        } else {
            const auto end = text.find(';', equals + 1);
            attribute.valueBegin = equals + 1;
            attribute.valueEnd = end == std::string::npos ? text.size() : end;
            attribute.value =
                Trim(std::string_view(text).substr(attribute.valueBegin, attribute.valueEnd - attribute.valueBegin));
            attribute.portAt = attribute.valueEnd;
            while (attribute.portAt > attribute.valueBegin &&
                   (text[attribute.portAt - 1] == ' ' || text[attribute.portAt - 1] == '\t'))
                --attribute.portAt;
            i = end == std::string::npos ? text.size() : end + 1;
        }
        attributes.push_back(std::move(attribute));
    }
    return attributes;
}

bool NamesSignIn(const std::vector<Attribute>& attributes) {
    return std::any_of(attributes.begin(), attributes.end(), [](const Attribute& a) {
        return a.key == "uid" || a.key == "user id" || a.key == "trusted_connection";
    });
}

bool NamesPort(const std::vector<Attribute>& attributes) {
    return std::any_of(attributes.begin(), attributes.end(), [](const Attribute& a) { return a.key == "port"; });
}

}  // namespace

std::string BraceQuote(const std::string& value, BraceStyle style, const std::string& what) {
    if (style == BraceStyle::kFreeTds) {
        if (value.find("};") != std::string::npos)
            throw Error(errc::kSqlClient, "The " + what +
                                              " contains \"};\", which the FreeTDS driver cannot "
                                              "read in a connection string.");
        return "{" + value + "}";
    }
    std::string quoted = "{";
    for (char c : value) {
        quoted.push_back(c);
        if (c == '}') quoted.push_back('}');
    }
    quoted.push_back('}');
    return quoted;
}

std::optional<SqlLogin> SqlLoginFromEnvironment() {
    const char* user = std::getenv("DORVANE_SQL_USER");
    if (user == nullptr || *user == '\0') return std::nullopt;
    const char* password = std::getenv("DORVANE_SQL_PASSWORD");
    return SqlLogin{user, password == nullptr ? "" : password};
}

std::string AmendConnectionString(const std::string& text, const ConnectionAmendments& amendments) {
    const auto attributes = Parse(text);
    std::string result = text;

    if (amendments.add_default_port && !NamesPort(attributes)) {
        // The last "server" counts, as drivers let a later attribute win.
        const auto server =
            std::find_if(attributes.rbegin(), attributes.rend(), [](const Attribute& a) { return a.key == "server"; });
        if (server != attributes.rend() && !server->value.empty() &&
            server->value.find_first_of(",\\") == std::string::npos) {
            result.insert(server->portAt, ",1433");
        }
    }

    if (amendments.login && !NamesSignIn(attributes)) {
        if (!result.empty() && result.back() != ';') result.push_back(';');
        result += "UID=" + BraceQuote(amendments.login->user, amendments.braces, "DORVANE_SQL_USER") +
                  ";PWD=" + BraceQuote(amendments.login->password, amendments.braces, "DORVANE_SQL_PASSWORD") + ";";
    }
    return result;
}

}  // namespace dorvane::odbc
