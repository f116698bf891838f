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
    if (*root == '\0' || path == NULL || *path == '\0') return 0;
    char resolved[4096], cwd[2048];
    if (path[0] != '/') {
        if (getcwd(cwd, sizeof cwd) == NULL) return 0;
        snprintf(resolved, sizeof resolved, "%s/%s", cwd, path);
        path = resolved;
    }
    return strncmp(path, root, strlen(root)) == 0;
}

/* The path of an open descriptor, or "" when it has none. */
static const char *fd_path(int fd, char *buffer, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, buffer, size - 1);
    buffer[n > 0 ? n : 0] = '\0';
    return buffer;
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

/* Counts one call; returns 0 to go on, or sets errno and returns 1 when the call must fail. */
static int count_call(char kind, const char *what, const char *path) {
    const char *kinds = env("DORVANE_FAULT_KINDS");
    if (*kinds != '\0' && strchr(kinds, kind) == NULL) return 0;
    ++g_count;
    note(what, path);
    long at = atol(env("DORVANE_FAULT_AT"));
    if (at <= 0 || g_count != at) return 0;
    const char *mode = env("DORVANE_FAULT_MODE");
    errno = strcmp(mode, "enospc") == 0 ? ENOSPC : strcmp(mode, "eio") == 0 ? EIO : strcmp(mode, "erofs") == 0 ? EROFS : 0;
    if (errno != 0) return 1;
    note("crash", "");
    _exit(137);
}

static int fd_fault(char kind, const char *what, int fd) {
    char path[4096];
    return under_root(fd_path(fd, path, sizeof path)) && count_call(kind, what, path);
}

static int path_fault(char kind, const char *what, const char *from, const char *to) {
    return (under_root(from) || under_root(to)) && count_call(kind, what, to);
}

static int read_fault(int fd) {
    char path[4096];
    if (strcmp(env("DORVANE_FAULT_READS"), "eio") != 0 || !under_root(fd_path(fd, path, sizeof path))) return 0;
    long at = atol(env("DORVANE_FAULT_AT"));
    errno = EIO;
    return at > 0 && ++g_reads >= at;
}

/* One wrapper: `check` decides whether the call fails, else the real call runs. */
#define WRAP(ret, name, params, args, check)                                              \
    ret name params {                                                                     \
        static ret(*real) params;                                                         \
        if (real == NULL) real = (ret(*) params)dlsym(RTLD_NEXT, #name);                  \
        int saved = errno;                                                                \
        if (check) return -1;                                                             \
        errno = saved;                                                                    \
        return real args;                                                                 \
    }

WRAP(ssize_t, write, (int fd, const void *b, size_t n), (fd, b, n), fd_fault('w', "write", fd))
WRAP(ssize_t, pwrite, (int fd, const void *b, size_t n, off_t o), (fd, b, n, o), fd_fault('w', "pwrite", fd))
WRAP(ssize_t, pwrite64, (int fd, const void *b, size_t n, off_t o), (fd, b, n, o), fd_fault('w', "pwrite", fd))
WRAP(ssize_t, writev, (int fd, const struct iovec *v, int c), (fd, v, c), fd_fault('w', "writev", fd))
WRAP(int, ftruncate, (int fd, off_t length), (fd, length), fd_fault('w', "ftruncate", fd))
WRAP(int, fsync, (int fd), (fd), fd_fault('f', "fsync", fd))
WRAP(int, fdatasync, (int fd), (fd), fd_fault('f', "fdatasync", fd))
WRAP(int, rename, (const char *from, const char *to), (from, to), path_fault('r', "rename", from, to))
WRAP(int, renameat, (int fd, const char *from, int to_fd, const char *to), (fd, from, to_fd, to),
     path_fault('r', "rename", from, to))
WRAP(int, unlink, (const char *path), (path), path_fault('d', "unlink", path, path))
WRAP(int, unlinkat, (int fd, const char *path, int flags), (fd, path, flags), path_fault('d', "unlink", path, path))
WRAP(int, remove, (const char *path), (path), path_fault('d', "unlink", path, path))
WRAP(ssize_t, read, (int fd, void *b, size_t n), (fd, b, n), read_fault(fd))
WRAP(ssize_t, pread, (int fd, void *b, size_t n, off_t o), (fd, b, n, o), read_fault(fd))
WRAP(ssize_t, pread64, (int fd, void *b, size_t n, off_t o), (fd, b, n, o), read_fault(fd))

__attribute__((destructor)) static void report_total(void) {
    char total[32];
    snprintf(total, sizeof total, "%ld", g_count);
    note("total", total);
}
