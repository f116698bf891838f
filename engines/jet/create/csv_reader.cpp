#include "engines/jet/create/csv_reader.h"

#include "core/error.h"
#include "engines/jet/format/text_encode.h"

namespace dorvane::jet::create {

namespace {

[[noreturn]] void Refuse(std::size_t line, const std::string& why) {
    throw Error(errc::kValueRefused, "CSV line " + std::to_string(line) + ": " + why);
}

class CsvParser {
public:
    explicit CsvParser(std::string_view text) : text_(text) {
        if (text_.starts_with("\xEF\xBB\xBF")) text_.remove_prefix(3);
    }

    std::vector<CsvRecord> Parse() {
        std::vector<CsvRecord> records;
        while (at_ < text_.size()) {
            CsvRecord record{line_, {}};
            bool more = true;
            while (more) {
                record.fields.push_back(Field());
                more = at_ < text_.size() && text_[at_] == ',';
                if (more) ++at_;
            }
            EndOfRecord();
            records.push_back(std::move(record));
        }
        return records;
    }

private:
    CsvField Field() {
        CsvField field;
        if (at_ < text_.size() && text_[at_] == '"') {
            field.quoted = true;
            const std::size_t start = line_;
            for (++at_;; ++at_) {
                if (at_ >= text_.size()) Refuse(start, "a quoted field does not end");
                const char c = text_[at_];
                if (c == '"' && at_ + 1 < text_.size() && text_[at_ + 1] == '"') {
                    field.text += '"';
                    ++at_;
                } else if (c == '"') {
                    ++at_;
                    break;
                } else {
                    if (c == '\n') ++line_;
                    field.text += c;
                }
            }
            if (at_ < text_.size() && text_[at_] != ',' && text_[at_] != '\r' && text_[at_] != '\n') {
                Refuse(line_, "text after a closing quote");
            }
            return field;
        }
        while (at_ < text_.size() && text_[at_] != ',' && text_[at_] != '\r' && text_[at_] != '\n') {
            if (text_[at_] == '"') Refuse(line_, "a quote inside an unquoted field");
            field.text += text_[at_++];
        }
        return field;
    }

    void EndOfRecord() {
        if (at_ < text_.size() && text_[at_] == '\r') ++at_;
        if (at_ < text_.size() && text_[at_] == '\n') {
            ++at_;
            ++line_;
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::size_t line_ = 1;
};

}  // namespace

std::vector<CsvRecord> ParseCsv(std::string_view text) { return CsvParser(text).Parse(); }

}  // namespace dorvane::jet::create
