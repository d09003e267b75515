#pragma once
// The placement memory of a window: restores its rectangle (and maximized
// state) from a profile file when the window is built, and writes them back
// when the window is destroyed.
//
// Rectangles are stored as the window's client rectangle (QWidget::geometry
// and normalGeometry, without the window manager's frame) and applied the same
// way with setGeometry: reading and writing in one coordinate space is what
// keeps a window from creeping by the frame's size at every start. Right and
// Bottom are exclusive (Right = Left + width).

#include "platform/Errors.h"

#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

class QWidget;

namespace persistence {

class EFormSizeError : public platform::Failure {
public:
    using Failure::Failure;
};

class TFormSize : public QObject {
    Q_OBJECT
public:
    // owner must be a window, and may hold only one TFormSize; otherwise
    // EFormSizeError. The component becomes the owner's child.
    explicit TFormSize(QObject* owner);
    ~TFormSize() override;

    // Path of the profile file: a host path, or a path relative to the working
    // directory in the ".\NAME" form of the layout description.
    QString SaveName = QStringLiteral(".\\FORM.INI");
    QString SaveKey;  // the owner's object name at construction
    bool SavePosition = true;
    bool SaveSize = true;
    bool SaveUser = false;
    bool SaveMachine = false;

    // SaveKey, then "-" and the user's logon name when SaveUser, then "-" and
    // the computer's name when SaveMachine.
    QString PlacementSection() const;

    // The end of building the window from its layout: the first restore.
    void Loaded();
    void RestorePlacement();
    // RestorePlacement with SavePosition and SaveSize on for the call.
    void RestorePlacementFully();
    // Throws platform::Failure "Unable to write to %s" when the file refuses.
    void SavePlacement();

    QWidget* Owner() const { return owner_; }
    // The primary screen's size in pixels; tests install their own.
    QSize ScreenSize() const;
    void SetScreenSize(std::optional<QSize> size) { screenSize_ = size; }
    // SaveName as a host path.
    QString ProfilePath() const;

private:
    static QWidget* CheckOwner(QObject* owner);
    void OwnerDestroyed();

    QWidget* owner_;
    std::optional<QSize> screenSize_;
};

}  // namespace persistence
