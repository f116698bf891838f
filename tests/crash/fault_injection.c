/* Test-only fault injection, loaded with LD_PRELOAD: counts the file-changing calls
 * (writes, flushes, renames, deletes) under DORVANE_FAULT_ROOT and at the k-th
 * (DORVANE_FAULT_AT, 1-based; 0: only count) ends the process as a crash would
 * or fails the call, by DORVANE_FAULT_MODE: crash | enospc | eio | erofs.
 * DORVANE_FAULT_READS=eio fails reads from the k-th on instead; DORVANE_FAULT_LOG
 * receives the number of calls counted. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static long g_count;
static long g_reads;

static const char* env(const char* name) {
    const char* v = getenv(name);
    return v != NULL ? v : "";
}

static int under_root(const char* path) {
    const char* root = env("DORVANE_FAULT_ROOT");
    if (*root == '\0' || path == NULL || *path == '\0') return 0;
    char resolved[8192], cwd[4096];
    if (path[0] != '/') {
        if (getcwd(cwd, sizeof cwd) == NULL) return 0;
        /* A cut path could match a root it is not under: leave such a path alone. */
        const int n = snprintf(resolved, sizeof resolved, "%s/%s", cwd, path);
        if (n < 0 || (size_t)n >= sizeof resolved) return 0;
        path = resolved;
    }
    return strncmp(path, root, strlen(root)) == 0;
}

/* The path of an open descriptor, or "" when it has none. */
static const char* fd_path(int fd, char* buffer, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, buffer, size - 1);
    buffer[n > 0 ? n : 0] = '\0';
    return buffer;
}

/* Counts one call; returns 0 to go on, or sets errno and returns 1 when the call must fail. */
static int count_call(void) {
    /* Atomic: the program writes from more than one thread. */
    const long count = __atomic_add_fetch(&g_count, 1, __ATOMIC_SEQ_CST);
    long at = atol(env("DORVANE_FAULT_AT"));
    /* Where reads fail, DORVANE_FAULT_AT counts reads: writes are only counted. */
    if (at <= 0 || count != at || *env("DORVANE_FAULT_READS") != '\0') return 0;
    const char* mode = env("DORVANE_FAULT_MODE");
    errno = strcmp(mode, "enospc") == 0  ? ENOSPC
            : strcmp(mode, "eio") == 0   ? EIO
            : strcmp(mode, "erofs") == 0 ? EROFS
                                         : 0;
    if (errno != 0) return 1;
    _exit(137);
}

static int fd_fault(int fd) {
    char path[4096];
    return under_root(fd_path(fd, path, sizeof path)) && count_call();
}

static int path_fault(const char* from, const char* to) { return (under_root(from) || under_root(to)) && count_call(); }

static int read_fault(int fd) {
    char path[4096];
    if (strcmp(env("DORVANE_FAULT_READS"), "eio") != 0 || !under_root(fd_path(fd, path, sizeof path))) return 0;
    long at = atol(env("DORVANE_FAULT_AT"));
    if (at <= 0 || __atomic_add_fetch(&g_reads, 1, __ATOMIC_SEQ_CST) < at) return 0;
    errno = EIO;
    return 1;
}

/* One wrapper: `check` decides whether the call fails, else the real call runs. */
#define WRAP(ret, name, params, args, check)                             \
    ret name params {                                                    \
        static ret(*real) params;                                        \
        if (real == NULL) real = (ret(*) params)dlsym(RTLD_NEXT, #name); \
        if (check) return -1;                                            \
        return real args;                                                \
    }

WRAP(ssize_t, write, (int fd, const void* b, size_t n), (fd, b, n), fd_fault(fd))
WRAP(ssize_t, pwrite, (int fd, const void* b, size_t n, off_t o), (fd, b, n, o), fd_fault(fd))
WRAP(ssize_t, pwrite64, (int fd, const void* b, size_t n, off_t o), (fd, b, n, o), fd_fault(fd))
WRAP(ssize_t, writev, (int fd, const struct iovec* v, int c), (fd, v, c), fd_fault(fd))
WRAP(int, ftruncate, (int fd, off_t length), (fd, length), fd_fault(fd))
WRAP(int, fsync, (int fd), (fd), fd_fault(fd))
WRAP(int, fdatasync, (int fd), (fd), fd_fault(fd))
WRAP(int, rename, (const char* from, const char* to), (from, to), path_fault(from, to))
WRAP(int, renameat, (int fd, const char* from, int to_fd, const char* to), (fd, from, to_fd, to), path_fault(from, to))
WRAP(int, unlink, (const char* path), (path), path_fault(path, path))
WRAP(int, unlinkat, (int fd, const char* path, int flags), (fd, path, flags), path_fault(path, path))
WRAP(int, remove, (const char* path), (path), path_fault(path, path))
WRAP(ssize_t, read, (int fd, void* b, size_t n), (fd, b, n), read_fault(fd))
WRAP(ssize_t, pread, (int fd, void* b, size_t n, off_t o), (fd, b, n, o), read_fault(fd))
WRAP(ssize_t, pread64, (int fd, void* b, size_t n, off_t o), (fd, b, n, o), read_fault(fd))

__attribute__((destructor)) static void report_total(void) {
    const char* log = env("DORVANE_FAULT_LOG");
    FILE* out = *log != '\0' ? fopen(log, "ae") : NULL; /* the log is outside the root: not counted */
    if (out == NULL) return;
    fprintf(out, "total %ld\n", g_count);
    fclose(out);
}
