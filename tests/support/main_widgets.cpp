// Test entry for widget tests: offscreen unless the caller chose a platform.
#include <QApplication>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The drive letters the tests bind stay out of the user's own table.
    const QTemporaryDir stateHome;
    qputenv("XDG_STATE_HOME", QFile::encodeName(stateHome.path()));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
