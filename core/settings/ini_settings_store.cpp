#include "core/settings/ini_settings_store.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/error.h"
#include "platform/file.h"

namespace dorvane {
namespace {

// One line of the file, classified; raw text is kept so that untouched lines
// are written back byte for byte.
struct Line {
    enum class Kind { Other, Section, Entry } kind = Kind::Other;
    std::string raw;
    std::string application;  // Section
    std::string section;      // Section
    std::string key;          // Entry
    std::string value;        // Entry, decoded
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

Line Classify(const std::string& raw) {
    Line line;
    line.raw = raw;
    const std::string_view text = Trim(raw);
    if (text.empty() || text.front() == ';' || text.front() == '#') return line;
    if (text.front() == '[') {
        // "[Application\Section]", optionally followed by a comment.
        const auto close = text.find(']');
        if (close == std::string_view::npos) return line;
        const std::string_view after = Trim(text.substr(close + 1));
        if (!after.empty() && after.front() != ';' && after.front() != '#') return line;
        const std::string_view inner = text.substr(1, close - 1);
        const auto slash = inner.find('\\');
        if (slash == std::string_view::npos) return line;
        line.kind = Line::Kind::Section;
        line.application = std::string(inner.substr(0, slash));
        line.section = std::string(inner.substr(slash + 1));
        return line;
    }
    const auto eq = text.find('=');
    if (eq == std::string_view::npos) return line;
    line.kind = Line::Kind::Entry;
    line.key = std::string(Trim(text.substr(0, eq)));
    line.value = ini::DecodeValue(Trim(text.substr(eq + 1)));
    return line;
}

struct Document {
    std::vector<Line> lines;

    // Index range [begin, end) of the body of the first matching section.
    std::optional<std::pair<std::size_t, std::size_t>> FindSection(std::string_view application,
                                                                   std::string_view section) const {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Line& l = lines[i];
            if (l.kind == Line::Kind::Section && SameName(l.application, application) && SameName(l.section, section)) {
                std::size_t end = i + 1;
                while (end < lines.size() && lines[end].kind != Line::Kind::Section) ++end;
                return std::make_pair(i + 1, end);
            }
        }
        return std::nullopt;
    }

    std::optional<std::size_t> FindEntry(std::string_view application, std::string_view section,
                                         std::string_view key) const {
        // Every section of that name counts (hand-edited files may repeat one).
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Line& l = lines[i];
            if (l.kind != Line::Kind::Section || !SameName(l.application, application) ||
                !SameName(l.section, section)) {
                continue;
            }
            for (std::size_t j = i + 1; j < lines.size() && lines[j].kind != Line::Kind::Section; ++j) {
                if (lines[j].kind == Line::Kind::Entry && SameName(lines[j].key, key)) return j;
            }
        }
        return std::nullopt;
    }
};

Document Parse(const std::string& content) {
    Document doc;
    std::size_t start = 0;
    // A byte-order mark that an editor put in front is not part of the first line's meaning.
    if (content.rfind("\xEF\xBB\xBF", 0) == 0) {
        const auto end = content.find('\n');
        Line first = Classify(content.substr(3, end == std::string::npos ? std::string::npos : end - 3));
        first.raw = content.substr(0, end);
        doc.lines.push_back(first);
        start = end == std::string::npos ? content.size() : end + 1;
    }
    while (start < content.size()) {
        auto end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        doc.lines.push_back(Classify(content.substr(start, end - start)));
        start = end + 1;
    }
    return doc;
}

std::string Serialise(const Document& doc) {
    std::string out;
    for (const auto& l : doc.lines) {
        out += l.raw;
        out += '\n';
    }
    return out;
}

std::optional<std::string> ReadWhole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

bool NameIsStorable(std::string_view name, bool allowBackslash) {
    return ini::NameProblem(name, !allowBackslash).empty();
}

// Saves are serialised by an exclusive lock on a file beside the store.
std::optional<platform::File> LockSaves(const std::filesystem::path& store) {
    std::filesystem::path lockFile = store;
    lockFile += ".lock";
    try {
        return platform::File::OpenLockedWaiting(lockFile);
    } catch (const Error&) {
        return std::nullopt;
    }
}

// Saved through a replacement, so a failure leaves the store as it was; a
// folder that cannot be flushed afterwards fails the save too.
bool WriteAtomically(const std::filesystem::path& file, const std::string& content) {
    try {
        platform::Replacement replacement(file, 0600);
        replacement.file().Write(content);
        replacement.Commit();
        return true;
    } catch (const Error&) {
        return false;
    }
}

}  // namespace

namespace ini {

std::string NameProblem(std::string_view name, bool isApplication) {
    if (name.empty()) return "it is empty";
    if (name.front() == ';' || name.front() == '#')
        return "it begins with '" + std::string(1, name.front()) + "', which starts a comment";
    for (char c : name) {
        if (c == '\n' || c == '\r') return "it holds a line break";
        if (c == '[' || c == ']' || c == '=') return "it holds '" + std::string(1, c) + "'";
        if (isApplication && c == '\\') return "it holds '\\', which separates the product from the section";
    }
    if (Trim(name).size() != name.size()) return "it begins or ends with a blank";
    return {};
}

std::string EncodeValue(std::string_view value) {
    bool plain = Trim(value).size() == value.size();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') plain = false;
    for (char c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) plain = false;
    }
    if (plain) return std::string(value);
    std::string out = "\"";
    for (char c : value) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                    static const char* hex = "0123456789abcdef";
                    const auto u = static_cast<unsigned char>(c);
                    out += "\\x";
                    out += hex[u >> 4];
                    out += hex[u & 15];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

std::string DecodeValue(std::string_view stored) {
    if (stored.size() < 2 || stored.front() != '"' || stored.back() != '"') return std::string(stored);
    std::string out;
    const std::string_view body = stored.substr(1, stored.size() - 2);
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c != '\\' || i + 1 >= body.size()) {
            out += c;
            continue;
        }
        const char e = body[++i];
        switch (e) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'x':
                if (i + 2 < body.size()) {
                    out += static_cast<char>(std::strtol(std::string(body.substr(i + 1, 2)).c_str(), nullptr, 16));
                    i += 2;
                }
                break;
            default:
                out += e;
        }
    }
    return out;
}

}  // namespace ini

IniSettingsStore::IniSettingsStore(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path IniSettingsStore::DefaultPath() {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = std::filesystem::path(home) / ".config";
    } else {
        base = ".config";
    }
    return base / "dorvane" / "settings.ini";
}

std::optional<std::string> IniSettingsStore::Read(std::string_view application, std::string_view section,
                                                  std::string_view key) {
    const auto content = ReadWhole(file_);
    if (!content) return std::nullopt;
    const Document doc = Parse(*content);
    const auto at = doc.FindEntry(application, section, key);
    if (!at) return std::nullopt;
    return doc.lines[*at].value;
}

template <typename Edit>
bool IniSettingsStore::Modify(Edit edit) {
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    const auto lock = LockSaves(file_);
    if (!lock) return false;
    const auto content = ReadWhole(file_);
    if (!content && std::filesystem::exists(file_, ec)) return false;  // unreadable: keep it
    Document doc = Parse(content.value_or(std::string()));
    if (!edit(doc)) return false;
    return WriteAtomically(file_, Serialise(doc));
}

bool IniSettingsStore::Write(std::string_view application, std::string_view section, std::string_view key,
                             std::string_view value) {
    if (!NameIsStorable(application, false) || !NameIsStorable(section, true) || !NameIsStorable(key, true)) {
        return false;
    }
    return Modify([&](Document& doc) {
        Line entry;
        entry.kind = Line::Kind::Entry;
        entry.key = std::string(key);
        entry.value = std::string(value);
        if (const auto at = doc.FindEntry(application, section, key)) {
            entry.key = doc.lines[*at].key;  // keep the letters already stored
            entry.raw = entry.key + " = " + ini::EncodeValue(value);
            doc.lines[*at] = entry;
            return true;
        }
        entry.raw = entry.key + " = " + ini::EncodeValue(value);
        if (const auto body = doc.FindSection(application, section)) {
            // After the section's last entry, before trailing blank lines.
            std::size_t insertAt = body->second;
            while (insertAt > body->first && Trim(doc.lines[insertAt - 1].raw).empty()) --insertAt;
            doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
            return true;
        }
        if (!doc.lines.empty() && !Trim(doc.lines.back().raw).empty()) doc.lines.push_back(Line{});
        Line header = Classify(std::string("[").append(application).append("\\").append(section).append("]"));
        doc.lines.push_back(header);
        doc.lines.push_back(entry);
        return true;
    });
}

bool IniSettingsStore::Delete(std::string_view application, std::string_view section, std::string_view key) {
    bool found = false;
    const bool saved = Modify([&](Document& doc) {
        while (const auto at = doc.FindEntry(application, section, key)) {
            doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(*at));
            found = true;
        }
        return found;
    });
    return saved && found;
}

std::vector<SettingEntry> IniSettingsStore::List(std::optional<std::string_view> application) {
    std::vector<SettingEntry> entries;
    const auto content = ReadWhole(file_);
    if (!content) return entries;
    const Document doc = Parse(*content);
    const Line* current = nullptr;
    for (const auto& l : doc.lines) {
        if (l.kind == Line::Kind::Section) {
            current = &l;
        } else if (l.kind == Line::Kind::Entry && current != nullptr &&
                   (!application || SameName(current->application, *application))) {
            entries.push_back({current->application, current->section, l.key, l.value});
        }
    }
    return entries;
}

}  // namespace dorvane
