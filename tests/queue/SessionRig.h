#pragma once
// A queue session on temporary drives, with a window that records what the
// engine asked of it.

#include "platform/Pump.h"
#include "queue/QueueSession.h"
#include "queue/Vocabulary.h"
#include "support/TempDrives.h"

#include <QStringList>

#include <functional>
#include <ostream>

// Readable failure messages for texts and lists of texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace testsupport {

class RecordingWindow : public queue::QueueWindow {
public:
    void RefreshStatistics() override { calls << QStringLiteral("statistics"); }
    void RefreshQueueView() override { calls << QStringLiteral("view"); }
    void SetQueueTimer(bool enabled) override {
        timerOn = enabled;
        calls << (enabled ? QStringLiteral("timer on") : QStringLiteral("timer off"));
    }
    void RepaintDirectoryLists() override { calls << QStringLiteral("repaint lists"); }
    void RereadPanes() override { calls << QStringLiteral("reread panes"); }
    void SetBusyCursor(bool busy) override {
        calls << (busy ? QStringLiteral("busy") : QStringLiteral("normal"));
    }

    QStringList calls;
    bool timerOn = false;
};

struct SessionRig {
    SessionRig() { platform::SetPumpHook({}); }
    ~SessionRig() { platform::SetPumpHook({}); }

    queue::QueueTable& Table() { return session.Table(); }

    // A pending job with the size of its source as it is now.
    void Job(const QString& sourceDir, const QString& fileName, const QString& targetDir,
             const QString& action = queue::ActionCopy) {
        const QString source = sourceDir + u'\\' + fileName;
        const std::int64_t size = drives.exists(source) ? drives.readFile(source).size() : -1;
        Table().AppendJob(
            queue::QueueJob{sourceDir, fileName, targetDir, size, action, queue::StatusPending});
    }

    // Every data row as "source|file|target|action|status".
    QStringList Rows() {
        QStringList out;
        for (int r = 1; r < Table().RowCount(); ++r) {
            QStringList cells;
            for (int c : {queue::colSourceDir, queue::colFileName, queue::colTargetDir,
                          queue::colAction, queue::colStatus})
                cells << Table().Cell(c, r);
            out << cells.join(u'|');
        }
        return out;
    }

    void AtPump(std::function<void(std::int64_t)> hook) { platform::SetPumpHook(std::move(hook)); }

    TempDrives drives;
    RecordingWindow window;
    queue::QueueSession session{window};
};

}  // namespace testsupport
