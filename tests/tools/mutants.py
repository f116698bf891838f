#!/usr/bin/env python3
"""Usage: tests/tools/mutants.py [REV]   (default HEAD)

Plants faults a user would feel, one at a time, in a scratch build of REV (never the
checkout) and runs the tests but the fault sweeps: "killed" when one failed, else
"SURVIVED". Exits 1, keeping the scratch folder, unless every mutant was killed.
"""
import os
import shutil
import subprocess
import sys
import tempfile

COPY_BACK = "    if (!CopyBack(rt, temporary, source, error)) return false;\n"
DELETE_TEMP = "    if (!RunStep(error, [&] { rt.files.DeleteFile(temporary); })) return false;\n"
FAILED = '        ReportFailure(rt, "Operation Failed\\r\\n"'
QUOTED_FILE = "Doubled(JoinPath(folder, databaseName + \".bak\"), '\\'')"
MUTANTS = [  # (name, file, text that must occur exactly once, replacement)
    ("compaction without verification", "engines/jet/compact/compaction.cpp",
     "compact::VerifyCopy(", "if (false) compact::VerifyCopy("),
    ("verification trusting every table's digest", "engines/jet/compact/verify.cpp",
     "if (HoldsWhatWasWritten(copy, source_def, copy_def, written.at(t))) continue;",
     "if (HoldsWhatWasWritten(copy, source_def, copy_def, written.at(t)) || true) continue;"),
    ("Temp.bk0 deleted before the copy back", "operations/compact_via_temp.cpp", COPY_BACK + DELETE_TEMP,
     DELETE_TEMP + COPY_BACK),
    ("earlier backups deleted when the new one failed", "operations/backup_access.cpp", FAILED,
     "try { for (const auto& p : rt.files.ListMatching(rt.ctx.BkPath, kBackupPattern)) rt.files.DeleteFile(p); }"
     " catch (...) {}\n" + FAILED),
    ("day and month swapped in the time stamp", "operations/backup_access.cpp",
     "std::to_string(t.day) + std::to_string(t.month)", "std::to_string(t.month) + std::to_string(t.day)"),
    ("silent matched in any case", "core/command_line.cpp",
     'arguments.find("silent") != std::string_view::npos', 'ContainsIgnoringAsciiCase(arguments, "silent")'),
    ("LF instead of CR LF in log lines", "core/activity_log.cpp", 'entry += "\\r\\n";', 'entry += "\\n";'),
    ("SQL database name left unquoted", "operations/backup_sql.cpp",
     "IsPlainName(databaseName) ? databaseName :", "(IsPlainName(databaseName) || true) ? databaseName :"),
    ("SQL backup folder left unquoted", "operations/backup_sql.cpp", QUOTED_FILE, 'JoinPath(folder, databaseName + ".bak")'),
]


def main():
    repo = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
    testdata = os.environ.get("DORVANE_TESTDATA", os.path.join(os.path.dirname(repo), "shared", "testdata"))
    jobs = "-j" + os.environ.get("JOBS", "2")
    scratch = tempfile.mkdtemp(prefix="dorvane-mutants-")
    src, build, log = (os.path.join(scratch, name) for name in ("src", "build", "log.txt"))
    os.makedirs(src)
    archive = subprocess.run(["git", "-C", repo, "archive", (sys.argv[1:] or ["HEAD"])[0]], check=True, capture_output=True)
    subprocess.run(["tar", "-x", "-C", src], input=archive.stdout, check=True)
    modules = os.path.join(repo, "tests", "node", "node_modules")  # the independent reader, not tracked
    if os.path.isdir(modules):
        os.symlink(modules, os.path.join(src, "tests", "node", "node_modules"))
    print(f"scratch copy in {scratch}, log in {log}", flush=True)

    def run(*command):
        with open(log, "a") as out:
            return subprocess.run(command, stdout=out, stderr=subprocess.STDOUT).returncode == 0

    def outcome():
        if not run("cmake", "--build", build, jobs):
            return "NOT BUILT"
        passed = run("ctest", "--test-dir", build, jobs, "-E", r"^faults\.", "--stop-on-failure", "--output-on-failure")
        return "SURVIVED" if passed else "killed"

    if not run("cmake", "-S", src, "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DCMAKE_C_COMPILER=gcc",
               "-DCMAKE_CXX_COMPILER=g++", "-DDORVANE_WITH_QT=OFF", f"-DDORVANE_TESTDATA={os.path.abspath(testdata)}") \
            or outcome() != "SURVIVED":
        print(f"the unmutated tree does not build or pass its tests: see {log}")
        return 1
    bad = 0
    for name, path, text, replacement in MUTANTS:
        with open(os.path.join(src, path)) as f:
            original = f.read()
        verdict = "NOT PLANTED"
        if original.count(text) == 1:
            run("echo", f"==== mutant: {name}")
            with open(os.path.join(src, path), "w") as f:
                f.write(original.replace(text, replacement))
            verdict = outcome()
            with open(os.path.join(src, path), "w") as f:
                f.write(original)
        bad += verdict != "killed"
        print(f"{verdict:<12} {name}", flush=True)
    if not bad:
        shutil.rmtree(scratch, ignore_errors=True)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
