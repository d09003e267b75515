// The main window's life: creation, first activation (load, then prepare),
// close (save), and the settings written when it is destroyed.
#include "app/MainUnit.h"

#include "app/DesktopProgress.h"

#include "panes/FileListBox.h"
#include "panes/FilePanels.h"
#include "persistence/ColumnWidths.h"
#include "persistence/FilePaths.h"
#include "persistence/Profile.h"
#include "persistence/QueueFile.h"
#include "persistence/QueueJournal.h"
#include "persistence/widgets/FormSize.h"
#include "platform/Dialogs.h"
#include "platform/FileSystem.h"
#include "platform/Guard.h"
#include "platform/Pump.h"
#include "platform/widgets/StringGridEx.h"
#include "queue/Vocabulary.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>

namespace app {

namespace {

constexpr int kAutosaveIntervalMs = 1000;

persistence::TColumnSize QueueColumnStore(const QString& settingsPath) {
    persistence::TColumnSize store;
    store.Section = QStringLiteral("QueueGrid");
    store.Key = settingsPath;
    return store;
}

}  // namespace

void TMainForm::FormCreate() {
    phase_ = Phase::Created;
    Panels->FirstActivation = true;
    settingsPath_ = files_.settings;
    FormSize->SaveName = settingsPath_;
    FormSize->RestorePlacementFully();
    persistence::LoadColumnWidths(session_.Table().Grid(), QueueColumnStore(settingsPath_));

    autosaveTimer_.setInterval(kAutosaveIntervalMs);
    connect(&autosaveTimer_, &QTimer::timeout, this, [this] { SaveQueueChanges(); });
    // A per-user directory that cannot be made is said at once; the close
    // tries again.
    platform::Guard([this] { MakeFileDirectories(); });
}

void TMainForm::MakeFileDirectories() {
    persistence::MakeOwnFileDirectories({files_.settings, files_.queue, files_.perUser});
}

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        platform::Guard([this] { FormActivate(); });
}

void TMainForm::FormActivate() {
    if (phase_ != Phase::Created) return;
    // Left before the load: a load that fails is not tried again.
    phase_ = Phase::Loading;
    Panels->FirstActivation = false;
    struct Opened {
        TMainForm* form;
        ~Opened() {
            const bool closeAsked = form->phase_ == Phase::CloseAfterLoad;
            form->phase_ = Phase::Open;
            if (closeAsked) QTimer::singleShot(0, form, [f = form] { f->close(); });
        }
    } opened{this};
    LoadSettingsAndQueue();
    PrepareMainWindow();
}

void TMainForm::LoadQueueRepainting() {
    // A long file is read with pumps that repaint the window but leave the
    // user's input waiting: nothing may act on a half-loaded queue. A close
    // asked for meanwhile comes once the queue is whole, so that its save
    // cannot write half of it over the file.
    // Ten repaints a second show the window alive; each one lengthens the load.
    platform::PacedPump pump(std::chrono::milliseconds(100), platform::PumpInput::Defer);
    persistence::LoadQueueFile(session_.Table(), files_.queue, [&] { pump.Step(); });
}

void TMainForm::LoadSettingsAndQueue() {
    persistence::Profile profile(settingsPath_);
    const auto paneDir = [&](const char* key) {
        const QString stored =
            profile.ProfileReadText(QStringLiteral("Files"), QString::fromLatin1(key), QString());
        return platform::DirectoryExists(stored) ? stored : files_.home;
    };
    Panels->DirList(panes::Side::Left).SetDirectory(paneDir("SourceDir"));
    Panels->DirList(panes::Side::Right).SetDirectory(paneDir("TargetDir"));
    Panels->SetFilePanelHeight(
        profile.ProfileReadInt(QStringLiteral("MainForm"), QStringLiteral("FilePanelHeight"), 250));
    profile.Release();

    const QFileInfo queueFile(files_.queue);
    if (queueFile.exists() && !queueFile.isDir()) {
        // The view would follow each of millions of cells; it reads the
        // table once when it is given back, also after a failed load.
        GridQueue->SetGrid(nullptr);
        struct Reattach {
            TMainForm* form;
            ~Reattach() { form->GridQueue->SetGrid(&form->session_.Table().Grid()); }
        } reattach{this};
        LoadQueueRepainting();
    }
    StartJournal();
}

void TMainForm::StartJournal() {
    journal_ = std::make_unique<persistence::QueueJournal>(
        session_.Table().Grid(), files_.queue, persistence::JournalPathFor(files_.queue));
    // What a crash left in the journal comes back before anything else runs.
    journal_->Recover();
    // A run's finished rows leave the journal on disk before their moved
    // sources are deleted.
    session_.Runner().SetDurableRecord([this] { return !journal_ || journal_->Flush(); });
    autosaveTimer_.start();
}

void TMainForm::PrepareMainWindow() {
    session_.Table().Grid().HideTableColumn(queue::colRealSize);
    session_.CountPending();
    RefreshStatistics();
    panes::TFilePanels& p = *Panels;
    for (panes::Side side : {panes::Side::Left, panes::Side::Right})
        p.PanelDirResize(side);
    for (panes::Side side : {panes::Side::Left, panes::Side::Right}) {
        p.DirList(side).ClearSelection();
        p.FileList(side).ClearSelection();
    }
    p.CleanFileLists();
    lblVersion->setText(QStringLiteral("Version ") + FileVersionText(3));
    // Sized to its text with the right edge where it was designed.
    const int right = lblVersion->geometry().right();
    const int width = lblVersion->sizeHint().width();
    lblVersion->setGeometry(right + 1 - width, lblVersion->y(), width, lblVersion->height());
    p.ShowFreeSpace();
}

bool TMainForm::FormClose() {
    // Files whose directory cannot be made can never be saved: the box says
    // why, and the window closes all the same rather than staying for good.
    if (!platform::Guard([this] { MakeFileDirectories(); })) {
        filesHaveNoPlace_ = true;
        return true;
    }
    return platform::Guard([this] { SaveSettingsAndQueue(); });
}

void TMainForm::SaveSettingsAndQueue() {
    persistence::Profile profile(files_.settings);
    profile.ProfileWriteText(QStringLiteral("Files"), QStringLiteral("SourceDir"),
                             Panels->DirList(panes::Side::Left).Directory());
    profile.ProfileWriteText(QStringLiteral("Files"), QStringLiteral("TargetDir"),
                             Panels->DirList(panes::Side::Right).Directory());
    profile.ProfileWriteInt(QStringLiteral("MainForm"), QStringLiteral("FilePanelHeight"),
                            Panels->FilePanelHeight());
    profile.Release();
    session_.Table().Grid().ShowTableColumn(queue::colRealSize);
    persistence::SaveQueueFile(session_.Table(), files_.queue);
    if (journal_) journal_->Restart();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (phase_ == Phase::Loading || phase_ == Phase::CloseAfterLoad) {
        phase_ = Phase::CloseAfterLoad;
        event->ignore();
        return;
    }
    if (!FormClose()) {
        event->ignore();
        return;
    }
    if (Running()) {
        // The run goes on in the open window; the process ends when it returns.
        phase_ = Phase::QuitWhenRunEnds;
        event->ignore();
        return;
    }
    event->accept();
    QApplication::quit();
}

void TMainForm::RunEnded() {
    if (phase_ != Phase::QuitWhenRunEnds) return;
    // Rows finished after the close request would come back at the next start.
    platform::Guard([this] {
        session_.Table().Grid().ShowTableColumn(queue::colRealSize);
        persistence::SaveQueueFile(session_.Table(), files_.queue);
        if (journal_) journal_->Restart();
    });
    QApplication::quit();
}

void TMainForm::SaveQueueChanges() {
    if (!journal_ || !journal_->Dirty()) return;
    // A run, and the queueing of a large tree, write every second inside
    // their pumps: they must never wait for the disk. The command's own save
    // at its end waits.
    const bool written = journal_->Flush(Running() || queueingDepth_ > 0
                                             ? persistence::QueueJournal::Durability::Start
                                             : persistence::QueueJournal::Durability::Wait);
    // Said once: the changes are kept for the next flush and for the close,
    // which writes the queue file whole; a box every second would stop the
    // user from doing anything else.
    if (written || journalFailureShown_) return;
    journalFailureShown_ = true;
    platform::ShowErrorBox(journal_->LastFailure());
}

TMainForm::~TMainForm() {
    autosaveTimer_.stop();
    // Whatever changed after the last save stays in the journal for the next start.
    SaveQueueChanges();
    journal_.reset();
    // The window's placement first, then the column widths, as when the window
    // goes before its controls; the placement memory then has nothing left to do.
    if (!filesHaveNoPlace_) {
        platform::Guard([this] { FormSize->SavePlacement(); });
        platform::Guard([this] {
            persistence::SaveColumnWidths(session_.Table().Grid(), QueueColumnStore(settingsPath_));
        });
    }
    FormSize->SavePosition = false;
    // The view must let go of the grid before the table it belongs to is destroyed.
    GridQueue->SetGrid(nullptr);
}

}  // namespace app
