#!/usr/bin/env python3
"""Breaks unattended maintenance runs on purpose and checks that nothing is lost.

A demo installation of Bresk (front-end, back-end post_db.mdb, a backup folder
that already holds one earlier backup) is set up afresh for every run. The run
is then broken at the k-th file-changing call under the installation (write,
flush, rename, delete) by the fault injector (LD_PRELOAD): the process ends at
once ("crash"), or that call fails ("enospc", "eio", "erofs"), or reads fail
from the k-th on ("read-eio"). "kill" instead sends SIGKILL to a real run after a
seeded random delay.

After every broken run:
  * the back-end folder holds post_db.mdb or Temp.bk0 whose content equals the
    original; likewise the front-end folder for Bresk.mde;
  * the backup folder holds the earlier backup untouched or a backup whose
    content equals the original, and nothing else matching post_db_*.mdb;
  * a run that reported success left everything compacted and backed up;
  * the next run either succeeds, or fails only where a leftover Temp.bk0 makes
    the Parts' behaviour fail; after removing those by hand a run succeeds and
    the invariants still hold.
Content equality is decided by the engine's own reader (dorvane-jet export of
every table, system tables included) and, with --mdbtools, also by mdb-export.

Prints "N passed, M failed" and exits non-zero on any failure.
"""
import argparse
import hashlib
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ORIGINAL_BACKUP = "post_db_1112025101010.mdb"


def sha(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


class Checker:
    def __init__(self, args):
        self.args = args
        self.content_cache = {}

    def content(self, path):
        """Every table's rows as the engine reads them (and mdbtools, if asked)."""
        digest = sha(path)
        if digest in self.content_cache:
            return self.content_cache[digest]
        tool = self.args.jet_tool
        tables = subprocess.run([tool, "tables", path, "--all"], capture_output=True, text=True)
        if tables.returncode != 0:
            result = None
        else:
            parts = []
            for table in sorted(t for t in tables.stdout.splitlines() if t):
                out = subprocess.run([tool, "export", path, table], capture_output=True)
                if out.returncode != 0:
                    parts = None
                    break
                parts.append(table.encode() + b"\n" + out.stdout)
                if self.args.mdbtools and not table.startswith("MSys"):
                    mdb = subprocess.run(["mdb-export", "-b", "hex", path, table], capture_output=True)
                    # mdbtools meets relocated rows in page order, so its row
                    # order can change with compaction: compare its rows as a set.
                    rows = b"\n".join(sorted(mdb.stdout.split(b"\n")))
                    parts.append(b"mdbtools " + table.encode() + b"\n" + rows)
            result = None if parts is None else hashlib.sha256(b"\0".join(parts)).hexdigest()
        self.content_cache[digest] = result
        return result

    def same_content(self, path, reference):
        c = self.content(path)
        return c is not None and c == self.content(reference)


class Installation:
    def __init__(self, root, args):
        self.root = root
        # Faults hit only the product's files: the settings stay readable.
        self.files = os.path.join(root, "files")
        self.app = os.path.join(self.files, "app")
        self.data = os.path.join(self.files, "data")
        self.backup = os.path.join(self.files, "backup")
        self.config = os.path.join(root, "config")
        for d in (self.app, self.data, self.backup, self.config):
            os.makedirs(d)
        td = args.testdata
        shutil.copyfile(os.path.join(td, "mdb", "jet4", "testV2000.mdb"), os.path.join(self.app, "Bresk.mde"))
        shutil.copyfile(args.backend, os.path.join(self.data, "post_db.mdb"))
        shutil.copyfile(args.backend, os.path.join(self.backup, ORIGINAL_BACKUP))
        env = self.env()
        for section, key, value in (("TitleBar", "sqlver", "0"), ("Locations", "APPPATH", self.app),
                                    ("Locations", "DbPath", self.data), ("Locations", "BKpath", self.backup)):
            subprocess.run([args.settings_tool, "set", "Bresk", section, key, value], env=env, check=True)

    def env(self, extra=None):
        e = dict(os.environ)
        e["XDG_CONFIG_HOME"] = self.config
        e.pop("LD_PRELOAD", None)
        if extra:
            e.update(extra)
        return e

    def backups(self):
        return sorted(n for n in os.listdir(self.backup) if n.lower().startswith("post_db_") and n.lower().endswith(".mdb"))

    def log(self):
        try:
            with open(os.path.join(self.app, "Dorvane_log.txt"), "rb") as f:
                return f.read().decode("utf-8", "replace")
        except FileNotFoundError:
            return ""


def check_invariants(inst, refs, checker, problems):
    """The three folders after any run, broken or not."""
    for folder, name, original in ((inst.data, "post_db.mdb", refs["backend"]), (inst.app, "Bresk.mde", refs["frontend"])):
        source = os.path.join(folder, name)
        temp = os.path.join(folder, "Temp.bk0")
        good = [p for p in (source, temp) if os.path.exists(p) and checker.same_content(p, original)]
        if not good:
            problems.append(f"{folder}: neither {name} nor Temp.bk0 holds the original content")
        if os.path.exists(source) and not checker.same_content(source, original):
            problems.append(f"{source} exists but its content differs from the original")
    backups = inst.backups()
    if not backups:
        problems.append("the backup folder holds no backup")
    for b in backups:
        path = os.path.join(inst.backup, b)
        if b == ORIGINAL_BACKUP:
            if sha(path) != refs["earlier_backup_sha"]:
                problems.append("the earlier backup was changed")
        elif not checker.same_content(path, refs["backend"]):
            problems.append(f"backup {b} differs in content from the original")


def run(inst, args, extra_env, kill_after=None):
    cmd = [args.dorvane, "/silent", "/Bresk"]
    env = inst.env(extra_env)
    p = subprocess.Popen(cmd, env=env, cwd=inst.root, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if kill_after is not None:
        try:
            out, err = p.communicate(timeout=kill_after)
        except subprocess.TimeoutExpired:
            p.send_signal(signal.SIGKILL)
            out, err = p.communicate()
    else:
        out, err = p.communicate(timeout=args.timeout)
    return p.returncode, err.decode("utf-8", "replace")


def recover_and_check(inst, args, refs, checker, problems):
    """The next run, then a run after the leftovers are removed by hand."""
    leftovers = [os.path.join(f, "Temp.bk0") for f in (inst.app, inst.data) if os.path.exists(os.path.join(f, "Temp.bk0"))]
    before = len(inst.log())
    status, err = run(inst, args, {})
    new_log = inst.log()[before:]
    if status == 0:
        if leftovers:
            problems.append("next run succeeded although Temp.bk0 was left over: " + ", ".join(leftovers))
    else:
        expected = set()
        if os.path.join(inst.app, "Temp.bk0") in leftovers:
            expected.add("Unable to optimize application")
        if os.path.join(inst.data, "Temp.bk0") in leftovers:
            expected.add("Unable to Repair Dbase")
        failures = {m for m in ("Unable to optimize application", "Unable to Repair Dbase", "Operation Failed")
                    if m in new_log}
        if not failures or not failures <= expected | {"Operation Failed"} or ("Operation Failed" in failures and not expected):
            problems.append(f"next run failed without a leftover to explain it (status {status}): {new_log!r} {err!r}")
    check_invariants(inst, refs, checker, problems)
    for path in leftovers:
        os.unlink(path)
    if leftovers or status != 0:
        status, err = run(inst, args, {})
        if status != 0:
            problems.append(f"a run after removing the leftovers failed: {err!r}")
    check_invariants(inst, refs, checker, problems)
    if status == 0 and len(inst.backups()) != 1:
        problems.append(f"after a successful run the backup folder holds {inst.backups()}")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--dorvane", required=True)
    ap.add_argument("--settings-tool", required=True)
    ap.add_argument("--jet-tool", required=True)
    ap.add_argument("--injector", required=True)
    ap.add_argument("--testdata", required=True)
    ap.add_argument("--backend", help="back-end to use (default: testdata/products/post_db.mdb)")
    ap.add_argument("--mode", default="crash", choices=["crash", "enospc", "eio", "erofs", "read-eio", "kill"])
    ap.add_argument("--sample", type=int, default=0, help="this many points, seeded; 0 = every point")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--kinds", default="wfrd")
    ap.add_argument("--mdbtools", action="store_true", help="also compare content with mdb-export")
    ap.add_argument("--timeout", type=float, default=600)
    ap.add_argument("--workdir", default=None)
    args = ap.parse_args()
    args.backend = args.backend or os.path.join(args.testdata, "products", "post_db.mdb")

    base = tempfile.mkdtemp(prefix="dorvane-faults-", dir=args.workdir)
    checker = Checker(args)
    refs_dir = os.path.join(base, "refs")
    os.makedirs(refs_dir)
    refs = {"backend": os.path.join(refs_dir, "post_db.mdb"), "frontend": os.path.join(refs_dir, "Bresk.mde")}
    shutil.copyfile(args.backend, refs["backend"])
    shutil.copyfile(os.path.join(args.testdata, "mdb", "jet4", "testV2000.mdb"), refs["frontend"])
    refs["earlier_backup_sha"] = sha(refs["backend"])

    # A clean run: it must succeed, and it tells how many points there are.
    clean = Installation(os.path.join(base, "clean"), args)
    count_log = os.path.join(base, "count.txt")
    started = time.monotonic()
    status, err = run(clean, args, {"LD_PRELOAD": args.injector, "DORVANE_FAULT_ROOT": clean.files,
                                    "DORVANE_FAULT_LOG": count_log, "DORVANE_FAULT_KINDS": args.kinds})
    clean_seconds = time.monotonic() - started
    if status != 0:
        print(f"the clean run failed (status {status}): {err}\n{clean.log()}")
        print("0 passed, 1 failed")
        return 1
    problems = []
    check_invariants(clean, refs, checker, problems)
    if problems:
        print("the clean run broke an invariant: " + "; ".join(problems))
        print("0 passed, 1 failed")
        return 1
    with open(count_log) as f:
        lines = f.read().splitlines()
    total = int(lines[-1].split()[-1])
    reads = None
    rng = random.Random(args.seed)
    if args.mode == "kill":
        points = [rng.uniform(0.0, clean_seconds * 1.1) for _ in range(args.sample or 50)]
    else:
        if args.mode == "read-eio":
            # Reads are not counted by the clean run; take points over a generous range.
            reads = max(total * 4, 64)
            universe = list(range(1, reads + 1))
        else:
            universe = list(range(1, total + 1))
        points = universe if not args.sample or args.sample >= len(universe) else sorted(rng.sample(universe, args.sample))
    print(f"mode {args.mode}: {total} file-changing calls in a clean run of {clean_seconds:.2f} s; "
          f"{len(points)} points", flush=True)

    passed = failed = 0
    outcomes = {}
    for i, point in enumerate(points):
        inst = Installation(os.path.join(base, f"run{i}"), args)
        problems = []
        if args.mode == "kill":
            status, err = run(inst, args, {}, kill_after=point)
        else:
            env = {"LD_PRELOAD": args.injector, "DORVANE_FAULT_ROOT": inst.files, "DORVANE_FAULT_AT": str(point),
                   "DORVANE_FAULT_KINDS": args.kinds}
            if args.mode == "read-eio":
                env["DORVANE_FAULT_READS"] = "eio"
            else:
                env["DORVANE_FAULT_MODE"] = args.mode
            status, err = run(inst, args, env)
        outcomes[status] = outcomes.get(status, 0) + 1
        if status not in (0, 1, 137, -9):
            problems.append(f"the run ended with status {status}: {err[-400:]!r}")
        if args.mode != "crash" and status in (137, -9) and args.mode != "kill":
            problems.append("a disk fault crashed the program")
        check_invariants(inst, refs, checker, problems)
        if status == 0:
            # Success reported: everything must really be done.
            if os.path.exists(os.path.join(inst.data, "Temp.bk0")) or os.path.exists(os.path.join(inst.app, "Temp.bk0")):
                problems.append("success reported but Temp.bk0 left behind")
            # An earlier backup that could not be deleted may stay beside the new one.
            new = [b for b in inst.backups() if b != ORIGINAL_BACKUP]
            if len(new) != 1:
                problems.append(f"success reported but the backups are {inst.backups()}")
        elif args.mode not in ("crash", "kill") and status == 1 and "Operation Failed" not in inst.log() \
                and "Unable to" not in inst.log():
            problems.append("failure status without a failure line in the log")
        recover_and_check(inst, args, refs, checker, problems)
        if problems:
            failed += 1
            print(f"point {point}: " + "; ".join(problems), flush=True)
        else:
            passed += 1
            shutil.rmtree(inst.root, ignore_errors=True)
    print(f"exit statuses of the broken runs: {dict(sorted(outcomes.items()))}")
    print(f"{passed} passed, {failed} failed")
    if failed == 0:
        shutil.rmtree(base, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
