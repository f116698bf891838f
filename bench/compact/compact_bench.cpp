// Compaction benchmark: for each database, the time of a compaction (with its
// checks and verification) divided by the time of `cp` and `sync` of the same
// file (the compaction flushes its copy too), each compaction right after a
// copy and the ratio the median of the runs' ratios, and the compaction's peak
// memory; the time and peak memory of the full check, of a repair of the same
// (sound) file and of a repair of a damaged copy (one index leaf and one data
// page zeroed) against the compaction's, each repair right after a compaction;
// and the time of exporting every user table as CSV with dorvane-jet (in one
// run with --all, and with a run for each table) against mdbtools' mdb-export
// of the same tables, which takes a run for each (when it is installed). Each
// run is a child process so that its peak resident size is its own.
//
// Usage: jet_compact_bench [FILE...] [--made MIB ...] [--made-ace MIB ...] [--no-export] (--help)
// --made adds a product-shaped file of about MIB MiB made with dorvane-jet
// (made_file.h; cached, since the largest takes minutes); --made-ace the same
// rows in an Access 2010 (ACE) file. Without arguments:
// the three largest test databases, the two benchmark files (unpacked with xz
// into a temporary folder and checked against SHA256SUMS) and made files of
// 92 MiB and 1950 MiB (1.9 GiB), near the format's 2 GiB limit. DORVANE_BENCH_RUNS sets
// the number of runs (3); DORVANE_BENCH_SETTLE a pause in seconds before each
// timed run (0; see Settle). `jet_compact_bench --damaged-copy FILE TO` only
// writes the damaged copy the benchmark repairs.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench/compact/damage.h"
#include "bench/compact/made_file.h"
#include "core/error.h"
#include "engines/jet/check/checker.h"
#include "engines/jet/compact/compaction.h"
#include "engines/jet/format/catalog.h"
#include "engines/jet/format/page_file.h"
#include "platform/heap.h"

namespace fs = std::filesystem;

namespace {

std::string Quote(const fs::path& p) {
    std::string out = "'";
    for (char c : p.string()) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int g_runs = 3;
int g_settle_seconds = 0;

// Before each timed run, its removals done: the pause asked for, if any. On a
// virtual machine that hands freed memory back to its host, memory freed a
// moment ago is reused far more cheaply than memory the host has taken back
// (writing 1 GiB into the cache: 0.3 s against 4 s here), so a `cp` right
// after the removal of its previous copy is cheaper than one after a pause.
void Settle() {
    if (g_settle_seconds > 0) ::sleep(static_cast<unsigned>(g_settle_seconds));
}

// The median of g_runs runs of a shell command, page cache warm, each after
// `prepare` (not timed); -1 when either fails.
double MedianSeconds(const std::string& command, const std::string& prepare = "true") {
    std::vector<double> times;
    for (int i = 0; i < g_runs; ++i) {
        if (!Shell(prepare)) return -1;
        Settle();
        const auto start = std::chrono::steady_clock::now();
        if (!Shell(command)) return -1;
        times.push_back(Seconds(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// cp followed by a flush of the copy to disk, as the compaction flushes its
// output before it reports success; -1 when it fails.
double CopySeconds(const fs::path& file, const fs::path& work) {
    const fs::path to = work / "cp.out";
    if (!Shell("rm -f " + Quote(to))) return -1;
    Settle();
    const auto start = std::chrono::steady_clock::now();
    const bool copied = Shell("cp " + Quote(file) + " " + Quote(to) + " && sync " + Quote(to));
    const double seconds = Seconds(start);
    fs::remove(to);
    return copied ? seconds : -1;
}

// Every user table exported as CSV by `program FILE TABLE`, each into a new
// file, as export --all writes them: truncating a large output written
// before would be timed too.
double ExportSeconds(const std::string& program, const fs::path& file, const std::vector<std::string>& tables,
                     const fs::path& work) {
    const fs::path to = work / "export-each";
    std::string command = "true";
    for (std::size_t i = 0; i < tables.size(); ++i)
        command += " && " + program + " " + Quote(file) + " " + Quote(tables[i]) + " > " +
                   Quote(to / (std::to_string(i) + ".csv"));
    const double best = MedianSeconds(command, "rm -rf " + Quote(to) + " && mkdir " + Quote(to));
    fs::remove_all(to);
    return best;
}

// Every user table exported as CSV by one run of `dorvane-jet export FILE --all`.
double ExportAllSeconds(const fs::path& file, const fs::path& work) {
    const fs::path to = work / "export-all";
    const double best =
        MedianSeconds(Quote(DORVANE_JET_TOOL) + " export " + Quote(file) + " --all " + Quote(to) + " > /dev/null",
                      "rm -rf " + Quote(to));
    fs::remove_all(to);
    return best;
}

std::vector<std::string> UserTables(const fs::path& file) {
    std::vector<std::string> names;
    try {
        for (const dorvane::jet::CatalogEntry& entry : dorvane::jet::ReadTables(dorvane::jet::PageFile::Open(file)))
            if (!entry.IsSystem()) names.push_back(entry.name);
    } catch (const dorvane::Error&) {
    }
    return names;
}

struct Run {
    double seconds = -1;
    double cpu_seconds = 0;  // user and system, all threads: steadier than seconds on a busy machine
    long peakKiB = 0;
    dorvane::jet::CompactSummary summary;
    std::string error;
};

enum class Job { kCompact, kRepair, kCheck };

const char* JobName(Job job) {
    switch (job) {
        case Job::kCompact:
            return "compact";
        case Job::kRepair:
            return "repair";
        case Job::kCheck:
            break;
    }
    return "check";
}

// The measured process: runs `job` and writes its summary, or its error's
// text, to the pipe `report`.
int MeasuredRun(const std::string& job, const fs::path& file, const fs::path& to, int report) {
    dorvane::jet::CompactSummary summary;
    try {
        if (job == JobName(Job::kRepair)) {
            dorvane::jet::RepairReport repaired;
            dorvane::jet::RepairFile(file, to, repaired);
            summary = repaired.summary;
        } else if (job == JobName(Job::kCompact)) {
            dorvane::jet::CompactFile(file, to, summary);
        } else {
            const dorvane::jet::CheckReport checked = dorvane::jet::CheckDatabase(dorvane::jet::PageFile::Open(file));
            summary.rows = checked.rows;
        }
    } catch (const dorvane::Error& e) {
        const std::string text = e.description();
        (void)!::write(report, text.data(), text.size());
        return 1;
    }
    (void)!::write(report, &summary, sizeof summary);
    return 0;
}

// One run of `job` on `file` in a child process, so that its peak resident size is its own.
Run Measure(Job job, const fs::path& file, const fs::path& work) {
    const fs::path to = work / "compacted.mdb";
    fs::remove(to);
    int report[2];
    if (::pipe(report) != 0) return {};
    Settle();
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        // A process of its own from the start, as a program runs the engine:
        // a forked one would count the bench's own resident memory as its peak.
        ::close(report[0]);
        const std::string fd = std::to_string(report[1]);
        ::execl("/proc/self/exe", "jet_compact_bench", "--measure", JobName(job), file.c_str(), to.c_str(), fd.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(report[1]);
    Run r;
    std::string bytes;
    char buffer[4096];
    for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, static_cast<std::size_t>(n));
    ::close(report[0]);
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    r.seconds = Seconds(start);
    r.peakKiB = usage.ru_maxrss;
    const auto cpu = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    r.cpu_seconds = cpu(usage.ru_utime) + cpu(usage.ru_stime);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && bytes.size() == sizeof r.summary)
        std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(&r.summary));
    else
        r.error = bytes.empty() ? "the process failed" : bytes;
    fs::remove(to);
    return r;
}

std::vector<fs::path> DefaultFiles(const fs::path& work) {
    std::vector<fs::path> files;
    const fs::path data = DORVANE_TESTDATA;
    std::vector<fs::path> all;
    for (const char* dir : {"mdb", "products"})
        for (const auto& e : fs::recursive_directory_iterator(data / dir))
            if (e.is_regular_file() && e.path().extension() == ".mdb") all.push_back(e.path());
    std::sort(all.begin(), all.end(),
              [](const fs::path& a, const fs::path& b) { return fs::file_size(a) > fs::file_size(b); });
    for (std::size_t i = 0; i < std::min<std::size_t>(3, all.size()); ++i) files.push_back(all[i]);

    const fs::path bench = data / "bench";
    if (fs::exists(bench / "SHA256SUMS")) {
        fs::copy(bench, work, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        std::printf("unpacking the benchmark files...\n");
        std::fflush(stdout);
        const std::string in = "cd " + Quote(work) + " && ";
        if (Shell(in + "chmod u+w * && xz -dkf *.xz") && Shell(in + "sha256sum --quiet -c SHA256SUMS")) {
            for (const auto& e : fs::directory_iterator(work))
                if (e.path().extension() == ".mdb") files.push_back(e.path());
        } else {
            std::printf("the benchmark files could not be unpacked or do not match SHA256SUMS: left out\n");
        }
    }
    return files;
}

// The made files, from the cache or made now (minutes for the largest).
std::vector<fs::path> MadeFiles(const std::vector<std::pair<unsigned, dorvane::bench::MadeFormat>>& sizes) {
    std::vector<fs::path> files;
    const fs::path cache = dorvane::bench::BenchCacheFolder();
    for (const auto& [mib, format] : sizes) {
        std::printf("the made file of %u MiB (cached in %s)...\n", mib, cache.c_str());
        std::fflush(stdout);
        try {
            files.push_back(dorvane::bench::MadeBenchFile(DORVANE_JET_TOOL, cache, mib, format));
        } catch (const std::exception& e) {
            std::printf("%s: left out\n", e.what());
        }
    }
    return files;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// `runs` runs: the median elapsed and processor times and the largest peak.
Run MedianRun(Job job, const fs::path& file, const fs::path& work, int runs) {
    std::vector<double> seconds, cpu;
    Run out;
    for (int i = 0; i < runs; ++i) {
        const Run run = Measure(job, file, work);
        if (!run.error.empty()) return run;
        seconds.push_back(run.seconds);
        cpu.push_back(run.cpu_seconds);
        out.summary = run.summary;
        out.peakKiB = std::max(out.peakKiB, run.peakKiB);
    }
    out.seconds = Median(seconds);
    out.cpu_seconds = Median(cpu);
    return out;
}

// `runs` runs of `job` on `file`, each right after a run of `baseline` (its
// seconds, -1 when it failed): the machine's speed drifts over minutes (see
// Settle), and the ratio of two runs side by side drifts far less than that
// of two medians taken minutes apart. The job's medians as MedianRun's, the
// baseline's median, and the median of the runs' ratios.
struct Paired {
    Run run;
    double baseline = -1;
    double ratio = -1;
};

Paired AfterBaseline(Job job, const fs::path& file, const fs::path& work, int runs,
                     const std::function<double()>& baseline) {
    std::vector<double> before, seconds, cpu, ratios;
    Paired out;
    for (int i = 0; i < runs; ++i) {
        const double base = baseline();
        const Run run = Measure(job, file, work);
        if (!run.error.empty() || base < 0) {
            out.run = run;
            if (run.error.empty()) out.run.error = "the run it is measured against failed";
            return out;
        }
        before.push_back(base);
        seconds.push_back(run.seconds);
        cpu.push_back(run.cpu_seconds);
        ratios.push_back(run.seconds / std::max(base, 1e-6));
        out.run.summary = run.summary;
        out.run.peakKiB = std::max(out.run.peakKiB, run.peakKiB);
    }
    out.run.seconds = Median(seconds);
    out.run.cpu_seconds = Median(cpu);
    out.baseline = Median(before);
    out.ratio = Median(ratios);
    return out;
}

// The seconds of a compaction of `file`, -1 when it fails.
double CompactionSeconds(const fs::path& file, const fs::path& work) {
    const Run run = Measure(Job::kCompact, file, work);
    return run.error.empty() ? run.seconds : -1;
}

double MiB(long kib) { return static_cast<double>(kib) / 1024.0; }

}  // namespace

constexpr const char* kUsage =
    "Usage: jet_compact_bench [FILE...] [--made MIB ...] [--made-ace MIB ...] [--no-export]\n"
    "       jet_compact_bench --damaged-copy FILE TO\n"
    "Times compaction, check, repair and export of each Access FILE against cp and sync and\n"
    "mdb-export, each the median of several runs (DORVANE_BENCH_RUNS, 3), each run after a\n"
    "pause of DORVANE_BENCH_SETTLE seconds (0).\n"
    "  --made MIB       add a product-shaped Jet 4 file of about MIB MiB, made once and cached\n"
    "  --made-ace MIB   the same rows in an Access 2010 file\n"
    "  --no-export      leave out the export columns\n"
    "  --damaged-copy   only write TO, FILE with one index leaf and one data page zeroed\n"
    "Without FILE or --made: the three largest test databases, the benchmark files and made\n"
    "files of 92 and 1950 MiB.\n";

int main(int argc, char** argv) {
    dorvane::platform::SetUpHeap();  // as the programs run the engine
    if (argc == 6 && std::string(argv[1]) == "--measure")
        return MeasuredRun(argv[2], argv[3], argv[4], std::atoi(argv[5]));
    if (argc == 4 && std::string(argv[1]) == "--damaged-copy")  // for profiling a repair by hand
        return dorvane::bench::MakeDamagedCopy(argv[2], argv[3]) ? 0 : 1;
    if (const char* runs = std::getenv("DORVANE_BENCH_RUNS"); runs && std::atoi(runs) > 0) g_runs = std::atoi(runs);
    if (const char* settle = std::getenv("DORVANE_BENCH_SETTLE"); settle && std::atoi(settle) > 0)
        g_settle_seconds = std::atoi(settle);
    std::vector<fs::path> files;
    using dorvane::bench::MadeFormat;
    std::vector<std::pair<unsigned, MadeFormat>> made;
    bool exports = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--no-export") {
            exports = false;
        } else if (arg == "--made" || arg == "--made-ace") {
            const int mib = i + 1 < argc ? std::atoi(argv[i + 1]) : 0;
            if (mib <= 0) {
                std::fprintf(stderr, "%s needs a size in MiB\n%s", arg.c_str(), kUsage);
                return 2;
            }
            ++i;
            made.emplace_back(static_cast<unsigned>(mib), arg == "--made" ? MadeFormat::kJet4 : MadeFormat::kAce2010);
        } else if (arg.starts_with("-")) {
            std::fprintf(stderr, "unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        } else if (std::error_code ec; !fs::is_regular_file(arg, ec)) {
            std::fprintf(stderr, "%s: no such file\n", arg.c_str());
            return 2;
        } else {
            files.emplace_back(arg);
        }
    }
    char pattern[] = "/tmp/dorvane-bench-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("cannot make a folder in /tmp");
        return 1;
    }
    const fs::path work = pattern;
    if (files.empty() && made.empty()) {
        files = DefaultFiles(work);
        made = {{92, MadeFormat::kJet4}, {1950, MadeFormat::kJet4}};
    }
    for (const fs::path& file : MadeFiles(made)) files.push_back(file);

    const bool mdbtools = exports && Shell("command -v mdb-export >/dev/null");
    std::printf("%-22s %6s %6s %7s %7s %6s %5s %6s %6s %6s %6s %6s %6s %6s %6s %6s %7s %7s %7s %5s %5s\n", "file",
                "MiB", "after", "cp+syn", "compact", "cpu", "ratio", "cmpMiB", "check", "chkMiB", "repair", "rep/c",
                "repMiB", "damagd", "dmg/c", "dmgMiB", "export", "per-tbl", "mdb-exp", "x", "x/tbl");
    std::printf(
        "(seconds, each the median of %d runs in this run, each after a pause of %d s;\n"
        " cpu: the compaction's processor time, all threads;\n"
        " ratio: compaction / cp and sync of the file, the median of the runs' ratios, each compaction\n"
        "  right after a cp and sync; check: the full check; repair: of the sound file;\n"
        " damagd: repair of a copy with one index leaf and one data page zeroed; rep/c, dmg/c: / compaction,\n"
        "  the median of the runs' ratios, each repair right after a compaction;\n"
        " *MiB: peak resident memory, the largest of the runs; export: dorvane-jet export --all, every\n"
        " user table in one run; per-tbl: dorvane-jet export run once for each table, as mdb-export\n"
        " must be; mdb-exp: mdb-export -b hex (binary as hex, as ours) of the same tables, a run for\n"
        " each; x: mdb-exp / export; x/tbl: mdb-exp / per-tbl)\n",
        g_runs, g_settle_seconds);
    for (const fs::path& file : files) {
        const Paired compared =
            AfterBaseline(Job::kCompact, file, work, g_runs, [&] { return CopySeconds(file, work); });
        const Run& run = compared.run;
        const double mib = static_cast<double>(fs::file_size(file)) / 1048576.0;
        if (!run.error.empty()) {
            std::printf("%-22s %6.1f  failed: %s\n", file.filename().c_str(), mib, run.error.c_str());
            continue;
        }
        const Run check = MedianRun(Job::kCheck, file, work, g_runs);
        const auto compaction = [&] { return CompactionSeconds(file, work); };
        const Paired repair = AfterBaseline(Job::kRepair, file, work, 1, compaction);
        const fs::path damaged = work / "damaged.mdb";
        // On disk before it is repaired, as a damaged file would be: otherwise
        // the first runs share the disk with writing the copy back.
        const bool made_damaged = dorvane::bench::MakeDamagedCopy(file, damaged) && Shell("sync " + Quote(damaged));
        const Paired damaged_repair =
            made_damaged ? AfterBaseline(Job::kRepair, damaged, work, g_runs, compaction) : Paired{};
        fs::remove(damaged);
        const double after = static_cast<double>(run.summary.copy_pages) * static_cast<double>(fs::file_size(file)) /
                             std::max(1.0, static_cast<double>(run.summary.source_pages)) / 1048576.0;
        std::printf("%-22s %6.1f %6.1f %7.3f %7.3f %6.2f %5.2f %6.1f", file.filename().c_str(), mib, after,
                    compared.baseline, run.seconds, run.cpu_seconds, compared.ratio, MiB(run.peakKiB));
        const auto timed = [&](const Run& r, const double* ratio) {
            if (!r.error.empty() || r.seconds < 0) {
                std::printf(" %6s%s %6s", "-", ratio != nullptr ? "      -" : "", "-");
                return;
            }
            std::printf(" %6.2f", r.seconds);
            if (ratio != nullptr) std::printf(" %6.2f", *ratio);
            std::printf(" %6.1f", MiB(r.peakKiB));
        };
        timed(check, nullptr);
        timed(repair.run, &repair.ratio);
        timed(damaged_repair.run, &damaged_repair.ratio);
        const std::vector<std::string> tables = UserTables(file);
        if (exports) {
            const double all = ExportAllSeconds(file, work);
            const double each = ExportSeconds(Quote(DORVANE_JET_TOOL) + " export", file, tables, work);
            const double theirs = mdbtools ? ExportSeconds("mdb-export -b hex", file, tables, work) : -1;
            std::printf(" %7.3f %7.3f", all, each);
            if (mdbtools)
                std::printf(" %7.3f %4.1fx %4.1fx", theirs, theirs / std::max(all, 1e-6),
                            theirs / std::max(each, 1e-6));
        }
        std::printf("\n");
        for (const Run* failed : {&check, &repair.run, &damaged_repair.run})
            if (!failed->error.empty()) std::printf("  failed: %s\n", failed->error.c_str());
        std::fflush(stdout);
    }
    std::error_code ec;
    fs::remove_all(work, ec);
    return 0;
}
