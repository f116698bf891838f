#!/usr/bin/env python3
"""A small mutation sample: faults a user would feel, planted one at a time.

Copies the tree (the tracked files of this checkout, or a given commit) to a
scratch folder, builds it there once, checks that the tests pass, then plants
each mutant, rebuilds, runs the tests (all but the fault sweeps) and prints
"killed" when a test failed or "SURVIVED" when none did. The real tree is
never changed. Exits 1 when a mutant survived or could not be planted.

Usage: tests/tools/mutants.py [--commit REV] [--only WORD] [--keep]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

VERIFY = "compact::VerifyCopy(file, tables, copy);"
COPY_BACK = "    if (!RunStep(error, [&] { rt.files.CopyFile(temporary, source); })) return false;\n"
DELETE_TEMP = "    if (!RunStep(error, [&] { rt.files.DeleteFile(temporary); })) return false;\n"
FAILED_BACKUP = '    } else {\n        ReportFailure(rt, "Operation Failed\\r\\n"'
DELETE_EARLIER = ("    } else {\n        try { for (const auto& p : rt.files.ListMatching(rt.ctx.BkPath, kBackupPattern))"
                  " rt.files.DeleteFile(p); } catch (...) {}\n        ReportFailure(rt, \"Operation Failed\\r\\n\"")
QUOTED_FILE = "Doubled(JoinPath(folder, databaseName + \".bak\"), '\\'')"

# (name, file, text, replacement): the text must occur exactly once.
MUTANTS = [
    ("compaction without verification", "engines/jet/compact/compaction.cpp", VERIFY, "(void)copy;"),
    ("Temp.bk0 deleted before the copy back", "operations/compact_via_temp.cpp",
     COPY_BACK + DELETE_TEMP, DELETE_TEMP + COPY_BACK),
    ("earlier backups deleted when the new one failed", "operations/backup_access.cpp", FAILED_BACKUP, DELETE_EARLIER),
    ("day and month swapped in the time stamp", "operations/backup_access.cpp",
     "std::to_string(t.day) + std::to_string(t.month)", "std::to_string(t.month) + std::to_string(t.day)"),
    ("silent matched in any case", "core/command_line.cpp",
     'arguments.find("silent") != std::string_view::npos', 'ContainsIgnoringCase(arguments, "silent")'),
    ("LF instead of CR LF in log lines", "core/activity_log.cpp", 'entry += "\\r\\n";', 'entry += "\\n";'),
    ("SQL database name left unquoted", "operations/backup_sql.cpp",
     "IsPlainName(databaseName) ? databaseName :", "(IsPlainName(databaseName) || true) ? databaseName :"),
    ("SQL backup folder left unquoted", "operations/backup_sql.cpp", QUOTED_FILE, 'JoinPath(folder, databaseName + ".bak")'),
]


def run(command, log, cwd=None):
    with open(log, "a") as out:
        return subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT).returncode


def copy_tree(repo, commit, target):
    if commit:
        archive = subprocess.run(["git", "-C", repo, "archive", commit], check=True, capture_output=True).stdout
        os.makedirs(target)
        subprocess.run(["tar", "-x", "-C", target], input=archive, check=True)
    else:
        names = subprocess.run(["git", "-C", repo, "ls-files", "-z"], check=True, capture_output=True).stdout
        for name in filter(None, names.decode().split("\0")):
            if os.path.isfile(os.path.join(repo, name)):
                os.makedirs(os.path.dirname(os.path.join(target, name)), exist_ok=True)
                shutil.copy2(os.path.join(repo, name), os.path.join(target, name))
    modules = os.path.join(repo, "tests", "node", "node_modules")  # the independent reader, not tracked
    if os.path.isdir(modules):
        os.symlink(modules, os.path.join(target, "tests", "node", "node_modules"))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--commit", help="plant the mutants in this commit instead of the checkout's files")
    ap.add_argument("--only", help="only the mutants whose name contains this word")
    ap.add_argument("--keep", action="store_true", help="keep the scratch folder")
    args = ap.parse_args()
    repo = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
    testdata = os.environ.get("DORVANE_TESTDATA", os.path.join(os.path.dirname(repo), "shared", "testdata"))
    jobs = os.environ.get("JOBS", "2")
    scratch = tempfile.mkdtemp(prefix="dorvane-mutants-")
    src, build, log = os.path.join(scratch, "src"), os.path.join(scratch, "build"), os.path.join(scratch, "log.txt")
    copy_tree(repo, args.commit, src)
    print(f"scratch copy in {scratch}, log in {log}", flush=True)

    def build_and_test():
        if run(["cmake", "--build", build, f"-j{jobs}"], log) != 0:
            return "build failed"
        tests = ["ctest", "--test-dir", build, f"-j{jobs}", "-E", r"^faults\.", "--stop-on-failure",
                 "--output-on-failure"]
        return "passed" if run(tests, log) == 0 else "failed"

    configure = ["cmake", "-S", src, "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DCMAKE_C_COMPILER=gcc",
                 "-DCMAKE_CXX_COMPILER=g++", "-DDORVANE_WITH_QT=OFF", f"-DDORVANE_TESTDATA={os.path.abspath(testdata)}"]
    if run(configure, log) != 0 or build_and_test() != "passed":
        print(f"the unmutated tree does not build or pass its tests: see {log}")
        return 1
    bad = 0
    for name, path, text, replacement in MUTANTS:
        if args.only and args.only.lower() not in name.lower():
            continue
        file = os.path.join(src, path)
        with open(file) as f:
            original = f.read()
        if original.count(text) != 1:
            print(f"NOT PLANTED  {name}: the text to change is not in {path} exactly once", flush=True)
            bad += 1
            continue
        with open(log, "a") as out:
            out.write(f"\n==== mutant: {name}\n")
        try:
            with open(file, "w") as f:
                f.write(original.replace(text, replacement))
            outcome = build_and_test()
        finally:
            with open(file, "w") as f:
                f.write(original)
        verdict = {"failed": "killed", "passed": "SURVIVED"}.get(outcome, "NOT BUILT")
        bad += verdict != "killed"
        print(f"{verdict:<12} {name}", flush=True)
    if not args.keep and bad == 0:
        shutil.rmtree(scratch, ignore_errors=True)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
