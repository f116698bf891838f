#!/usr/bin/env python3
"""Breaks unattended maintenance runs on purpose and checks that nothing is lost.

A Bresk installation (front-end, back-end post_db.mdb, a backup folder with one
earlier backup) is set up afresh for every run, which is then broken at the
k-th file-changing call under it by the LD_PRELOAD fault injector: the process
ends at once ("crash"), or that call fails ("enospc", "eio", "erofs"), or reads
fail from the k-th on ("read-eio"); "kill" sends SIGKILL after a seeded delay.

After every broken run: post_db.mdb or Temp.bk0 holds the original content
(likewise Bresk.mde); the backup folder holds the untouched earlier backup or
one equal in content to the original, and no other post_db_*.mdb; a run that
reported success left everything done. The next run succeeds, or fails only
where a leftover Temp.bk0 explains it; once those are removed a run succeeds.
Content is compared through the engine's reader (dorvane-jet export of every
table) and, with --mdbtools, mdb-export as well. Prints "N passed, M failed".
"""
import argparse
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

EARLIER_BACKUP = "post_db_1112025101010.mdb"
FAILURES = ("Unable to optimize application", "Unable to Repair Dbase", "Operation Failed")


def sha(path):
    with open(path, "rb") as f:
        return hashlib.file_digest(f, "sha256").hexdigest()


class Checker:
    def __init__(self, args):
        self.args, self.cache = args, {}

    def content(self, path):
        """A digest of every table's rows as the engine reads them (and mdbtools, if asked), or None."""
        digest = sha(path)
        if digest not in self.cache:
            self.cache[digest] = self.read(path)
        return self.cache[digest]

    def read(self, path):
        tables = subprocess.run([self.args.jet_tool, "tables", path, "--all"], capture_output=True, text=True)
        if tables.returncode != 0:
            return None
        parts = []
        for table in sorted(t for t in tables.stdout.splitlines() if t):
            out = subprocess.run([self.args.jet_tool, "export", path, table], capture_output=True)
            if out.returncode != 0:
                return None
            parts.append(table.encode() + b"\n" + out.stdout)
            if self.args.mdbtools and not table.startswith("MSys"):
                # mdbtools meets relocated rows in page order: compare its rows as a set.
                rows = subprocess.run(["mdb-export", "-b", "hex", path, table], capture_output=True).stdout
                parts.append(b"mdbtools " + table.encode() + b"\n" + b"\n".join(sorted(rows.split(b"\n"))))
        return hashlib.sha256(b"\0".join(parts)).hexdigest()

    def same(self, path, reference):
        return self.content(path) is not None and self.content(path) == self.content(reference)


class Installation:
    def __init__(self, root, args):
        self.root, self.args = root, args
        self.files = os.path.join(root, "files")  # faults hit only these: the settings stay readable
        self.app, self.data, self.backup = (os.path.join(self.files, d) for d in ("app", "data", "backup"))
        self.config = os.path.join(root, "config")
        for d in (self.app, self.data, self.backup, self.config):
            os.makedirs(d)
        shutil.copyfile(args.frontend, os.path.join(self.app, "Bresk.mde"))
        shutil.copyfile(args.backend, os.path.join(self.data, "post_db.mdb"))
        shutil.copyfile(args.backend, os.path.join(self.backup, EARLIER_BACKUP))
        for section, key, value in (("TitleBar", "sqlver", "0"), ("Locations", "APPPATH", self.app),
                                    ("Locations", "DbPath", self.data), ("Locations", "BKpath", self.backup)):
            subprocess.run([args.settings_tool, "set", "Bresk", section, key, value], env=self.env({}), check=True)

    def env(self, extra):
        e = dict(os.environ, XDG_CONFIG_HOME=self.config, **extra)
        if "LD_PRELOAD" not in extra:
            e.pop("LD_PRELOAD", None)
        return e

    def run(self, extra, kill_after=None):
        p = subprocess.Popen([self.args.dorvane, "/silent", "/Bresk"], env=self.env(extra), cwd=self.root,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            _, err = p.communicate(timeout=kill_after if kill_after is not None else self.args.timeout)
        except subprocess.TimeoutExpired:
            if kill_after is None:
                raise  # a run that hangs is a failure of its own
            p.kill()
            _, err = p.communicate()
        return p.returncode, err.decode("utf-8", "replace")

    def backups(self):
        return sorted(n for n in os.listdir(self.backup) if n.lower().startswith("post_db_") and n.lower().endswith(".mdb"))

    def temporaries(self):
        return [os.path.join(f, "Temp.bk0") for f in (self.app, self.data) if os.path.exists(os.path.join(f, "Temp.bk0"))]

    def log(self):
        try:
            with open(os.path.join(self.app, "Dorvane_log.txt"), "rb") as f:
                return f.read().decode("utf-8", "replace")
        except FileNotFoundError:
            return ""


def check_invariants(inst, refs, checker, problems):
    for folder, name, original in ((inst.data, "post_db.mdb", refs["backend"]), (inst.app, "Bresk.mde", refs["frontend"])):
        source, temp = os.path.join(folder, name), os.path.join(folder, "Temp.bk0")
        if not any(os.path.exists(p) and checker.same(p, original) for p in (source, temp)):
            problems.append(f"{folder}: neither {name} nor Temp.bk0 holds the original content")
        if os.path.exists(source) and not checker.same(source, original):
            problems.append(f"{source} exists but its content differs from the original")
    if not inst.backups():
        problems.append("the backup folder holds no backup")
    for b in inst.backups():
        path = os.path.join(inst.backup, b)
        if b == EARLIER_BACKUP and sha(path) != refs["earlier_backup_sha"]:
            problems.append("the earlier backup was changed")
        elif b != EARLIER_BACKUP and not checker.same(path, refs["backend"]):
            problems.append(f"backup {b} differs in content from the original")


def recover_and_check(inst, refs, checker, problems):
    """The next run, then a run after the leftovers are removed by hand."""
    leftovers, before = inst.temporaries(), len(inst.log())
    status, err = inst.run({})
    if status == 0 and leftovers:
        problems.append("next run succeeded although Temp.bk0 was left over: " + ", ".join(leftovers))
    elif status != 0:
        expected = {FAILURES[0]} if os.path.join(inst.app, "Temp.bk0") in leftovers else set()
        expected |= {FAILURES[1]} if os.path.join(inst.data, "Temp.bk0") in leftovers else set()
        failures = {m for m in FAILURES if m in inst.log()[before:]}
        if not expected or not failures or not failures <= expected | {FAILURES[2]}:
            problems.append(f"next run failed without a leftover to explain it (status {status}): {inst.log()[before:]!r} {err!r}")
    check_invariants(inst, refs, checker, problems)
    for path in leftovers:
        os.unlink(path)
    if leftovers or status != 0:
        status, err = inst.run({})
        if status != 0:
            problems.append(f"a run after removing the leftovers failed: {err!r}")
        check_invariants(inst, refs, checker, problems)
    if status == 0 and len(inst.backups()) != 1:
        problems.append(f"after a successful run the backup folder holds {inst.backups()}")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for name in ("--dorvane", "--settings-tool", "--jet-tool", "--injector", "--testdata"):
        ap.add_argument(name, required=True)
    ap.add_argument("--backend", help="back-end to use (default: testdata/products/post_db.mdb)")
    ap.add_argument("--mode", default="crash", choices=["crash", "enospc", "eio", "erofs", "read-eio", "kill"])
    ap.add_argument("--sample", type=int, default=0, help="this many points, seeded; 0 = every point")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--kinds", default="wfrd")
    ap.add_argument("--mdbtools", action="store_true", help="also compare content with mdb-export")
    ap.add_argument("--timeout", type=float, default=600)
    args = ap.parse_args()
    args.backend = args.backend or os.path.join(args.testdata, "products", "post_db.mdb")
    args.frontend = os.path.join(args.testdata, "mdb", "jet4", "testV2000.mdb")

    base = tempfile.mkdtemp(prefix="dorvane-faults-")
    checker = Checker(args)
    refs = {"backend": args.backend, "frontend": args.frontend, "earlier_backup_sha": sha(args.backend)}
    injector = {"LD_PRELOAD": args.injector, "DORVANE_FAULT_KINDS": args.kinds}

    # A clean run must succeed, and tells how many points there are.
    clean = Installation(os.path.join(base, "clean"), args)
    count_log = os.path.join(base, "count.txt")
    started = time.monotonic()
    status, err = clean.run(dict(injector, DORVANE_FAULT_ROOT=clean.files, DORVANE_FAULT_LOG=count_log))
    clean_seconds = time.monotonic() - started
    problems = [] if status == 0 else [f"the clean run failed (status {status}): {err}\n{clean.log()}"]
    check_invariants(clean, refs, checker, problems)
    if problems:
        print("; ".join(problems) + "\n0 passed, 1 failed")
        return 1
    with open(count_log) as f:
        total = int(f.read().splitlines()[-1].split()[-1])
    rng = random.Random(args.seed)
    if args.mode == "kill":
        points = [rng.uniform(0.0, clean_seconds * 1.1) for _ in range(args.sample or 50)]
    else:
        # Reads are not counted by the clean run: their points cover a generous range.
        universe = list(range(1, (max(total * 4, 64) if args.mode == "read-eio" else total) + 1))
        points = universe if not args.sample or args.sample >= len(universe) else sorted(rng.sample(universe, args.sample))
    print(f"mode {args.mode}: {total} file-changing calls in a clean run of {clean_seconds:.2f} s; {len(points)} points",
          flush=True)

    passed = failed = 0
    outcomes = {}
    for i, point in enumerate(points):
        inst = Installation(os.path.join(base, f"run{i}"), args)
        problems = []
        if args.mode == "kill":
            status, err = inst.run({}, kill_after=point)
        else:
            fault = {"DORVANE_FAULT_READS": "eio"} if args.mode == "read-eio" else {"DORVANE_FAULT_MODE": args.mode}
            status, err = inst.run(dict(injector, DORVANE_FAULT_ROOT=inst.files, DORVANE_FAULT_AT=str(point), **fault))
        outcomes[status] = outcomes.get(status, 0) + 1
        if status not in (0, 1, 137, -9):
            problems.append(f"the run ended with status {status}: {err[-400:]!r}")
        if args.mode not in ("crash", "kill") and status in (137, -9):
            problems.append("a disk fault crashed the program")
        check_invariants(inst, refs, checker, problems)
        if status == 0 and (inst.temporaries() or len([b for b in inst.backups() if b != EARLIER_BACKUP]) != 1):
            problems.append(f"success reported but Temp.bk0 is left or the backups are {inst.backups()}")
        if args.mode not in ("crash", "kill") and status == 1 and not any(m in inst.log() for m in FAILURES):
            problems.append("failure status without a failure line in the log")
        recover_and_check(inst, refs, checker, problems)
        if problems:
            failed += 1
            print(f"point {point}: " + "; ".join(problems), flush=True)
        else:
            passed += 1
            shutil.rmtree(inst.root, ignore_errors=True)
    print(f"exit statuses of the broken runs: {dict(sorted(outcomes.items()))}\n{passed} passed, {failed} failed")
    if failed == 0:
        shutil.rmtree(base, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
