#include "engines/jet/query.h"

#include <cctype>

#include "core/error.h"
#include "engines/jet/database.h"
#include "engines/jet/format/column_properties.h"
#include "engines/jet/format/row.h"
#include "engines/jet/format/table_scan.h"
#include "engines/jet/format/value.h"

namespace dorvane::jet {

namespace {

enum class TokenKind { kWord, kName, kText, kSymbol, kEnd };

struct Token {
    TokenKind kind = TokenKind::kEnd;
    std::string text;
};

[[noreturn]] void SyntaxError(const std::string& what) {
    throw Error(errc::kSyntax, "Unsupported or invalid SQL: " + what + ".");
}

std::vector<Token> Tokenize(std::string_view sql) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (std::isspace(static_cast<unsigned char>(c)) != 0) {
            ++i;
        } else if (std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_') {
            std::size_t j = i;
            while (j < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[j])) != 0 || sql[j] == '_')) ++j;
            tokens.push_back({TokenKind::kWord, std::string(sql.substr(i, j - i))});
            i = j;
        } else if (c == '[') {
            const std::size_t close = sql.find(']', i + 1);
            if (close == std::string_view::npos) SyntaxError("a name in brackets is not closed");
            if (close == i + 1) SyntaxError("an empty name in brackets");
            tokens.push_back({TokenKind::kName, std::string(sql.substr(i + 1, close - i - 1))});
            i = close + 1;
        } else if (c == '\'' || c == '"') {
            std::string text;
            std::size_t j = i + 1;
            while (true) {
                if (j >= sql.size()) SyntaxError("a quoted text is not closed");
                if (sql[j] == c) {
                    if (j + 1 < sql.size() && sql[j + 1] == c) {
                        text.push_back(c);
                        j += 2;
                        continue;
                    }
                    break;
                }
                text.push_back(sql[j++]);
            }
            tokens.push_back({TokenKind::kText, std::move(text)});
            i = j + 1;
        } else if (c == ',' || c == '=' || c == '*' || c == ';') {
            tokens.push_back({TokenKind::kSymbol, std::string(1, c)});
            ++i;
        } else {
            SyntaxError("unexpected character '" + std::string(1, c) + "'");
        }
    }
    tokens.push_back({TokenKind::kEnd, {}});
    return tokens;
}

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    SelectQuery Parse() {
        SelectQuery query;
        Keyword("SELECT");
        if (Symbol("*")) {
            // every column
        } else {
            do query.columns.push_back(Name("a column name"));
            while (Symbol(","));
        }
        Keyword("FROM");
        query.table = Name("a table name");
        if (IsKeyword("WHERE")) {
            ++at_;
            while (true) {
                std::string column = Name("a column name");
                if (!Symbol("=")) SyntaxError("only 'column = text' conditions are supported");
                if (tokens_[at_].kind != TokenKind::kText) SyntaxError("a condition must compare with a quoted text");
                query.conditions.emplace_back(std::move(column), tokens_[at_++].text);
                if (!IsKeyword("AND")) break;
                ++at_;
            }
        }
        Symbol(";");
        if (tokens_[at_].kind != TokenKind::kEnd) {
            SyntaxError("'" + tokens_[at_].text + "' is not supported here");
        }
        return query;
    }

private:
    bool IsKeyword(const char* word) const {
        return tokens_[at_].kind == TokenKind::kWord && EqualsIgnoreCase(tokens_[at_].text, word);
    }
    void Keyword(const char* word) {
        if (!IsKeyword(word)) SyntaxError(std::string("expected ") + word);
        ++at_;
    }
    bool Symbol(const char* symbol) {
        if (tokens_[at_].kind == TokenKind::kSymbol && tokens_[at_].text == symbol) {
            ++at_;
            return true;
        }
        return false;
    }
    std::string Name(const char* what) {
        const Token& token = tokens_[at_];
        const bool reserved = token.kind == TokenKind::kWord &&
                              (EqualsIgnoreCase(token.text, "FROM") || EqualsIgnoreCase(token.text, "WHERE") ||
                               EqualsIgnoreCase(token.text, "AND") || EqualsIgnoreCase(token.text, "SELECT"));
        if ((token.kind != TokenKind::kWord && token.kind != TokenKind::kName) || reserved) {
            SyntaxError(std::string("expected ") + what);
        }
        ++at_;
        return token.text;
    }

    std::vector<Token> tokens_;
    std::size_t at_ = 0;
};

std::size_t ColumnIndex(const TableDef& def, const std::string& name, const std::string& table) {
    if (const auto index = def.ColumnIndex(name)) return *index;
    throw Error(errc::kItemNotFound, "The table '" + table + "' has no column named '" + name + "'.");
}

}  // namespace

SelectQuery ParseSelect(std::string_view sql) { return Parser(Tokenize(sql)).Parse(); }

TextRows RunSelect(const PageFile& file, const std::vector<CatalogEntry>& tables, const SelectQuery& query) {
    const std::optional<CatalogEntry> entry = FindTable(tables, query.table);
    if (!entry) {
        throw Error(errc::kItemNotFound, "The database has no table or query named '" + query.table + "'.");
    }
    TableDef def = ReadTableDef(file, entry->table_page());
    ReadCalculatedResultTypes(file, entry->name, def);
    std::vector<std::size_t> selected;
    if (query.columns.empty()) {
        for (std::size_t i = 0; i < def.columns.size(); ++i) selected.push_back(i);
    } else {
        for (const std::string& name : query.columns) selected.push_back(ColumnIndex(def, name, entry->name));
    }
    std::vector<std::pair<std::size_t, std::string>> conditions;
    for (const auto& [name, text] : query.conditions)
        conditions.emplace_back(ColumnIndex(def, name, entry->name), text);

    const ComplexValues complex = ComplexValues::Load(file, def);
    TextRows out;
    for (std::size_t i : selected) out.columns.push_back(def.columns[i].name);
    const auto matches = [&](const TableRow& row, const RowFields& fields) {
        for (const auto& [column, text] : conditions) {
            const auto value = FieldText(file, complex, def.columns[column], row.body, fields.spans[column]);
            if (!value || !EqualsIgnoreCase(*value, text)) return false;
        }
        return true;
    };
    RowCursor rows(file, def);
    for (TableRow row; rows.Next(row);) {
        const RowFields fields = LocateFields(file.format(), def, row.body);
        if (!matches(row, fields)) continue;
        std::vector<std::optional<std::string>> values;
        for (std::size_t i : selected)
            values.push_back(FieldText(file, complex, def.columns[i], row.body, fields.spans[i]));
        out.rows.push_back(std::move(values));
    }
    return out;
}

}  // namespace dorvane::jet
