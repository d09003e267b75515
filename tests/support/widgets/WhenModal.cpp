#include "support/widgets/WhenModal.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace testsupport {

void WhenModalShows(std::function<void(QDialog*)> action) {
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [action, poll] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            QTimer::singleShot(5, *poll);
            return;
        }
        // Keys go where a user's would: to the focused control of the active box.
        box->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(box));
        action(box);
        if (box->isVisible()) QTimer::singleShot(2000, box, [box] { box->close(); });
        *poll = nullptr;  // breaks the self-reference
    };
    QTimer::singleShot(0, *poll);
}

}  // namespace testsupport
