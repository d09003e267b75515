// A preloaded library that makes one chosen system call of a process fail, to
// see what the program does with an I/O error it rarely meets.
//
//   FAULT_KIND    read | write | sync | close | rename | unlink | open | mkdir
//   FAULT_N       the N-th call of that kind fails (1-based); 0 or unset: only count
//   FAULT_ERRNO   EIO | ENOSPC | EDQUOT | SHORT (a write that writes less than asked)
//   FAULT_STICKY  1: every call of the kind from the N-th on fails (a dead or full disk)
//   FAULT_ROOT    only calls on paths (or descriptors of files) below this directory count
//   FAULT_REPORT  file that receives "calls=C fired=F" when the process exits
//
// "sync" covers fsync, fdatasync and syncfs; "write" covers write, pwrite and
// copy_file_range, which also counts as a "read" of its source; "open" covers
// open and openat (and their 64-bit names); "rename" also covers linkat.
// Calls on descriptors that are no regular file or directory (pipes, event
// descriptors, sockets) never count: the event loop's own traffic stays out.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

enum Kind { kRead, kWrite, kSync, kClose, kRename, kUnlink, kOpen, kMkdir, kNone };

static const char* const kKindNames[] = {"read",   "write",  "sync", "close",
                                         "rename", "unlink", "open", "mkdir"};

static enum Kind g_kind = kNone;
static long g_failAt = 0;
static int g_errno = EIO;
static int g_short = 0;
static int g_sticky = 0;
static char g_root[PATH_MAX];
static size_t g_rootLen = 0;
static long g_calls = 0;
static long g_fired = 0;
static int g_ready = 0;
static __thread int t_inside = 0;  // our own calls (realpath, readlink) never count

static void Configure(void) {
    if (g_ready) return;
    g_ready = 1;
    const char* kind = getenv("FAULT_KIND");
    if (kind != NULL) {
        for (int k = 0; k < kNone; ++k)
            if (strcmp(kind, kKindNames[k]) == 0) g_kind = (enum Kind)k;
    }
    const char* n = getenv("FAULT_N");
    if (n != NULL) g_failAt = atol(n);
    const char* err = getenv("FAULT_ERRNO");
    if (err != NULL) {
        if (strcmp(err, "ENOSPC") == 0) g_errno = ENOSPC;
        if (strcmp(err, "EDQUOT") == 0) g_errno = EDQUOT;
        if (strcmp(err, "SHORT") == 0) g_short = 1;
    }
    const char* sticky = getenv("FAULT_STICKY");
    g_sticky = sticky != NULL && strcmp(sticky, "1") == 0;
    const char* root = getenv("FAULT_ROOT");
    if (root != NULL && strlen(root) < sizeof g_root) {
        strcpy(g_root, root);
        g_rootLen = strlen(g_root);
        while (g_rootLen > 1 && g_root[g_rootLen - 1] == '/')
            g_root[--g_rootLen] = '\0';
    }
}

static void* Real(const char* name) {
    return dlsym(RTLD_NEXT, name);
}

static int UnderRoot(const char* path) {
    if (g_rootLen == 0) return 1;
    return strncmp(path, g_root, g_rootLen) == 0 &&
           (path[g_rootLen] == '/' || path[g_rootLen] == '\0');
}

// A path as given: relative names and those under a linked directory are
// resolved through their parent, since the entry itself may not exist yet.
static int PathCounts(int dirfd, const char* path) {
    if (g_rootLen == 0) return 1;
    if (path == NULL) return 0;
    char full[PATH_MAX * 2];
    if (path[0] == '/') {
        snprintf(full, sizeof full, "%s", path);
    } else {
        char base[PATH_MAX];
        if (dirfd == AT_FDCWD) {
            if (getcwd(base, sizeof base) == NULL) return 0;
        } else {
            char link[64];
            snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
            const ssize_t len = readlink(link, base, sizeof base - 1);
            if (len < 0) return 0;
            base[len] = '\0';
        }
        snprintf(full, sizeof full, "%s/%s", base, path);
    }
    if (UnderRoot(full)) return 1;
    char* slash = strrchr(full, '/');
    if (slash == NULL || slash == full) return 0;
    *slash = '\0';
    char resolved[PATH_MAX];
    return realpath(full, resolved) != NULL && UnderRoot(resolved);
}

static int FdCounts(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) return 0;
    if (g_rootLen == 0) return 1;
    char link[64];
    char target[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t len = readlink(link, target, sizeof target - 1);
    if (len < 0) return 0;
    target[len] = '\0';
    return UnderRoot(target);
}

// Counts the call when it is of the chosen kind and in scope; true when it must fail.
static int ShouldFail(enum Kind kind, int fd, int dirfd, const char* path) {
    Configure();
    if (kind != g_kind || t_inside) return 0;
    t_inside = 1;
    const int counts = path != NULL ? PathCounts(dirfd, path) : FdCounts(fd);
    t_inside = 0;
    if (!counts) return 0;
    const long n = __atomic_add_fetch(&g_calls, 1, __ATOMIC_SEQ_CST);
    if (g_failAt <= 0) return 0;
    if (n == g_failAt || (g_sticky && n > g_failAt)) {
        __atomic_add_fetch(&g_fired, 1, __ATOMIC_SEQ_CST);
        return 1;
    }
    return 0;
}

__attribute__((destructor)) static void Report(void) {
    const char* report = getenv("FAULT_REPORT");
    if (report == NULL) return;
    t_inside = 1;
    FILE* f = fopen(report, "w");
    if (f == NULL) return;
    fprintf(f, "calls=%ld fired=%ld\n", g_calls, g_fired);
    fclose(f);
}

#define FAIL_WITH(value) \
    do {                 \
        errno = g_errno; \
        return value;    \
    } while (0)

ssize_t read(int fd, void* buf, size_t count) {
    static ssize_t (*real)(int, void*, size_t);
    if (!real) real = Real("read");
    if (ShouldFail(kRead, fd, 0, NULL)) FAIL_WITH(-1);
    return real(fd, buf, count);
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
    static ssize_t (*real)(int, void*, size_t, off_t);
    if (!real) real = Real("pread");
    if (ShouldFail(kRead, fd, 0, NULL)) FAIL_WITH(-1);
    return real(fd, buf, count, offset);
}

ssize_t pread64(int fd, void* buf, size_t count, off_t offset) {
    return pread(fd, buf, count, offset);
}

// A short write puts down part of the data and says so, as a nearly full disk does.
static size_t ShortCount(size_t count) {
    return count > 1 ? count / 2 : 0;
}

ssize_t write(int fd, const void* buf, size_t count) {
    static ssize_t (*real)(int, const void*, size_t);
    if (!real) real = Real("write");
    if (ShouldFail(kWrite, fd, 0, NULL)) {
        if (!g_short) FAIL_WITH(-1);
        const size_t part = ShortCount(count);
        if (part == 0) FAIL_WITH(-1);
        return real(fd, buf, part);
    }
    return real(fd, buf, count);
}

ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) {
    static ssize_t (*real)(int, const void*, size_t, off_t);
    if (!real) real = Real("pwrite");
    if (ShouldFail(kWrite, fd, 0, NULL)) {
        if (!g_short) FAIL_WITH(-1);
        const size_t part = ShortCount(count);
        if (part == 0) FAIL_WITH(-1);
        return real(fd, buf, part, offset);
    }
    return real(fd, buf, count, offset);
}

ssize_t pwrite64(int fd, const void* buf, size_t count, off_t offset) {
    return pwrite(fd, buf, count, offset);
}

ssize_t copy_file_range(int in, loff_t* inOffset, int out, loff_t* outOffset, size_t count,
                        unsigned flags) {
    static ssize_t (*real)(int, loff_t*, int, loff_t*, size_t, unsigned);
    if (!real) real = Real("copy_file_range");
    // The kernel copy reads too: a failing source shows here.
    if (ShouldFail(kRead, in, 0, NULL)) FAIL_WITH(-1);
    if (ShouldFail(kWrite, out, 0, NULL)) {
        if (!g_short) FAIL_WITH(-1);
        const size_t part = ShortCount(count);
        if (part == 0) FAIL_WITH(-1);
        return real(in, inOffset, out, outOffset, part, flags);
    }
    return real(in, inOffset, out, outOffset, count, flags);
}

int fsync(int fd) {
    static int (*real)(int);
    if (!real) real = Real("fsync");
    if (ShouldFail(kSync, fd, 0, NULL)) FAIL_WITH(-1);
    return real(fd);
}

int fdatasync(int fd) {
    static int (*real)(int);
    if (!real) real = Real("fdatasync");
    if (ShouldFail(kSync, fd, 0, NULL)) FAIL_WITH(-1);
    return real(fd);
}

int syncfs(int fd) {
    static int (*real)(int);
    if (!real) real = Real("syncfs");
    if (ShouldFail(kSync, fd, 0, NULL)) FAIL_WITH(-1);
    return real(fd);
}

// Linux closes the descriptor even when close reports an error.
int close(int fd) {
    static int (*real)(int);
    if (!real) real = Real("close");
    if (ShouldFail(kClose, fd, 0, NULL)) {
        real(fd);
        FAIL_WITH(-1);
    }
    return real(fd);
}

int rename(const char* from, const char* to) {
    static int (*real)(const char*, const char*);
    if (!real) real = Real("rename");
    if (ShouldFail(kRename, 0, AT_FDCWD, to)) FAIL_WITH(-1);
    return real(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    static int (*real)(int, const char*, int, const char*);
    if (!real) real = Real("renameat");
    if (ShouldFail(kRename, 0, toDir, to)) FAIL_WITH(-1);
    return real(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    static int (*real)(int, const char*, int, const char*, unsigned);
    if (!real) real = Real("renameat2");
    if (ShouldFail(kRename, 0, toDir, to)) FAIL_WITH(-1);
    return real(fromDir, from, toDir, to, flags);
}

// Linking an unnamed temporary file into place is how some saves commit: it
// counts with the renames.
int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    static int (*real)(int, const char*, int, const char*, int);
    if (!real) real = Real("linkat");
    if (ShouldFail(kRename, 0, toDir, to)) FAIL_WITH(-1);
    return real(fromDir, from, toDir, to, flags);
}

int unlink(const char* path) {
    static int (*real)(const char*);
    if (!real) real = Real("unlink");
    if (ShouldFail(kUnlink, 0, AT_FDCWD, path)) FAIL_WITH(-1);
    return real(path);
}

int unlinkat(int dir, const char* path, int flags) {
    static int (*real)(int, const char*, int);
    if (!real) real = Real("unlinkat");
    if (ShouldFail(kUnlink, 0, dir, path)) FAIL_WITH(-1);
    return real(dir, path, flags);
}

int rmdir(const char* path) {
    static int (*real)(const char*);
    if (!real) real = Real("rmdir");
    if (ShouldFail(kUnlink, 0, AT_FDCWD, path)) FAIL_WITH(-1);
    return real(path);
}

int mkdir(const char* path, mode_t mode) {
    static int (*real)(const char*, mode_t);
    if (!real) real = Real("mkdir");
    if (ShouldFail(kMkdir, 0, AT_FDCWD, path)) FAIL_WITH(-1);
    return real(path, mode);
}

int mkdirat(int dir, const char* path, mode_t mode) {
    static int (*real)(int, const char*, mode_t);
    if (!real) real = Real("mkdirat");
    if (ShouldFail(kMkdir, 0, dir, path)) FAIL_WITH(-1);
    return real(dir, path, mode);
}

// O_TMPFILE carries O_DIRECTORY, so it needs a mode as O_CREAT does.
static mode_t ModeArgument(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & __O_TMPFILE) == __O_TMPFILE ? va_arg(args, mode_t) : 0;
}

int open(const char* path, int flags, ...) {
    static int (*real)(const char*, int, ...);
    if (!real) real = Real("open");
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    if (ShouldFail(kOpen, 0, AT_FDCWD, path)) FAIL_WITH(-1);
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    static int (*real)(const char*, int, ...);
    if (!real) real = Real("open64");
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    if (ShouldFail(kOpen, 0, AT_FDCWD, path)) FAIL_WITH(-1);
    return real(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    static int (*real)(int, const char*, int, ...);
    if (!real) real = Real("openat");
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    if (ShouldFail(kOpen, 0, dir, path)) FAIL_WITH(-1);
    return real(dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
    static int (*real)(int, const char*, int, ...);
    if (!real) real = Real("openat64");
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    if (ShouldFail(kOpen, 0, dir, path)) FAIL_WITH(-1);
    return real(dir, path, flags, mode);
}
