#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTemporaryDir>

// Test binaries that need widgets provide their own main with a QApplication.
int main(int argc, char **argv)
{
    // Runs of the programs under test keep their journal away from the user's own.
    const QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
