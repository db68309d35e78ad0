#include <gtest/gtest.h>
#include <QApplication>
#include <QTemporaryDir>

// The window tests need a QApplication. They run on the offscreen platform, also when the test list is
// read without the test environment (CTest's test discovery).
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Runs of the programs under test keep their journal away from the user's own.
    const QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
