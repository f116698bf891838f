/* Test-only fault injection for whole program runs, loaded with LD_PRELOAD.
 *
 * Counts the file-changing calls that a process makes under one folder
 * (writes, flushes, renames, deletes) and, at the k-th of them, either ends
 * the process at once (as a crash or power cut would, from the program's
 * point of view) or makes that call fail with an error (a full disk, a read
 * error, a folder that turned read-only).
 *
 * Environment:
 *   DORVANE_FAULT_ROOT   only calls on paths under this folder count
 *   DORVANE_FAULT_AT     k, 1-based; 0 or unset: never fault, only count
 *   DORVANE_FAULT_MODE   crash | enospc | eio | erofs
 *   DORVANE_FAULT_KINDS  subset of "wfrd" (write, flush, rename, delete); default all
 *   DORVANE_FAULT_READS  "eio": reads under the root fail with EIO from the k-th read on
 *   DORVANE_FAULT_LOG    file that receives one line per counted call, and the total
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static long g_count;
static long g_reads;

static const char *env(const char *name) {
    const char *v = getenv(name);
    return v != NULL ? v : "";
}

static int under_root(const char *path) {
    const char *root = env("DORVANE_FAULT_ROOT");
    size_t n = strlen(root);
    if (n == 0 || path == NULL) return 0;
    char resolved[4096];
    const char *p = path;
    if (path[0] != '/') {
        char cwd[2048];
        if (getcwd(cwd, sizeof cwd) == NULL) return 0;
        snprintf(resolved, sizeof resolved, "%s/%s", cwd, path);
        p = resolved;
    }
    return strncmp(p, root, n) == 0;
}

static int fd_under_root(int fd) {
    char link[64], target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return 0;
    target[n] = '\0';
    return under_root(target);
}

static void note(const char *what, const char *detail) {
    const char *log = env("DORVANE_FAULT_LOG");
    if (*log == '\0') return;
    static ssize_t (*real_write)(int, const void *, size_t);
    if (real_write == NULL) real_write = (ssize_t(*)(int, const void *, size_t))dlsym(RTLD_NEXT, "write");
    int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    char line[4400];
    int len = snprintf(line, sizeof line, "%ld %s %s\n", g_count, what, detail);
    if (len > 0) (void)real_write(fd, line, (size_t)len < sizeof line ? (size_t)len : sizeof line - 1);
    close(fd);
}

/* Returns 0 to go on, or an errno value that the call must fail with. */
static int count_call(char kind, const char *what, const char *detail) {
    const char *kinds = env("DORVANE_FAULT_KINDS");
    if (*kinds != '\0' && strchr(kinds, kind) == NULL) return 0;
    ++g_count;
    note(what, detail);
    long at = atol(env("DORVANE_FAULT_AT"));
    if (at <= 0 || g_count != at) return 0;
    const char *mode = env("DORVANE_FAULT_MODE");
    if (strcmp(mode, "enospc") == 0) return ENOSPC;
    if (strcmp(mode, "eio") == 0) return EIO;
    if (strcmp(mode, "erofs") == 0) return EROFS;
    note("crash", "");
    _exit(137);
}

static char *fd_detail(int fd, char *buffer, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, buffer, size - 1);
    buffer[n > 0 ? n : 0] = '\0';
    return buffer;
}

#define REAL(name, ret, args)                 \
    static ret(*real_##name) args;              \
    if (real_##name == NULL) real_##name = (ret(*) args)dlsym(RTLD_NEXT, #name)

#define FD_CALL(kind, name, fd)                                   \
    if (fd_under_root(fd)) {                                      \
        char detail_[4096];                                       \
        int e_ = count_call(kind, name, fd_detail(fd, detail_, sizeof detail_)); \
        if (e_ != 0) { errno = e_; return -1; }                   \
    }

ssize_t write(int fd, const void *buf, size_t n) {
    REAL(write, ssize_t, (int, const void *, size_t));
    FD_CALL('w', "write", fd);
    return real_write(fd, buf, n);
}

ssize_t pwrite(int fd, const void *buf, size_t n, off_t off) {
    REAL(pwrite, ssize_t, (int, const void *, size_t, off_t));
    FD_CALL('w', "pwrite", fd);
    return real_pwrite(fd, buf, n, off);
}

ssize_t pwrite64(int fd, const void *buf, size_t n, off_t off) {
    REAL(pwrite64, ssize_t, (int, const void *, size_t, off_t));
    FD_CALL('w', "pwrite", fd);
    return real_pwrite64(fd, buf, n, off);
}

ssize_t writev(int fd, const struct iovec *iov, int count) {
    REAL(writev, ssize_t, (int, const struct iovec *, int));
    FD_CALL('w', "writev", fd);
    return real_writev(fd, iov, count);
}

int ftruncate(int fd, off_t length) {
    REAL(ftruncate, int, (int, off_t));
    FD_CALL('w', "ftruncate", fd);
    return real_ftruncate(fd, length);
}

int fsync(int fd) {
    REAL(fsync, int, (int));
    FD_CALL('f', "fsync", fd);
    return real_fsync(fd);
}

int fdatasync(int fd) {
    REAL(fdatasync, int, (int));
    FD_CALL('f', "fdatasync", fd);
    return real_fdatasync(fd);
}

int rename(const char *from, const char *to) {
    REAL(rename, int, (const char *, const char *));
    if (under_root(from) || under_root(to)) {
        int e = count_call('r', "rename", to);
        if (e != 0) { errno = e; return -1; }
    }
    return real_rename(from, to);
}

int renameat(int olddir, const char *from, int newdir, const char *to) {
    REAL(renameat, int, (int, const char *, int, const char *));
    if (under_root(from) || under_root(to)) {
        int e = count_call('r', "rename", to);
        if (e != 0) { errno = e; return -1; }
    }
    return real_renameat(olddir, from, newdir, to);
}

int unlink(const char *path) {
    REAL(unlink, int, (const char *));
    if (under_root(path)) {
        int e = count_call('d', "unlink", path);
        if (e != 0) { errno = e; return -1; }
    }
    return real_unlink(path);
}

int unlinkat(int dir, const char *path, int flags) {
    REAL(unlinkat, int, (int, const char *, int));
    if (under_root(path)) {
        int e = count_call('d', "unlink", path);
        if (e != 0) { errno = e; return -1; }
    }
    return real_unlinkat(dir, path, flags);
}

int remove(const char *path) {
    REAL(remove, int, (const char *));
    if (under_root(path)) {
        int e = count_call('d', "unlink", path);
        if (e != 0) { errno = e; return -1; }
    }
    return real_remove(path);
}

static ssize_t read_fault(int fd) {
    if (strcmp(env("DORVANE_FAULT_READS"), "eio") != 0 || !fd_under_root(fd)) return 0;
    ++g_reads;
    long at = atol(env("DORVANE_FAULT_AT"));
    return (at > 0 && g_reads >= at) ? EIO : 0;
}

ssize_t read(int fd, void *buf, size_t n) {
    REAL(read, ssize_t, (int, void *, size_t));
    int e = (int)read_fault(fd);
    if (e != 0) { errno = e; return -1; }
    return real_read(fd, buf, n);
}

ssize_t pread(int fd, void *buf, size_t n, off_t off) {
    REAL(pread, ssize_t, (int, void *, size_t, off_t));
    int e = (int)read_fault(fd);
    if (e != 0) { errno = e; return -1; }
    return real_pread(fd, buf, n, off);
}

ssize_t pread64(int fd, void *buf, size_t n, off_t off) {
    REAL(pread64, ssize_t, (int, void *, size_t, off_t));
    int e = (int)read_fault(fd);
    if (e != 0) { errno = e; return -1; }
    return real_pread64(fd, buf, n, off);
}

__attribute__((destructor)) static void report_total(void) {
    char total[32];
    snprintf(total, sizeof total, "%ld", g_count);
    note("total", total);
}
