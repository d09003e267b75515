// A file system for tests and benchmarks that behaves like a slow device.
//
//   slowfs BACKING MOUNTPOINT LATENCY_MS WRITE_RATE HANG_FILE SHARE
//
// Every operation passes through to BACKING after LATENCY_MS; writes also wait
// as long as WRITE_RATE (bytes a second, 0 for no limit) takes to carry their
// bytes. While the file HANG_FILE exists, every operation waits until it is
// removed: the device hangs. When the file names an operation ("rename"),
// only that one waits. SHARE 1 mounts it with the type of a network
// share, so the program lists it as a network drive. The kernel keeps no
// attributes or names in its cache, so every look-up reaches the device, and
// operations wait side by side, as on a share, with one exception: the
// kernel looks up names that are not there one at a time in a directory,
// since this library (libfuse 3.14) never passes on the wish for parallel
// directory operations (its reply to the kernel lacks the flag; measured:
// 32 such look-ups at once take 330 ms, 32 of names that are there 24 ms).
// Runs in the foreground until unmounted (umount MOUNTPOINT).
//
// A device that fails: with SLOWFS_FAIL_KIND set (read | write | sync | close |
// rename | unlink | open | mkdir | stat), the SLOWFS_FAIL_N-th call of that kind
// (1-based; 0 only counts) answers SLOWFS_FAIL_ERRNO (EIO, ENOSPC, EDQUOT, or
// SHORT: a write that takes half its bytes), and with SLOWFS_FAIL_STICKY=1
// every call from then on. At unmount SLOWFS_FAIL_REPORT receives
// "calls=C fired=F". The errors come back through whatever path the program
// uses, its ring included, which a preloaded library cannot reach. "sync" is
// fsync of files and directories, "close" the flush a close asks for, "rename"
// also link, "unlink" also rmdir, "open" also create, "stat" every look-up
// and attribute read but the root's (so that the device is seen mounted).
#define _GNU_SOURCE
#define FUSE_USE_VERSION 31

#include <fuse.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

static const char* backing;
static const char* hangFile;
static double latency;  // seconds
static double writeRate;

static void Sleep(double seconds) {
    if (seconds <= 0) return;
    struct timespec ts = {(time_t)seconds, (long)((seconds - (time_t)seconds) * 1e9)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

static int Hangs(const char* op) {
    FILE* f = fopen(hangFile, "r");
    if (!f) return 0;
    char only[32];
    const int named = fscanf(f, "%31s", only) == 1;
    fclose(f);
    return !named || strcmp(only, op) == 0;
}

static void Wait(const char* op, size_t bytes) {
    while (Hangs(op))
        Sleep(0.02);
    Sleep(latency + (writeRate > 0 ? (double)bytes / writeRate : 0));
}

static void Host(char* out, const char* path) {
    snprintf(out, PATH_MAX, "%s%s", backing, path);
}

#define HOST(name, path) \
    char name[PATH_MAX]; \
    Host(name, path)
#define CHECK(call) return (call) < 0 ? -errno : 0

enum Kind { kRead, kWrite, kSync, kClose, kRename, kUnlink, kOpen, kMkdir, kStat, kNone };
static const char* const kKindNames[] = {"read",   "write", "sync",  "close", "rename",
                                         "unlink", "open",  "mkdir", "stat"};
static enum Kind failKind = kNone;
static long failAt, calls, fired;
static int failErrno = EIO, failShort, failSticky;

static void ConfigureFaults(void) {
    const char* kind = getenv("SLOWFS_FAIL_KIND");
    for (int k = 0; kind && k < kNone; ++k)
        if (strcmp(kind, kKindNames[k]) == 0) failKind = (enum Kind)k;
    const char* n = getenv("SLOWFS_FAIL_N");
    failAt = n ? atol(n) : 0;
    const char* err = getenv("SLOWFS_FAIL_ERRNO");
    if (err && strcmp(err, "ENOSPC") == 0) failErrno = ENOSPC;
    if (err && strcmp(err, "EDQUOT") == 0) failErrno = EDQUOT;
    failShort = err && strcmp(err, "SHORT") == 0;
    const char* sticky = getenv("SLOWFS_FAIL_STICKY");
    failSticky = sticky && atoi(sticky) == 1;
}

// 0, or the error this call of KIND answers; *isShort for a short write.
static int Fault(enum Kind kind, int* isShort) {
    if (kind != failKind) return 0;
    const long nth = __atomic_add_fetch(&calls, 1, __ATOMIC_SEQ_CST);
    if (failAt <= 0 || nth < failAt || (nth > failAt && !failSticky)) return 0;
    __atomic_add_fetch(&fired, 1, __ATOMIC_SEQ_CST);
    if (failShort && isShort) {
        *isShort = 1;
        return 0;
    }
    return -(failShort ? EIO : failErrno);
}

#define FAULT(kind)                           \
    do {                                      \
        const int fault_ = Fault(kind, NULL); \
        if (fault_) return fault_;            \
    } while (0)

static void Destroy(void* data) {
    (void)data;
    const char* report = getenv("SLOWFS_FAIL_REPORT");
    FILE* f = report ? fopen(report, "w") : NULL;
    if (!f) return;
    fprintf(f, "calls=%ld fired=%ld\n", calls, fired);
    fclose(f);
}

static void* Init(struct fuse_conn_info* conn, struct fuse_config* cfg) {
    // Asked for, as a share would have it; not passed on (see the top).
    if (conn->capable & FUSE_CAP_PARALLEL_DIROPS) conn->want |= FUSE_CAP_PARALLEL_DIROPS;
    cfg->attr_timeout = 0;
    cfg->entry_timeout = 0;
    cfg->negative_timeout = 0;
    cfg->use_ino = 1;
    return NULL;
}

static int GetAttr(const char* path, struct stat* st, struct fuse_file_info* fi) {
    Wait("getattr", 0);
    if (strcmp(path, "/") != 0) FAULT(kStat);
    if (fi) CHECK(fstat((int)fi->fh, st));
    HOST(h, path);
    CHECK(lstat(h, st));
}

static int Access(const char* path, int mask) {
    Wait("access", 0);
    HOST(h, path);
    CHECK(access(h, mask));
}

static int ReadLink(const char* path, char* buf, size_t size) {
    Wait("readlink", 0);
    HOST(h, path);
    const ssize_t n = readlink(h, buf, size - 1);
    if (n < 0) return -errno;
    buf[n] = '\0';
    return 0;
}

static int ReadDir(const char* path, void* buf, fuse_fill_dir_t fill, off_t offset,
                   struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
    (void)offset, (void)fi, (void)flags;
    Wait("readdir", 0);
    HOST(h, path);
    DIR* dir = opendir(h);
    if (!dir) return -errno;
    for (struct dirent* e; (e = readdir(dir));) {
        struct stat st = {0};
        st.st_ino = e->d_ino;
        st.st_mode = (mode_t)DTTOIF(e->d_type);
        if (fill(buf, e->d_name, &st, 0, 0)) break;
    }
    closedir(dir);
    return 0;
}

static int MkDir(const char* path, mode_t mode) {
    Wait("mkdir", 0);
    FAULT(kMkdir);
    HOST(h, path);
    CHECK(mkdir(h, mode));
}

static int Unlink(const char* path) {
    Wait("unlink", 0);
    FAULT(kUnlink);
    HOST(h, path);
    CHECK(unlink(h));
}

static int RmDir(const char* path) {
    Wait("rmdir", 0);
    FAULT(kUnlink);
    HOST(h, path);
    CHECK(rmdir(h));
}

static int SymLink(const char* target, const char* link) {
    Wait("symlink", 0);
    HOST(h, link);
    CHECK(symlink(target, h));
}

static int Rename(const char* from, const char* to, unsigned int flags) {
    Wait("rename", 0);
    FAULT(kRename);
    HOST(a, from);
    HOST(b, to);
    CHECK(renameat2(AT_FDCWD, a, AT_FDCWD, b, flags));
}

static int SetXattr(const char* path, const char* name, const char* value, size_t size, int flags) {
    Wait("setxattr", 0);
    HOST(h, path);
    CHECK(lsetxattr(h, name, value, size, flags));
}

static int GetXattr(const char* path, const char* name, char* value, size_t size) {
    Wait("getxattr", 0);
    HOST(h, path);
    const ssize_t n = lgetxattr(h, name, value, size);
    return n < 0 ? -errno : (int)n;
}

static int RemoveXattr(const char* path, const char* name) {
    Wait("removexattr", 0);
    HOST(h, path);
    CHECK(lremovexattr(h, name));
}

static int Link(const char* from, const char* to) {
    Wait("link", 0);
    FAULT(kRename);
    HOST(a, from);
    HOST(b, to);
    CHECK(link(a, b));
}

static int ChMod(const char* path, mode_t mode, struct fuse_file_info* fi) {
    Wait("chmod", 0);
    if (fi) CHECK(fchmod((int)fi->fh, mode));
    HOST(h, path);
    CHECK(chmod(h, mode));
}

static int ChOwn(const char* path, uid_t uid, gid_t gid, struct fuse_file_info* fi) {
    (void)fi;
    Wait("chown", 0);
    HOST(h, path);
    CHECK(lchown(h, uid, gid));
}

static int Truncate(const char* path, off_t size, struct fuse_file_info* fi) {
    Wait("truncate", 0);
    if (fi) CHECK(ftruncate((int)fi->fh, size));
    HOST(h, path);
    CHECK(truncate(h, size));
}

static int UTimens(const char* path, const struct timespec ts[2], struct fuse_file_info* fi) {
    Wait("utimens", 0);
    if (fi) CHECK(futimens((int)fi->fh, ts));
    HOST(h, path);
    CHECK(utimensat(AT_FDCWD, h, ts, AT_SYMLINK_NOFOLLOW));
}

static int Create(const char* path, mode_t mode, struct fuse_file_info* fi) {
    Wait("create", 0);
    FAULT(kOpen);
    HOST(h, path);
    const int fd = open(h, fi->flags, mode);
    if (fd < 0) return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int Open(const char* path, struct fuse_file_info* fi) {
    Wait("open", 0);
    FAULT(kOpen);
    HOST(h, path);
    const int fd = open(h, fi->flags);
    if (fd < 0) return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int Read(const char* path, char* buf, size_t size, off_t offset, struct fuse_file_info* fi) {
    (void)path;
    Wait("read", 0);
    FAULT(kRead);
    const ssize_t n = pread((int)fi->fh, buf, size, offset);
    return n < 0 ? -errno : (int)n;
}

static int Write(const char* path, const char* buf, size_t size, off_t offset,
                 struct fuse_file_info* fi) {
    (void)path;
    Wait("write", size);
    int isShort = 0;
    const int fault = Fault(kWrite, &isShort);
    if (fault) return fault;
    if (isShort && size > 1) size /= 2;
    const ssize_t n = pwrite((int)fi->fh, buf, size, offset);
    return n < 0 ? -errno : (int)n;
}

static int StatFs(const char* path, struct statvfs* st) {
    Wait("statfs", 0);
    HOST(h, path);
    CHECK(statvfs(h, st));
}

static int Release(const char* path, struct fuse_file_info* fi) {
    (void)path;
    close((int)fi->fh);
    return 0;
}

static int FSync(const char* path, int datasync, struct fuse_file_info* fi) {
    (void)path;
    Wait("fsync", 0);
    FAULT(kSync);
    CHECK(datasync ? fdatasync((int)fi->fh) : fsync((int)fi->fh));
}

// Registered only while closes or directory flushes are to fail: without
// them the kernel asks neither, as it did before.
static int Flush(const char* path, struct fuse_file_info* fi) {
    (void)path, (void)fi;
    FAULT(kClose);
    return 0;
}

static int FSyncDir(const char* path, int datasync, struct fuse_file_info* fi) {
    (void)datasync, (void)fi;
    FAULT(kSync);
    HOST(h, path);
    const int fd = open(h, O_RDONLY | O_DIRECTORY);
    if (fd < 0) return -errno;
    const int rc = fsync(fd);
    const int err = errno;
    close(fd);
    return rc < 0 ? -err : 0;
}

static struct fuse_operations ops = {
    .getattr = GetAttr,
    .readlink = ReadLink,
    .mkdir = MkDir,
    .unlink = Unlink,
    .rmdir = RmDir,
    .symlink = SymLink,
    .rename = Rename,
    .link = Link,
    .chmod = ChMod,
    .chown = ChOwn,
    .truncate = Truncate,
    .open = Open,
    .read = Read,
    .write = Write,
    .statfs = StatFs,
    .release = Release,
    .fsync = FSync,
    .readdir = ReadDir,
    .init = Init,
    .access = Access,
    .create = Create,
    .utimens = UTimens,
    .setxattr = SetXattr,
    .getxattr = GetXattr,
    .removexattr = RemoveXattr,
    .destroy = Destroy,
};

int main(int argc, char** argv) {
    if (argc != 7) {
        fprintf(stderr, "usage: %s BACKING MOUNTPOINT LATENCY_MS WRITE_RATE HANG_FILE SHARE\n",
                argv[0]);
        return 2;
    }
    static char root[PATH_MAX];
    if (!realpath(argv[1], root)) {
        perror(argv[1]);
        return 1;
    }
    backing = root;
    latency = atof(argv[3]) / 1000.0;
    writeRate = atof(argv[4]);
    hangFile = argv[5];
    const char* options = atoi(argv[6]) ? "max_threads=512,allow_other,fsname=slowfs,"
                                          "subtype=sshfs"
                                        : "max_threads=512,allow_other,fsname=slowfs";
    char* args[] = {argv[0], argv[2], "-f", "-o", (char*)options, NULL};
    ConfigureFaults();
    if (failKind == kClose) ops.flush = Flush;
    if (failKind == kSync) ops.fsyncdir = FSyncDir;
    umask(0);
    return fuse_main(5, args, &ops, NULL);
}
