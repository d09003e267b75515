// Queueing: the ticked entries of one pane become rows of the table.

#include "queue/QueueSession.h"

#include "platform/Dialogs.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Pump.h"
#include "queue/TreeWalk.h"
#include "queue/Vocabulary.h"

#include <QScopeGuard>
#include <QStringList>

#include <cerrno>
#include <exception>

namespace queue {
namespace {

const QChar Separator = u'\\';

// The busy cursor for the length of a command, whatever way it ends.
class BusyCursor {
public:
    explicit BusyCursor(QueueWindow& window) : window_(window) { window_.SetBusyCursor(true); }
    ~BusyCursor() { window_.SetBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    QueueWindow& window_;
};

bool IsDotText(const QString& text) {
    return text == QLatin1String("[.]") || text == QLatin1String("[..]");
}

// The name of a directory entry: the text inside its brackets.
QString DirectoryName(const QString& text) {
    if (text.size() >= 2 && text.startsWith(u'[') && text.endsWith(u']'))
        return text.mid(1, text.size() - 2);
    return text;
}

// Only these answers mean anything to the rest of the command; whatever else
// a dialog might return is taken as the box being closed.
std::int32_t KnownAnswer(int answer) {
    switch (answer) {
        case platform::mrYes:
        case platform::mrNo:
        case platform::mrCancel:
        case platform::mrNoToAll:
        case platform::mrYesToAll:
            return answer;
        default:
            return platform::mrCancel;
    }
}

}  // namespace

QueueSession::QueueSession(QueueWindow& window)
    : window_(window), runner_(table_, counters_, window) {}

QueueWindow& QueueSession::NoWindow() {
    static NoQueueWindow none;
    return none;
}

void QueueSession::CountPending() {
    table_.CountPending(counters_);
}

QueueStatistics QueueSession::Statistics() const {
    return ComputeStatistics(State(), counters_, platform::Now());
}

std::optional<bool> QueueSession::TargetExists(const QString& dir, const QString& target) {
    if (targetDirs_) {
        auto known = targetDirs_->constFind(dir);
        if (known == targetDirs_->cend()) {
            const platform::Result<void> entered = platform::CanEnterDirectory(dir);
            known = targetDirs_->insert(dir, entered ? 0 : entered.error().code);
        }
        if (*known == ETIMEDOUT) return std::nullopt;
        if (*known != 0) return false;
    }
    return platform::AskFileExists(target);
}

bool QueueSession::QueueFile(const QString& sourceDir, const QString& fileName,
                             const QString& targetDir, const QString& action,
                             const platform::DirectoryId* sourceDirId,
                             std::optional<std::int64_t> size) {
    if (table_.IsQueued(sourceDir, fileName, targetDir)) return false;
    if (overwriteAnswer_ == platform::mrCancel) return false;

    const QString target = targetDir + Separator + fileName;
    const std::optional<bool> exists = TargetExists(targetDir, target);
    // What might be overwritten without a word is not queued.
    if (!exists) return false;
    if (*exists) {
        if (overwriteAnswer_ != platform::mrYesToAll && overwriteAnswer_ != platform::mrNoToAll) {
            overwriteAnswer_ = KnownAnswer(platform::MessageDlg(
                target + QStringLiteral(" exists, do you want to override it?"),
                platform::MsgKind::Confirmation,
                platform::mbYes | platform::mbNo | platform::mbCancel | platform::mbNoToAll |
                    platform::mbYesToAll));
        }
        if (overwriteAnswer_ == platform::mrCancel || overwriteAnswer_ == platform::mrNo ||
            overwriteAnswer_ == platform::mrNoToAll) {
            return false;
        }
    }

    if (!size) size = platform::FileSizeOf(sourceDir + Separator + fileName);
    const int row =
        table_.AppendJob(QueueJob{sourceDir, fileName, targetDir, *size, action, StatusPending});
    if (sourceDirId) runner_.RememberSourceDir(table_.Grid().RowSerial(row), *sourceDirId);
    return true;
}

void QueueSession::QueueRemoveDir(const QString& dir, const QString& action) {
    table_.AppendJob(QueueJob{dir, QString(), QString(), std::nullopt, action, StatusPending});
}

void QueueSession::QueueSelected(const QueueRequest& request) {
    const QString& sourceDir = request.sourceDir;
    const QString& targetDir = request.targetDir;
    if (sourceDir == targetDir) {
        platform::MessageDlg(QStringLiteral("Source and target directories cannot be the same"),
                             platform::MsgKind::Confirmation, platform::mbOK);
        return;
    }

    int added = 0;
    int notAdded = 0;
    std::exception_ptr unreadable;
    overwriteAnswer_ = 0;
    targetDirs_.emplace();
    const auto forget = qScopeGuard([this] { targetDirs_.reset(); });
    // The window paints the rows as they come and answers its buttons while
    // a large tree is queued; the walk before pumps on its own.
    platform::PacedPump pump;
    const auto count = [&](bool queued) {
        ++(queued ? added : notAdded);
        pump.Step();
    };
    {
        BusyCursor busy(window_);
        const int entries = static_cast<int>(request.entries.size());
        for (int i = 0; i < entries; ++i) {
            const QueueEntry& entry = request.entries[static_cast<std::size_t>(i)];
            if (!entry.ticked) continue;
            if (request.untick) request.untick(i);
            if (!entry.isDirectory) {
                count(QueueFile(sourceDir, entry.text, targetDir, request.action));
                continue;
            }
            if (IsDotText(entry.text)) continue;

            const QString dirPath = platform::JoinPath(sourceDir, DirectoryName(entry.text));
            QStringList dirs;
            QStringList files;
            DirectoryIds ids;
            std::vector<std::int64_t> sizes;
            CollectTree(dirPath, QStringLiteral("*.*"), dirs, files, &ids, &sizes);
            for (qsizetype f = 0; f < files.size(); ++f) {
                const QString& file = files[f];
                const qsizetype cut = file.lastIndexOf(Separator);
                // A root keeps its separator: C:\ holds C:\a.txt.
                const QString fileDir = file.left(cut == 2 ? 3 : cut);
                const QString fileName = file.mid(cut + 1);
                // Where the file lies below the source directory: "Dir\Sub".
                QString rel = fileDir.mid(sourceDir.size());
                if (rel.startsWith(Separator)) rel.remove(0, 1);
                const auto id = ids.constFind(fileDir);
                count(QueueFile(fileDir, fileName, platform::JoinPath(targetDir, rel),
                                request.action, id != ids.cend() ? &*id : nullptr,
                                sizes[std::size_t(f)]));
            }
            if (request.action == ActionMove) QueueRemoveDir(dirPath, ActionRemoveDir);
        }

        unreadable = CountPendingDeferringFailure(table_, counters_);
        window_.RefreshStatistics();
        window_.RefreshQueueView();
    }

    QString summary = QString::number(added) + QStringLiteral(" files added to queue");
    if (notAdded > 0) {
        summary += QStringLiteral(", ") + QString::number(notAdded) +
                   QStringLiteral(" files not added to queue");
    }
    platform::MessageDlg(summary, platform::MsgKind::Information, platform::mbOK);
    if (unreadable) std::rethrow_exception(unreadable);
}

}  // namespace queue
