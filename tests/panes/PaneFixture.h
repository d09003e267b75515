#pragma once
// What the pane tests share: drives C: and D: on temporary directories, a
// dialog script that fails the test on any prompt it did not expect, and a
// few ways to act on a list as the user does.

#include "panes/DirectoryListBox.h"
#include "panes/FileListBox.h"
#include "platform/Clock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDrives.h"

#include <QPoint>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace panetest {

class PaneTest : public ::testing::Test {
protected:
    PaneTest() { panes::ForgetDriveDirectories(); }
    ~PaneTest() override {
        panes::ForgetDriveDirectories();
        platform::SetClock({});
    }

    testsupport::TempDrives drives;
    testsupport::ScriptedDialogs dialogs;
};

inline QStringList Entries(const panes::TListBoxBase& list) {
    return list.Items();
}

inline QPoint RowPoint(const panes::TListBoxBase& list, int row, int x) {
    return QPoint(x, list.ItemRect(row).center().y());
}

inline void Press(panes::TListBoxBase& list, Qt::MouseButton button, int row, int x) {
    QTest::mouseClick(list.viewport(), button, {}, RowPoint(list, row, x));
}

// Through the window, as the window system delivers it: press, release, then
// the second press as a double-click event, release.
inline void DoubleClick(panes::TListBoxBase& list, int row, int x) {
    QWidget* top = list.window();
    const QPoint at = list.viewport()->mapTo(top, RowPoint(list, row, x));
    QTest::mouseDClick(top->windowHandle(), Qt::LeftButton, {}, at);
}

// A widget shown at a usable size, so that rows can be clicked.
template <typename W>
std::unique_ptr<W> Shown(int width = 300, int height = 400) {
    auto widget = std::make_unique<W>();
    widget->resize(width, height);
    widget->show();
    return widget;
}

}  // namespace panetest
