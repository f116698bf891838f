#include "engines/odbc/odbc_api.h"

#include <algorithm>
#include <utility>

#include "engines/odbc/utf16_text.h"

namespace dorvane::odbc {

std::vector<SQLWCHAR> ToSqlText(std::string_view utf8, std::string_view what) {
    const std::u16string wide = Utf8ToUtf16(utf8, what);
    std::vector<SQLWCHAR> out;
    out.reserve(wide.size() + 1);
    for (char16_t unit : wide) out.push_back(static_cast<SQLWCHAR>(unit));
    out.push_back(0);
    return out;
}

std::string FromSqlText(const SQLWCHAR* text, std::size_t length) {
    std::u16string wide;
    wide.reserve(length);
    for (std::size_t i = 0; i < length && text[i] != 0; ++i) wide.push_back(static_cast<char16_t>(text[i]));
    return Utf16ToUtf8(wide);
}

Handle::Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
    if (!Succeeded(SQLAllocHandle(type, parent, &handle_))) {
        handle_ = SQL_NULL_HANDLE;
        const char* what = type == SQL_HANDLE_ENV ? "environment" : type == SQL_HANDLE_DBC ? "connection" : "statement";
        throw Error(errc::kSqlClient, std::string("The ODBC driver manager could not allocate a ") + what + " handle.");
    }
}

Handle::~Handle() {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
}

Handle::Handle(Handle&& other) noexcept : type_(other.type_), handle_(std::exchange(other.handle_, nullptr)) {}

Handle& Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
        type_ = other.type_;
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

std::string Diagnostics(const Handle& handle) {
    struct Record {
        std::string state;
        SQLINTEGER native;
        std::string message;
    };
    std::vector<Record> records;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::vector<SQLWCHAR> message(1024);
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(handle.type(), handle.get(), i, state, &native, message.data(),
                                      static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && static_cast<std::size_t>(length) >= message.size()) {
            message.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRecW(handle.type(), handle.get(), i, state, &native, message.data(),
                                static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!Succeeded(rc)) break;
        records.push_back({FromSqlText(state, 5), native, FromSqlText(message.data(), message.size())});
    }
    const bool anyError =
        std::any_of(records.begin(), records.end(), [](const Record& r) { return r.state.rfind("01", 0) != 0; });
    std::string text;
    for (const Record& r : records) {
        if (anyError && r.state.rfind("01", 0) == 0) continue;
        if (!text.empty()) text += "; ";
        // One log line per failure: line breaks inside a message become blanks.
        std::string message = r.message;
        std::replace_if(
            message.begin(), message.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
        while (!message.empty() && message.back() == ' ') message.pop_back();
        text += message;
        text += " (SQLSTATE " + r.state + ", native error " + std::to_string(r.native) + ")";
    }
    return text;
}

Error CallFailed(const Handle& handle, const std::string& fallback) {
    std::string text = Diagnostics(handle);
    return Error(errc::kSqlClient, text.empty() ? fallback : text);
}

}  // namespace dorvane::odbc
