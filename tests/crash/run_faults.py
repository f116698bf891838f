"""Breaks unattended runs of a fresh Bresk installation on purpose; checks that nothing is lost.

Modes: the LD_PRELOAD injector crashes, or fails with ENOSPC, EIO or EROFS, the k-th file-changing call, or
fails reads from the k-th on ("read-eio"); "kill": SIGKILL after a seeded delay; "locks": a product holds the
back-end, or tries to while a run compacts; "small-disk": a tmpfs folder without room (77: no right to mount).
After each run the back-end, the front-end and a backup hold the original content (dorvane-jet, and mdb-export
with --mdbtools), and the next runs recover. --repairing: the back-end may be damaged; its original bytes (in
place or kept as post_db_damaged_*) and its repaired content (in place or in Temp.bk0) exist at every point.
"""
import argparse
import csv
import fcntl
import functools
import hashlib
import io
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

EARLIER_BACKUP = "post_db_1112025101010.mdb"
FAILURES = ("Unable to optimize application", "Unable to Repair Dbase", "Operation Failed")
PRODUCT_LOCK_BYTE = 0x10000001  # a product that has the database open locks this byte


def sha(path):
    with open(path, "rb") as f:
        return hashlib.file_digest(f, "sha256").hexdigest()


original_sha = functools.lru_cache(maxsize=None)(sha)  # for the originals only, which never change


def unpack(path, folder):
    """The file itself, or a .xz file's content, checked against the SHA256SUMS beside it."""
    if not path.endswith(".xz"):
        return path
    out = os.path.join(folder, os.path.basename(path)[:-3])
    subprocess.run(["sh", "-c", 'xz -dc "$0" >"$1"', path, out], check=True)
    if f"{sha(out)}  {os.path.basename(out)}" not in open(os.path.join(os.path.dirname(path), "SHA256SUMS")).read():
        raise SystemExit(f"{out} does not match SHA256SUMS")
    return out


# Object ids follow the table definitions a compaction packs: they are compared by
# the name and type of the object the catalog gives them, an id naming none as such.
ID_COLUMNS = {"MSysObjects": "Id", "MSysACEs": "ObjectId", "MSysNavPaneObjectIDs": "Id",
              "MSysNavPaneGroupToObjects": "ObjectID", "MSysNavPaneGroups": "ObjectID",
              "MSysNavPaneGroupCategories": "SelectedObjectID"}


def csv_rows(export):
    return list(csv.reader(io.StringIO(export.decode("utf-8", "surrogateescape"), newline="")))


def by_object_name(table, export, catalog):
    rows = csv_rows(export)
    if table not in ID_COLUMNS or not rows or ID_COLUMNS[table] not in rows[0]:
        return export
    names = {r[0]: f"{r[2]}/{r[3]}" for r in csv_rows(catalog)[1:]}  # Id, ParentId, Name, Type
    at = rows[0].index(ID_COLUMNS[table])
    for row in rows[1:]:
        row[at] = names.get(row[at], "(no object)") if row[at] else ""
    out = io.StringIO()
    csv.writer(out).writerows(rows)
    return out.getvalue().encode("utf-8", "surrogateescape")


class Checker:
    def __init__(self, args):
        self.args, self.cache = args, {}

    def content(self, path):
        """A digest of every table's rows as the engine reads them (and mdbtools, if asked), or None."""
        digest = sha(path)
        if digest not in self.cache:
            self.cache[digest] = self.read(path)
        return self.cache[digest]

    def read(self, path):  # the digest of content()
        tables = subprocess.run([self.args.jet_tool, "tables", path, "--all"], capture_output=True, text=True)
        if tables.returncode != 0:
            return None
        parts = []
        catalog = subprocess.run([self.args.jet_tool, "export", path, "MSysObjects"], capture_output=True)
        for table in sorted(t for t in tables.stdout.splitlines() if t):
            out = subprocess.run([self.args.jet_tool, "export", path, table], capture_output=True)
            if out.returncode != 0 or catalog.returncode != 0:
                return None
            parts.append(table.encode() + b"\n" + by_object_name(table, out.stdout, catalog.stdout))
            if self.args.mdbtools and not table.startswith("MSys"):
                # mdbtools meets relocated rows in page order: compare its rows as a set.
                rows = subprocess.run(["mdb-export", "-b", "hex", path, table], capture_output=True).stdout
                parts.append(b"mdbtools " + table.encode() + b"\n" + b"\n".join(sorted(rows.split(b"\n"))))
        return hashlib.sha256(b"\0".join(parts)).hexdigest()

    def same(self, path, reference):
        return self.content(path) is not None and self.content(path) == self.content(reference)


class Installation:
    def __init__(self, root, args, backend=None, small_disk=None):
        self.root, self.args, self.backend = root, args, backend or args.backend
        self.files = os.path.join(root, "files")  # faults hit only these: the settings stay readable
        self.app, self.data, self.backup = (os.path.join(self.files, d) for d in ("app", "data", "backup"))
        self.config = os.path.join(root, "config")
        for d in (self.app, self.data, self.backup, self.config):
            os.makedirs(d)
        self.mounted = small_disk and subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + small_disk[1], "tmpfs",
                                                      getattr(self, small_disk[0])], capture_output=True).returncode == 0
        if small_disk and not self.mounted:
            return
        shutil.copyfile(args.frontend, os.path.join(self.app, "Bresk.mde"))
        shutil.copyfile(self.backend, os.path.join(self.data, "post_db.mdb"))
        shutil.copyfile(self.backend, os.path.join(self.backup, EARLIER_BACKUP))
        for section, key, value in (("TitleBar", "sqlver", "0"), ("Locations", "APPPATH", self.app),
                                    ("Locations", "DbPath", self.data), ("Locations", "BKpath", self.backup)):
            subprocess.run([args.settings_tool, "set", "Bresk", section, key, value], env=self.env({}), check=True)

    def unmount(self):
        subprocess.run(["umount", "-l", self.app, self.data, self.backup], capture_output=True)

    def env(self, extra):
        return {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"} | {"XDG_CONFIG_HOME": self.config} | extra

    def start(self, extra):
        return subprocess.Popen([self.args.dorvane, "/silent", "/Bresk"], env=self.env(extra), cwd=self.root,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def run(self, extra, kill_after=None):
        p = self.start(extra)
        try:
            _, err = p.communicate(timeout=kill_after if kill_after is not None else 600)
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
        path = os.path.join(self.app, "Dorvane_log.txt")
        return open(path, "rb").read().decode("utf-8", "replace") if os.path.exists(path) else ""


def holds(checker, path, *references):
    """Whether path holds the bytes or the rows of one of the references."""
    return os.path.exists(path) and any(sha(path) == original_sha(r) or checker.same(path, r) for r in references)


def check_invariants(inst, checker, problems):
    repaired = inst.args.repaired or inst.backend  # what a run leaves in the back-end
    for folder, name, original, result in ((inst.data, "post_db.mdb", inst.backend, repaired),
                                           (inst.app, "Bresk.mde", inst.args.frontend, inst.args.frontend)):
        source, temp = os.path.join(folder, name), os.path.join(folder, "Temp.bk0")
        kept = [os.path.join(folder, n) for n in os.listdir(folder) if n.startswith(name.split(".")[0] + "_damaged_")]
        untouched = os.path.exists(source) and sha(source) == original_sha(original)
        if not untouched and not any(holds(checker, p, result) for p in (source, temp)):
            problems.append(f"{folder}: neither {name} nor Temp.bk0 holds the repaired content, and {name} is not the original")
        if os.path.exists(source) and not holds(checker, source, original, result):
            problems.append(f"{source} exists but holds neither the original nor its repaired content")
        lossy = folder == inst.data and 2 in inst.args.success  # then only its bytes are the original
        if not kept and not untouched and (lossy or not any(holds(checker, p, original) for p in (source, temp))):
            problems.append(f"{folder}: the original is gone and no damaged file is kept")
        if any(sha(k) != original_sha(original) for k in kept):
            problems.append(f"{folder}: a kept damaged file is not the original byte for byte: {kept}")
    if not inst.backups():
        problems.append("the backup folder holds no backup")
    for b in inst.backups():
        path = os.path.join(inst.backup, b)
        if b == EARLIER_BACKUP and sha(path) != original_sha(inst.backend):
            problems.append("the earlier backup was changed")
        elif b != EARLIER_BACKUP and not checker.same(path, repaired):
            problems.append(f"backup {b} differs in content from the original")


def recover_and_check(inst, checker, problems):
    """The next run, then a run after the leftovers are removed by hand."""
    leftovers, before = inst.temporaries(), len(inst.log())
    status, err = inst.run({})
    if status in inst.args.success and leftovers:
        problems.append("next run succeeded although Temp.bk0 was left over: " + ", ".join(leftovers))
    elif status not in inst.args.success:
        expected = {FAILURES[0]} if os.path.join(inst.app, "Temp.bk0") in leftovers else set()
        expected |= {FAILURES[1]} if os.path.join(inst.data, "Temp.bk0") in leftovers else set()
        failures = {m for m in FAILURES if m in inst.log()[before:]}
        if not expected or not failures or not failures <= expected | {FAILURES[2]}:
            problems.append(f"next run failed without a leftover to explain it (status {status}): {inst.log()[before:]!r} {err!r}")
        elif "is left over from an earlier run that did not finish" not in err:
            problems.append(f"next run failed for a leftover without saying so: {err!r}")
    check_invariants(inst, checker, problems)
    for path in leftovers:
        os.unlink(path)
    if leftovers or status not in inst.args.success:
        status, err = inst.run({})
        if status not in inst.args.success:
            problems.append(f"a run after removing the leftovers failed: {err!r}")
        check_invariants(inst, checker, problems)
    if status in inst.args.success and len(inst.backups()) != 1:
        problems.append(f"after a successful run the backup folder holds {inst.backups()}")


def refused_runs(args, base, checker, problems, disks):
    """Runs that a product's lock (or, with disks, a folder without room) makes fail: they say why, the
    back-end stays as it was unless repaired, the backups unless a new one was made, and nothing is lost."""
    optimized, repaired, created = "Application was optimized", "The Dbase was repaired & compacted successfully", "Backup was created   "
    unable, failed = "Unable to Repair Dbase", "Operation Failed   "
    cases = [  # lock (file, kind) or small disk (folder, size); status; log lines; word of the reason; Temp.bk0 stays
        (("post_db.mdb", fcntl.LOCK_SH), None, 1, [optimized, unable, failed], "in use", False),
        (("post_db.mdb", "flock"), None, 1, [optimized, unable, failed], "in use", False),  # a whole-file lock
        (("post_db.ldb", fcntl.LOCK_EX), None, 1, [optimized, unable, failed], "in use", False),
        (("post_db.ldb", 0), None, 0, [optimized, repaired, created], "", False),  # a lock file nobody locks
        (None, ("backup", "3m"), 1, [repaired, failed], " full", False),
        (None, ("data", "3m"), 1, [unable, created], " full", False),  # no room for the compacted copy
        (None, ("data", "4600k"), 1, [unable, created], " full", False)]  # none to copy it back: it goes
    for i, (lock, disk, expected, lines, word, temp_stays) in enumerate(c for c in cases if bool(c[1]) == disks):
        inst = Installation(os.path.join(base, f"case{i}"), args, backend=args.small_backend, small_disk=disk)
        if disk and not inst.mounted:
            print("skipped: no right to mount a tmpfs here")
            return 77
        try:
            if lock and not os.path.exists(os.path.join(inst.data, lock[0])):
                open(os.path.join(inst.data, lock[0]), "wb").write(bytes(64))
            fd = os.open(os.path.join(inst.data, lock[0]), os.O_RDWR) if lock else -1
            if lock and lock[1] == "flock":
                fcntl.flock(fd, fcntl.LOCK_SH | fcntl.LOCK_NB)
            elif lock and lock[1]:
                fcntl.lockf(fd, lock[1] | fcntl.LOCK_NB, 1, PRODUCT_LOCK_BYTE)
            status, err = inst.run({})
            if fd >= 0:
                os.close(fd)
            log, what = inst.log(), f"{lock or disk}: "
            if status != expected or any("     " + line not in log for line in lines) or word not in log + err:
                problems.append(what + f"status {status}, the log or the reason is not as expected: {log!r} {err!r}")
            if repaired not in lines and sha(os.path.join(inst.data, "post_db.mdb")) != original_sha(inst.backend):
                problems.append(what + "the back-end changed")
            if created not in lines and inst.backups() != [EARLIER_BACKUP]:
                problems.append(what + f"the backups are {inst.backups()}")
            if os.path.exists(os.path.join(inst.data, "Temp.bk0")) != temp_stays or \
                    os.path.exists(os.path.join(inst.data, ".post_db.mdb.dorvane-copy")):
                problems.append(what + "Temp.bk0 or a staging file is not as expected")
            check_invariants(inst, checker, problems)
            if disk:  # once there is room, the next run succeeds: nothing of the full disk is left to block it
                subprocess.run(["mount", "-o", "remount,size=64m", getattr(inst, disk[0])], check=True)
                status, err = inst.run({})
                if status != 0 or inst.temporaries():
                    problems.append(what + f"the run with room again: status {status}, {inst.temporaries()} {err!r}")
        finally:
            inst.unmount()
    return 0 if disks else own_lock(args, base, problems)


def own_lock(args, base, problems):
    """From the compaction's start (Temp.bk0 written) until the copy is in place, a product cannot lock the
    back-end: not while it is compacted, nor while the copy is made and put back."""
    inst = Installation(os.path.join(base, "own"), args)  # the large back-end: long enough to be caught compacting
    db, temp = os.path.join(inst.data, "post_db.mdb"), os.path.join(inst.data, "Temp.bk0")
    original = os.stat(db).st_ino
    run, started = inst.start({}), time.monotonic()
    while not os.path.exists(temp) and time.monotonic() - started < 20 and run.poll() is None:
        time.sleep(0.001)

    def before_copy_back():  # the copy not yet in place: the file is still the one the run compacted
        try:
            return os.path.exists(temp) and os.stat(db).st_ino == original
        except FileNotFoundError:
            return False

    attempts = granted = 0
    while before_copy_back():
        with open(db, "r+b") as f:
            try:
                fcntl.lockf(f, fcntl.LOCK_SH | fcntl.LOCK_NB, 1, PRODUCT_LOCK_BYTE)
                locked = os.fstat(f.fileno()).st_ino == original
            except OSError:
                locked = False
        if before_copy_back():  # only attempts made wholly before the copy took its place count
            attempts, granted = attempts + 1, granted + locked
        time.sleep(0.005)
    _, err = run.communicate()
    print(f"own lock: {attempts} attempts while the run compacted and copied back, {granted} granted")
    if attempts == 0 or granted or run.returncode != 0:
        problems.append(f"own lock: {attempts} attempts, {granted} granted, status {run.returncode} {err!r}")
    return 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for name in ("--dorvane", "--settings-tool", "--jet-tool", "--injector", "--testdata"):
        ap.add_argument(name, required=True)
    ap.add_argument("--backend", help="back-end, or .xz of one (default: testdata/products/post_db.mdb)")
    ap.add_argument("--mode", required=True, choices=["crash", "enospc", "eio", "erofs", "read-eio", "kill", "locks", "small-disk"])
    ap.add_argument("--sample", type=int, default=0, help="this many points, seeded; 0 = every point")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--mdbtools", action="store_true", help="also compare content with mdb-export")
    ap.add_argument("--repairing", action="store_true", help="the back-end may be damaged: see above")
    ap.add_argument("--zero-page", type=int, help="repairing a copy of the (Jet 4) back-end with this page zeroed, "
                    "which must end with status 2")
    args = ap.parse_args()
    base = tempfile.mkdtemp(prefix="dorvane-faults-")
    args.small_backend = os.path.join(args.testdata, "products", "post_db.mdb")
    args.backend = unpack(args.backend or args.small_backend, base)
    args.frontend = os.path.join(args.testdata, "mdb", "jet4", "testV2000.mdb")
    args.repaired, args.success = None, {0}
    if args.zero_page is not None:
        damaged = bytearray(open(args.backend, "rb").read())
        damaged[args.zero_page * 4096:(args.zero_page + 1) * 4096] = bytes(4096)
        args.backend, args.repairing, args.success = os.path.join(base, "damaged.mdb"), True, {0, 2}
        open(args.backend, "wb").write(damaged)
    if args.repairing:  # the reference of the repaired rows; a sound file's repair is its compaction
        args.repaired = os.path.join(base, "repaired.mdb")
        done = subprocess.run([args.jet_tool, "repair", args.backend, args.repaired], capture_output=True)
        if done.returncode not in (0, 3):  # 3: repaired, with rows lost or in doubt
            raise SystemExit(f"dorvane-jet repair failed with {done.returncode}: {done.stderr!r}")
    checker, problems = Checker(args), []
    if args.mode in ("locks", "small-disk"):
        status = refused_runs(args, base, checker, problems, disks=args.mode == "small-disk")
        print("\n".join(problems) + f"\n{args.mode}: {len(problems)} problems")
        shutil.rmtree(base, ignore_errors=True)
        return 1 if problems else status

    # A clean run must succeed, and tells how many points there are.
    clean, count_log, started = Installation(os.path.join(base, "clean"), args), os.path.join(base, "count.txt"), time.monotonic()
    injector = {"LD_PRELOAD": args.injector}
    status, err = clean.run(dict(injector, DORVANE_FAULT_ROOT=clean.files, DORVANE_FAULT_LOG=count_log))
    clean_seconds = time.monotonic() - started
    args.success |= {status} if args.repairing and status == 2 else set()
    problems = [] if status in args.success else [f"the clean run failed (status {status}): {err}\n{clean.log()}"]
    if args.zero_page is not None and status != 2:
        problems.append(f"the damaged back-end's run ended with {status}, not 2")
    if status == 2 and "; the damaged file is kept as " not in clean.log():
        problems.append("status 2 without the line that says what was lost")
    check_invariants(clean, checker, problems)
    if problems:
        print("; ".join(problems) + "\n0 passed, 1 failed")
        return 1
    total = int(open(count_log).read().splitlines()[-1].split()[-1])
    rng = random.Random(args.seed)
    if args.mode == "kill":
        points = [rng.uniform(0.0, clean_seconds * 1.1) for _ in range(args.sample or 50)]
    else:
        # Reads are not counted by the clean run: their points cover a generous range.
        universe = list(range(1, (max(total * 4, 64) if args.mode == "read-eio" else total) + 1))
        points = universe if not args.sample or args.sample >= len(universe) else sorted(rng.sample(universe, args.sample))
    print(f"{args.mode}: {total} file-changing calls in a clean run of {clean_seconds:.2f} s; {len(points)} points", flush=True)

    # A repair's first pass stops where its check finds the damage, which
    # depends on timing: a run may make fewer calls than the clean one did.
    failed, short_runs = 0, 0
    for i, point in enumerate(points):
        inst = Installation(os.path.join(base, f"run{i}"), args)
        problems = []
        run_log = os.path.join(base, f"count{i}.txt")
        if args.mode == "kill":
            status, err = inst.run({}, kill_after=point)
        else:
            fault = {"DORVANE_FAULT_READS": "eio"} if args.mode == "read-eio" else {"DORVANE_FAULT_MODE": args.mode}
            status, err = inst.run(dict(injector, DORVANE_FAULT_ROOT=inst.files, DORVANE_FAULT_AT=str(point),
                                        DORVANE_FAULT_LOG=run_log, **fault))
        if args.mode == "crash" and status != 137:
            calls = int(open(run_log).read().splitlines()[-1].split()[-1]) if os.path.exists(run_log) else total
            if args.repairing and calls < point:
                short_runs += 1
            else:
                problems.append(f"no crash at call {point} (status {status}): the sweep does not reach the program")
        if status not in (0, 1, 2, 137, -9):
            problems.append(f"the run ended with status {status}: {err[-400:]!r}")
        if args.mode not in ("crash", "kill") and status in (137, -9):
            problems.append("a disk fault crashed the program")
        check_invariants(inst, checker, problems)
        if status in args.success and (inst.temporaries() or len([b for b in inst.backups() if b != EARLIER_BACKUP]) != 1):
            problems.append(f"success reported but Temp.bk0 is left or the backups are {inst.backups()}")
        if args.mode not in ("crash", "kill") and status == 1 and not any(m in inst.log() for m in FAILURES):
            problems.append("failure status without a failure line in the log")
        recover_and_check(inst, checker, problems)
        failed += bool(problems)
        if problems:
            print(f"point {point}: " + "; ".join(problems), flush=True)
        else:
            shutil.rmtree(inst.root, ignore_errors=True)
    if short_runs > len(points) // 3:
        print(f"{short_runs} runs ended before their point: the sweep does not reach the program")
        failed += 1
    print(f"{len(points) - failed} passed, {failed} failed" + (f" ({short_runs} ended before their point)" if short_runs else ""))
    if failed == 0:
        shutil.rmtree(base, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
