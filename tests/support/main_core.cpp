// Test entry for the core folders: an event loop without any window system.
#include <QCoreApplication>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The drive letters the tests bind stay out of the user's own table.
    const QTemporaryDir stateHome;
    qputenv("XDG_STATE_HOME", QFile::encodeName(stateHome.path()));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
