#include "bench/compact/made_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace dorvane::bench {

namespace {

// Bumped whenever the shape changes, so that a cached file of an older shape is not taken for this one.
constexpr int kShapeVersion = 1;

// What each part takes of the file, as bytes of its rows, long values and
// index entries; the rest is definitions, maps and page slack.
constexpr double kCustomersShare = 0.13;
constexpr double kInvoicesShare = 0.15;
constexpr double kScansShare = 0.58;
constexpr double kDroppedShare = 0.08;
// Bytes each row takes on its pages, measured on made files.
constexpr double kCustomerBytes = 1100;
constexpr double kInvoiceBytes = 210;
constexpr std::size_t kImageBytesLeast = 6 * 1024, kImageBytesMost = 42 * 1024;
// A made file comes out this much of the size asked for, the shares above being estimates.
constexpr double kMadeOfTarget = 0.967;
// One Scans table holds at most this much, so that no import holds more than a few hundred MiB.
constexpr double kScansTableBytes = 160.0 * 1024 * 1024;

std::string Quote(const fs::path& p) {
    std::string out = "'";
    for (char c : p.string()) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

void Run(const std::string& command, const std::string& step) {
    if (std::system((command + " >/dev/null").c_str()) != 0) throw std::runtime_error("making the file: " + step);
}

// Deterministic on every standard library: the engine's raw output only.
class Draw {
public:
    std::uint64_t Below(std::uint64_t n) { return engine_() % n; }
    std::uint64_t Between(std::uint64_t least, std::uint64_t most) { return least + Below(most - least + 1); }
    std::string Word() {
        static constexpr const char* kSyllables[] = {"ka", "lo",  "mer", "sta", "du", "ven", "ri", "bo", "sel",
                                                     "ta", "gan", "ho",  "pe",  "nu", "zor", "li", "wa", "fen"};
        std::string w;
        for (std::uint64_t n = Between(2, 4); n > 0; --n) w += kSyllables[Below(std::size(kSyllables))];
        return w;
    }
    std::string Words(std::size_t characters) {
        std::string text;
        while (text.size() < characters) text += Word() + (Below(12) == 0 ? ". " : " ");
        return text;
    }
    std::string Date(int first_year, int years) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d",
                      first_year + static_cast<int>(Below(static_cast<std::uint64_t>(years))),
                      1 + static_cast<int>(Below(12)), 1 + static_cast<int>(Below(28)), static_cast<int>(Below(24)),
                      static_cast<int>(Below(60)), static_cast<int>(Below(60)));
        return buffer;
    }
    std::string Amount() {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%llu.%02llu", static_cast<unsigned long long>(Below(50000)),
                      static_cast<unsigned long long>(Below(100)));
        return buffer;
    }
    void AppendHex(std::string& out, std::size_t bytes) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        for (std::size_t i = 0; i < bytes; i += 8) {
            std::uint64_t v = engine_();
            for (std::size_t k = 0; k < 8 && i + k < bytes; ++k, v >>= 8) {
                out += kDigits[(v >> 4) & 15];
                out += kDigits[v & 15];
            }
        }
    }

private:
    std::mt19937_64 engine_{20261207};
};

class CsvFile {
public:
    CsvFile(const fs::path& path, const char* header) : path_(path), out_(path, std::ios::binary | std::ios::trunc) {
        out_ << header << "\r\n";
    }
    void Row(const std::vector<std::string>& fields) {
        line_.clear();
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i) line_ += ',';
            line_ += '"';
            line_ += fields[i];  // the generated values hold no quote
            line_ += '"';
        }
        line_ += "\r\n";
        out_ << line_;
    }
    const fs::path& Close() {
        out_.close();
        if (!out_) throw std::runtime_error("making the file: cannot write " + path_.string());
        return path_;
    }

private:
    fs::path path_;
    std::ofstream out_;
    std::string line_;
};

struct Maker {
    std::string tool;
    fs::path folder;
    fs::path file;
    Draw draw;

    void Import(const std::string& table, const fs::path& csv, const std::string& options) {
        Run(Quote(tool) + " import " + Quote(file) + " " + table + " " + Quote(csv) + " " + options, "import " + table);
        fs::remove(csv);
    }

    void Doclib() {
        CsvFile csv(folder / "doclib.csv", "LibCode,DocumentPath,Notes");
        csv.Row({"lib2", "T:\\Scans", draw.Words(400)});
        csv.Row({"lib1", "S:\\Docs", draw.Words(300)});
        csv.Row({"lib3", "U:\\Archive", draw.Words(500)});
        Import("doclib", csv.Close(), "--key LibCode --type Notes=Memo");
    }

    void Customers(std::size_t rows) {
        CsvFile csv(folder / "customers.csv", "CustomerId,Name,City,Balance,Since,Notes");
        for (std::size_t r = 1; r <= rows; ++r) {
            csv.Row({std::to_string(r), draw.Word() + " " + draw.Word(), draw.Word(), draw.Amount(),
                     draw.Date(1990, 35), draw.Words(draw.Between(200, 1800))});
        }
        Import("Customers", csv.Close(),
               "--key CustomerId --index Name --index City --type Balance=Currency --type Notes=Memo");
    }

    void Invoices(std::size_t rows, std::size_t customers) {
        CsvFile csv(folder / "invoices.csv", "InvoiceNo,CustomerId,Issued,Amount,Paid,Reference");
        char number[16];
        for (std::size_t r = 1; r <= rows; ++r) {
            std::snprintf(number, sizeof number, "INV-%08zu", r);
            csv.Row({number, std::to_string(1 + draw.Below(customers)), draw.Date(2005, 20), draw.Amount(),
                     draw.Below(3) ? "yes" : "no", draw.Word() + "-" + std::to_string(draw.Below(100000))});
        }
        Import("Invoices", csv.Close(),
               "--key InvoiceNo --index CustomerId --index Issued --index Reference --type Amount=Currency "
               "--type Paid=YesNo");
    }

    // Images of a few KiB to a few dozen, each over several pages.
    void Scans(const std::string& table, double bytes, std::size_t customers, std::size_t& next_id) {
        CsvFile csv(folder / (table + ".csv"), "ScanId,CustomerId,Taken,Image");
        std::string image;
        for (double written = 0; written < bytes;) {
            const std::size_t size = draw.Between(kImageBytesLeast, kImageBytesMost);
            image.clear();
            draw.AppendHex(image, size);
            csv.Row({std::to_string(next_id++), std::to_string(1 + draw.Below(customers)), draw.Date(2010, 15), image});
            written += static_cast<double>(size);
        }
        Import(table, csv.Close(), "--key ScanId --index CustomerId --type Image=OLE --type Taken=DateTime");
    }
};

}  // namespace

fs::path BenchCacheFolder() {
    if (const char* given = std::getenv("DORVANE_BENCH_CACHE"); given && *given) return given;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg) return fs::path(xdg) / "dorvane-bench";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / ".cache" / "dorvane-bench";
}

fs::path MadeBenchFile(const std::string& tool, const fs::path& cache, unsigned mib, MadeFormat format) {
    const bool ace = format == MadeFormat::kAce2010;
    std::string name = "made-" + std::to_string(mib) + "m";
    name += ace ? "-ace2010" : "";
    name += "-v" + std::to_string(kShapeVersion);
    name += ace ? ".accdb" : ".mdb";
    const fs::path made = cache / name;
    if (fs::exists(made)) return made;
    Maker maker{tool, cache / ("making-" + name), {}, {}};
    fs::remove_all(maker.folder);
    fs::create_directories(maker.folder);
    maker.file = maker.folder / "made.mdb";
    Run(Quote(tool) + (ace ? " create --version 2010 " : " create ") + Quote(maker.file), "create");

    const double target = static_cast<double>(mib) * 1024 * 1024 / kMadeOfTarget;
    const auto customers = static_cast<std::size_t>(target * kCustomersShare / kCustomerBytes);
    maker.Doclib();
    maker.Customers(customers);
    maker.Invoices(static_cast<std::size_t>(target * kInvoicesShare / kInvoiceBytes), customers);
    std::size_t next_id = 1;
    std::vector<double> scans;
    for (double left = target * kScansShare; left > 0; left -= kScansTableBytes)
        scans.push_back(std::min(left, kScansTableBytes));
    for (std::size_t part = 0; part < scans.size(); ++part) {
        // Dropped before the last table: its pages stay free between tables, where only a
        // compaction reclaims them (free pages at the end would just be cut off).
        if (part + 1 == scans.size()) maker.Scans("Staging", target * kDroppedShare, customers, next_id);
        maker.Scans("Scans" + std::to_string(part + 1), scans[part], customers, next_id);
    }
    Run(Quote(tool) + " drop " + Quote(maker.file) + " Staging", "drop Staging");

    fs::rename(maker.file, made);
    fs::remove_all(maker.folder);
    return made;
}

}  // namespace dorvane::bench
