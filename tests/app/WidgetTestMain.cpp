#include <gtest/gtest.h>
#include <QApplication>

// The window tests need a QApplication. They run on the offscreen platform, also when the test list is
// read without the test environment (CTest's test discovery).
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
