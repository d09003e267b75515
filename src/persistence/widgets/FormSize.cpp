#include "persistence/widgets/FormSize.h"

#include "persistence/Profile.h"
#include "platform/Guard.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QSysInfo>
#include <QWidget>

#include <pwd.h>
#include <unistd.h>

namespace persistence {

namespace {

constexpr int kNameLimit = 255;

QString LogonName() {
    const passwd* entry = getpwuid(getuid());
    if (entry == nullptr || entry->pw_name == nullptr) return QString();
    return QString::fromLocal8Bit(entry->pw_name).left(kNameLimit);
}

QString ComputerName() {
    return QSysInfo::machineHostName().left(kNameLimit);
}

}  // namespace

QWidget* TFormSize::CheckOwner(QObject* owner) {
    auto* window = qobject_cast<QWidget*>(owner);
    if (window == nullptr || !window->isWindow()) {
        throw EFormSizeError(QStringLiteral("Control parent must be a form!"));
    }
    if (!window->findChildren<TFormSize*>(Qt::FindDirectChildrenOnly).isEmpty()) {
        throw EFormSizeError(QStringLiteral("The form already contains a TFormSize component"));
    }
    return window;
}

TFormSize::TFormSize(QObject* owner)
    : QObject(CheckOwner(owner)),
      SaveKey(owner->objectName()),
      owner_(static_cast<QWidget*>(owner)) {
    // QWidget announces its destruction before its children go and while its
    // geometry and state are intact: the moment to write the placement.
    connect(owner_, &QObject::destroyed, this, &TFormSize::OwnerDestroyed);
}

TFormSize::~TFormSize() = default;

QString TFormSize::PlacementSection() const {
    QString section = SaveKey;
    if (SaveUser) section += u'-' + LogonName();
    if (SaveMachine) section += u'-' + ComputerName();
    return section;
}

QString TFormSize::ProfilePath() const {
    QString path = SaveName;
    if (path.startsWith(u'/')) return path;
    path.replace(u'\\', u'/');
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

QSize TFormSize::ScreenSize() const {
    if (screenSize_) return *screenSize_;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) return screen->size();
    return owner_->size();
}

void TFormSize::Loaded() {
    if (SavePosition) RestorePlacement();
}

void TFormSize::RestorePlacement() {
    if (SaveName.isEmpty() || SaveKey.isEmpty()) return;
    Profile profile(ProfilePath());
    const QString section = PlacementSection();

    const QRect bounds = owner_->geometry();
    int left = bounds.x();
    int top = bounds.y();
    int right = bounds.x() + bounds.width();
    int bottom = bounds.y() + bounds.height();
    if (SavePosition) {
        left = profile.ProfileReadInt(section, QStringLiteral("Left"), left);
        top = profile.ProfileReadInt(section, QStringLiteral("Top"), top);
    }
    if (SaveSize) {
        right = profile.ProfileReadInt(section, QStringLiteral("Right"), right);
        bottom = profile.ProfileReadInt(section, QStringLiteral("Bottom"), bottom);
    } else {
        right = left + owner_->width();
        bottom = top + owner_->height();
    }
    const bool maximized =
        profile.ProfileReadFlag(section, QStringLiteral("Maximized"), owner_->isMaximized());

    // Too far right or down: moved back onto the screen, not shrunk. Nothing
    // checks the left or top edge, so a hand-placed window may hang off it.
    const QSize screen = ScreenSize();
    if (right > screen.width()) {
        left -= right - screen.width();
        right = screen.width();
    }
    if (bottom > screen.height()) {
        top -= bottom - screen.height();
        bottom = screen.height();
    }
    if (maximized) {
        left = 0;
        top = 0;
        right = screen.width();
        bottom = screen.height();
    }

    // A maximized window ignores new bounds; leave that state first so the
    // rectangle becomes its normal one.
    if (owner_->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        owner_->setWindowState(owner_->windowState() &
                               ~(Qt::WindowMaximized | Qt::WindowFullScreen));
    }
    owner_->setGeometry(left, top, right - left, bottom - top);
    if (maximized) owner_->setWindowState(owner_->windowState() | Qt::WindowMaximized);
    profile.Release();
}

void TFormSize::RestorePlacementFully() {
    const bool position = SavePosition;
    const bool size = SaveSize;
    SavePosition = true;
    SaveSize = true;
    RestorePlacement();
    SavePosition = position;
    SaveSize = size;
}

void TFormSize::SavePlacement() {
    if (SaveName.isEmpty() || SaveKey.isEmpty()) return;
    Profile profile(ProfilePath());
    const QString section = PlacementSection();

    QRect normal = owner_->normalGeometry();
    if (!normal.isValid()) normal = owner_->geometry();
    const Qt::WindowStates state = owner_->windowState();
    // A minimized window is remembered as a normal one.
    const bool maximized = (state & Qt::WindowMaximized) && !(state & Qt::WindowMinimized);

    if (SavePosition) {
        profile.ProfileWriteInt(section, QStringLiteral("Left"), normal.x());
        profile.ProfileWriteInt(section, QStringLiteral("Top"), normal.y());
    }
    if (SaveSize) {
        profile.ProfileWriteInt(section, QStringLiteral("Right"), normal.x() + normal.width());
        profile.ProfileWriteInt(section, QStringLiteral("Bottom"), normal.y() + normal.height());
        profile.ProfileWriteFlag(section, QStringLiteral("Maximized"), maximized);
    }
    profile.Release();
}

void TFormSize::OwnerDestroyed() {
    if (!SavePosition) return;
    // Nothing may leave a destructor; a settings file that refuses the write
    // is shown like any other failure, and the program ends as asked.
    platform::Guard([this] { SavePlacement(); });
}

}  // namespace persistence
