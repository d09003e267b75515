// Removals of trees built to lead them astray.
//
//   hostile list                  the cases, one a line
//   hostile DIR CASE removedir|delete|move
//
// DIR (empty, on a file system of its own or not) becomes drive C:. Beside
// the tree C:\tree lie canaries: a directory and a file that links inside the
// tree point to, a directory bind-mounted inside it, a FIFO linked into it.
// "removedir" is the removal of a moved directory (no force: it must refuse a
// tree that still holds a file), "delete" the panes' delete (force), "move"
// the tree ticked and queued as a move to drive D: (DIR/target), then run. Prints
// "removed=0|1 reported=0|1 lost=N fifo_opened=0|1"; lost counts canaries gone or changed,
// and for "removedir" and "move" also the tree's own files (a moved one may
// be at its target). For "move", reported=1 means the run left no row.

#include "reliability/Harness.h"

#include "platform/Guard.h"
#include "platform/Pump.h"
#include "queue/QueueSession.h"
#include "queue/TreeWalk.h"
#include "queue/Vocabulary.h"

#include <QFile>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace reliability {

namespace {

const char* const kCases[] = {"plain",  "dirlink", "filelink", "bindmount", "mount", "fifo",
                              "socket", "noperm",  "deep",     "names",     "swap"};

constexpr int kDeepLevels = 3000;
constexpr std::int64_t kCanarySize = 5000;

// A file relative to the workspace, with the name its content was made from
// (the two differ once the file has been moved).
struct Planted {
    QByteArray path;
    QByteArray key;
    // Where a move of the tree may have taken it instead (the content of a
    // file system mounted inside the tree); empty when it must stay.
    QByteArray movedTo = {};
};

struct Workspace {
    QByteArray root;
    // Each must still hold its content afterwards.
    std::vector<Planted> canaries;
    // Files inside the tree, kept by a removal without force.
    std::vector<Planted> treeFiles;
    QByteArray bindTarget;
};

// Descends by open directory handles so that paths longer than the system's
// limit (the deep tree) can be made and checked.
int OpenDirectory(int parent, const QByteArray& name) {
    return ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool MakeFile(int dir, const QByteArray& name, const QByteArray& key) {
    const int fd = ::openat(dir, name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const QByteArray bytes = Content(key, kCanarySize);
    const bool ok = ::write(fd, bytes.constData(), bytes.size()) == bytes.size();
    return ::close(fd) == 0 && ok;
}

// The file at a relative path (no links followed on the way) holds its content.
bool Intact(const QByteArray& root, const Planted& file) {
    const QList<QByteArray> parts = file.path.split('/');
    int dir = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (qsizetype i = 0; dir >= 0 && i + 1 < parts.size(); ++i) {
        const int next = OpenDirectory(dir, parts[i]);
        ::close(dir);
        dir = next;
    }
    if (dir < 0) return false;
    const int fd = ::openat(dir, parts.last().constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    ::close(dir);
    if (fd < 0) return false;
    QByteArray got(kCanarySize + 1, Qt::Uninitialized);
    const ssize_t n = ::read(fd, got.data(), got.size());
    ::close(fd);
    return n == kCanarySize && got.left(n) == Content(file.key, kCanarySize);
}

// A file at root/relative, parents created, recorded in list.
bool AddFile(Workspace& w, const QByteArray& relative, std::vector<Planted>& list) {
    const QList<QByteArray> parts = relative.split('/');
    int dir = ::open(w.root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (qsizetype i = 0; dir >= 0 && i + 1 < parts.size(); ++i) {
        ::mkdirat(dir, parts[i].constData(), 0755);
        const int next = OpenDirectory(dir, parts[i]);
        ::close(dir);
        dir = next;
    }
    if (dir < 0) return false;
    const bool ok = MakeFile(dir, parts.last(), relative);
    ::close(dir);
    if (ok) list.push_back({relative, relative});
    return ok;
}

bool Link(const Workspace& w, const QByteArray& target, const QByteArray& relative) {
    return ::symlink(target.constData(), (w.root + '/' + relative).constData()) == 0;
}

bool BuildDeep(Workspace& w) {
    int dir = ::open((w.root + "/tree").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QByteArray relative = "tree";
    for (int level = 0; dir >= 0 && level < kDeepLevels; ++level) {
        ::mkdirat(dir, "d", 0755);
        const int next = OpenDirectory(dir, "d");
        ::close(dir);
        dir = next;
        relative += "/d";
    }
    if (dir < 0) return false;
    relative += "/bottom";
    const bool ok = MakeFile(dir, "bottom", relative);
    ::close(dir);
    if (ok) w.treeFiles.push_back({relative, relative});
    return ok;
}

bool Build(Workspace& w, const QString& name, int& socketFd) {
    const QByteArray& r = w.root;
    bool ok = AddFile(w, "canary/one", w.canaries) && AddFile(w, "canary/sub/two", w.canaries) &&
              AddFile(w, "canaryfile", w.canaries) && AddFile(w, "tree/top", w.treeFiles) &&
              AddFile(w, "tree/sub/inner", w.treeFiles) &&
              ::mkfifo((r + "/probe").constData(), 0644) == 0;
    if (!ok) return false;
    if (name == QLatin1String("dirlink")) return Link(w, r + "/canary", "tree/sub/to_canary");
    if (name == QLatin1String("filelink")) return Link(w, r + "/canaryfile", "tree/sub/to_file");
    if (name == QLatin1String("bindmount")) {
        if (!AddFile(w, "bound/three", w.canaries)) return false;
        w.canaries.back().movedTo = "target/tree/sub/mnt/three";
        w.bindTarget = r + "/tree/sub/mnt";
        return ::mkdir(w.bindTarget.constData(), 0755) == 0 &&
               ::mount((r + "/bound").constData(), w.bindTarget.constData(), nullptr, MS_BIND,
                       nullptr) == 0;
    }
    if (name == QLatin1String("mount")) {
        // Another file system mounted inside the tree, with files of its own.
        w.bindTarget = r + "/tree/sub/other";
        if (::mkdir(w.bindTarget.constData(), 0755) != 0 ||
            ::mount("ferrovant-reliability", w.bindTarget.constData(), "tmpfs", 0, "size=1m") != 0)
            return false;
        const QByteArray relative = "tree/sub/other/four";
        const int dir = ::open(w.bindTarget.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool made = dir >= 0 && MakeFile(dir, "four", relative);
        if (dir >= 0) ::close(dir);
        if (made) w.canaries.push_back({relative, relative, "target/" + relative});
        return made;
    }
    if (name == QLatin1String("fifo"))
        return ::link((r + "/probe").constData(), (r + "/tree/sub/fifo").constData()) == 0;
    if (name == QLatin1String("socket")) {
        socketFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = r + "/tree/sub/sock";
        if (path.size() >= qsizetype(sizeof address.sun_path)) return false;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.constData());
        return socketFd >= 0 &&
               ::bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    if (name == QLatin1String("noperm")) {
        return AddFile(w, "tree/locked/hidden", w.treeFiles) &&
               ::chmod((r + "/tree/locked").constData(), 0) == 0;
    }
    if (name == QLatin1String("deep")) return BuildDeep(w);
    if (name == QLatin1String("names")) {
        return AddFile(w, "tree/new\nline", w.treeFiles) &&
               AddFile(w, "tree/blank ", w.treeFiles) &&
               AddFile(w, "tree/bad \xff\xfe name", w.treeFiles) &&
               AddFile(w, "tree/dir\n/inside", w.treeFiles) &&
               AddFile(w, "tree/\xc3(dir/inside", w.treeFiles);
    }
    if (name == QLatin1String("swap")) {
        // What the swap will move out of the tree: its files become canaries.
        // The link then leads to files of the same names, as a swap aimed at
        // someone's own directory would.
        return AddFile(w, "tree/sub/deeper/more", w.treeFiles) &&
               AddFile(w, "tree/sub/deeper/most", w.treeFiles) &&
               AddFile(w, "lookalike/inner", w.canaries) &&
               AddFile(w, "lookalike/deeper/more", w.canaries) &&
               AddFile(w, "lookalike/deeper/most", w.canaries);
    }
    return name == QLatin1String("plain");
}

// While the walk pumps, another program replaces tree/sub by a link to the
// look-alike canaries. What was in tree/sub now lies outside the tree: a
// removal without force must keep it, a forced one may take it as rm would,
// since it was inside when the removal began.
void InstallSwap(Workspace& w, bool force) {
    const std::int64_t at = RandomBetween(1, 4);
    platform::SetPumpHook([&w, at, force](std::int64_t pump) {
        if (pump != at) return;
        const QByteArray moved = w.root + "/swapped";
        if (::rename((w.root + "/tree/sub").constData(), moved.constData()) != 0) return;
        ::symlink((w.root + "/lookalike").constData(), (w.root + "/tree/sub").constData());
        for (Planted& file : w.treeFiles) {
            if (!file.path.startsWith("tree/sub/")) continue;
            file.path = "swapped/" + file.path.mid(9);
            if (!force) w.canaries.push_back(file);
        }
    });
}

// The tree ticked in the left pane and queued as a move to D:\, then the run.
// True when the run left no row behind.
bool MoveTree() {
    AnsweringDialogs dialogs;
    platform::SetDialogProvider(&dialogs);
    QuietWindow window;
    queue::QueueSession session(window);
    queue::QueueRequest request;
    request.action = queue::ActionMove;
    request.sourceDir = QStringLiteral("C:\\");
    request.targetDir = QStringLiteral("D:\\");
    request.entries.push_back({QStringLiteral("[tree]"), true, true});
    request.untick = [](int) {};
    platform::Guard([&] {
        session.QueueSelected(request);
        session.Runner().btnStartClick();
    });
    platform::SetDialogProvider(nullptr);
    int left = 0;
    for (int row = 1; row < session.Table().RowCount(); ++row) {
        const queue::QueueTable& table = session.Table();
        if (table.Cell(queue::colFileName, row).isEmpty() &&
            table.Cell(queue::colAction, row).isEmpty())
            continue;
        ++left;
        std::fprintf(stderr, "row left: %s %s %s\n", qPrintable(table.Cell(queue::colAction, row)),
                     qPrintable(table.Cell(queue::colFileName, row)),
                     qPrintable(table.Cell(queue::colStatus, row)));
    }
    for (const QString& question : dialogs.asked)
        std::fprintf(stderr, "asked: %s\n", qPrintable(question.simplified()));
    return left == 0;
}

}  // namespace

int HostileTrees(const QStringList& args) {
    if (args.size() == 1 && args[0] == QLatin1String("list")) {
        for (const char* name : kCases)
            std::printf("%s\n", name);
        return 0;
    }
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: hostile list | hostile DIR CASE removedir|delete\n");
        return 2;
    }
    Workspace w;
    w.root = QFile::encodeName(args[0]);
    const QString name = args[1];
    const QString op = args[2];
    const bool move = op == QLatin1String("move");
    // A move ends in a removal without force of what it moved.
    const bool force = op == QLatin1String("delete");
    int socketFd = -1;
    if (!Build(w, name, socketFd)) {
        std::fprintf(stderr, "cannot build case %s\n", qPrintable(name));
        if (!w.bindTarget.isEmpty()) ::umount2(w.bindTarget.constData(), MNT_DETACH);
        return 3;
    }
    const QByteArray target = w.root + "/target";
    if (move && ::mkdir(target.constData(), 0755) != 0) return 3;
    InstallHostDrives({w.root, target});
    if (name == QLatin1String("swap")) InstallSwap(w, force);

    // Opening the FIFO for writing succeeds only while someone holds it open for reading.
    std::atomic<bool> stop{false};
    std::atomic<bool> fifoOpened{false};
    const QByteArray probe = w.root + "/probe";
    std::thread watcher([&] {
        while (!stop) {
            const int fd = ::open(probe.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                fifoOpened = true;
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    const bool removed = move ? MoveTree()
                              : queue::RemoveTree(QStringLiteral("C:\\tree"),
                                                  force ? queue::Force::Yes : queue::Force::No);
    platform::SetPumpHook({});
    stop = true;
    watcher.join();

    int lost = 0;
    for (const Planted& canary : w.canaries)
        if (!Intact(w.root, canary) &&
            !(move && !canary.movedTo.isEmpty() && Intact(w.root, {canary.movedTo, canary.key}))) {
            std::fprintf(stderr, "lost canary %s\n", canary.path.constData());
            ++lost;
        }
    if (!force) {
        // A moved file may be at its target instead.
        for (const Planted& file : w.treeFiles)
            if (!file.path.startsWith("swapped/") && !Intact(w.root, file) &&
                !(move && Intact(w.root, {"target/" + file.path, file.key}))) {
                std::fprintf(stderr, "lost tree file %s\n", file.path.constData());
                ++lost;
            }
    }
    const bool treeGone = !HostExists(w.root + "/tree");
    if (!w.bindTarget.isEmpty()) ::umount2(w.bindTarget.constData(), MNT_DETACH);
    if (socketFd >= 0) ::close(socketFd);
    std::printf("removed=%d reported=%d lost=%d fifo_opened=%d\n", treeGone ? 1 : 0,
                removed ? 1 : 0, lost, fifoOpened ? 1 : 0);
    return 0;
}

}  // namespace reliability
